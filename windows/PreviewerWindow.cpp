#include "PreviewerWindow.h"

#include "FFmpegRecords.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QWindow>

QString PreviewCaption(std::int64_t pts)
{
    if (pts == NoTimestampValue || pts < 0) return QStringLiteral("N/A");
    const std::int64_t ms = pts / 1000;
    return QString::asprintf("%.2d:%.2d:%.2d.%.3d", int(ms / 3600000), int(ms / 60000 % 60), int(ms / 1000 % 60),
                             int(ms % 1000));
}

TPreviewWindow::TPreviewWindow(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("FormPreview"));
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TPreviewWindow::SetFrame(const TBitmap& bitmap, std::int64_t pts)
{
    if (bitmap.IsEmpty() || bitmap.Bits.size() < size_t(bitmap.Stride) * size_t(bitmap.Height)) return;
    // The engine reuses its bitmap: keep a copy.
    frame_ = QImage(bitmap.Bits.data(), bitmap.Width, bitmap.Height, bitmap.Stride, QImage::Format_BGR888).copy();
    if (size() != frame_.size()) setFixedSize(frame_.size());
    setWindowTitle(PreviewCaption(pts));
    update();
}

void TPreviewWindow::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
    p.drawImage(QPoint(0, 0), frame_);
}

void TPreviewWindow::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
    // Move the window as if its caption were dragged; by hand where the platform cannot.
    if (windowHandle() && windowHandle()->startSystemMove()) return;
    dragging_ = true;
    dragOffset_ = event->globalPosition().toPoint() - frameGeometry().topLeft();
}

void TPreviewWindow::mouseMoveEvent(QMouseEvent* event)
{
    if (dragging_ && (event->buttons() & Qt::LeftButton)) move(event->globalPosition().toPoint() - dragOffset_);
}

void TPreviewWindow::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) dragging_ = false;
}

void TPreviewWindow::closeEvent(QCloseEvent* event)
{
    event->accept();
    emit Closed();
}

TPreviewer::~TPreviewer()
{
    for (const QPointer<TPreviewWindow>& w : std::as_const(windows_)) delete w.data();
}

void TPreviewer::ShowPreview(const void* task, const TBitmap& bitmap, std::int64_t pts)
{
    QPointer<TPreviewWindow>& window = windows_[task];
    const bool opening = window.isNull();
    if (opening) {
        window = new TPreviewWindow;
        QObject::connect(window.data(), &TPreviewWindow::Closed, [this, task] {
            // Closed by the user: preview ends for the task.
            TPreviewWindow* w = windows_.take(task).data();
            if (w) w->deleteLater();
            if (OnPreviewClosed) OnPreviewClosed(task);
        });
    }
    window->SetFrame(bitmap, pts);
    if (opening) {
        if (QScreen* screen = QGuiApplication::primaryScreen()) {
            QRect r(QPoint(0, 0), window->size());
            r.moveCenter(screen->availableGeometry().center());
            window->move(r.topLeft());
        }
        window->show();
    }
}

void TPreviewer::ClosePreview(const void* task)
{
    TPreviewWindow* w = windows_.take(task).data();
    if (!w) return;
    w->disconnect();
    w->hide();
    w->deleteLater();
}

TPreviewWindow* TPreviewer::Window(const void* task) const
{
    return windows_.value(task).data();
}

int TPreviewer::WindowCount() const
{
    int n = 0;
    for (const QPointer<TPreviewWindow>& w : windows_) n += w ? 1 : 0;
    return n;
}
