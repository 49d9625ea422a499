#pragma once
// The preview windows of the conversion engine: a small stay-on-top tool window per task that
// shows its latest frame, with the frame time as caption. The application installs a
// TPreviewer as the engine's preview sink; the engine calls it on the main thread.
#include "Previewer.h"

#include <QHash>
#include <QImage>
#include <QPoint>
#include <QPointer>
#include <QWidget>

#include <cstdint>

struct TBitmap;

class TPreviewWindow : public QWidget {
    Q_OBJECT
public:
    explicit TPreviewWindow(QWidget* parent = nullptr);

    // Copies the picture (24-bit, B G R rows) and sets the caption from pts (microseconds).
    void SetFrame(const TBitmap& bitmap, std::int64_t pts);
    const QImage& Frame() const { return frame_; }

signals:
    void Closed();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    QImage frame_;
    bool dragging_ = false;
    QPoint dragOffset_; // press position relative to the window's top-left corner
};

// "%.2d:%.2d:%.2d.%.3d" (hours, minutes, seconds, milliseconds), or "N/A" without a time.
QString PreviewCaption(std::int64_t pts);

class TPreviewer : public TPreviewSink {
public:
    TPreviewer() = default;
    ~TPreviewer() override;

    void ShowPreview(const void* task, const TBitmap& bitmap, std::int64_t pts) override;
    void ClosePreview(const void* task) override;

    // The open window of a task, nullptr when none.
    TPreviewWindow* Window(const void* task) const;
    int WindowCount() const;

private:
    QHash<const void*, QPointer<TPreviewWindow>> windows_;
};
