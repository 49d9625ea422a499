#pragma once
// Look shared by the auxiliary windows: colours, the button band at the bottom, link labels.
// Private to windows/.
#include <QColor>
#include <QImage>
#include <QString>

class QPushButton;
class QWidget;

#include <QLabel>

// A label that reports clicks: the link labels and clickable pictures of the windows.
class TLinkLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;
signals:
    void clicked();
protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

namespace WindowStyle {

inline const QColor Accent{0x1f, 0x6f, 0xc5};        // buttons with focus, links, logo
inline const QColor AccentDark{0x15, 0x4f, 0x8f};
inline const QColor Band{0xee, 0xf1, 0xf5};          // bottom button band
inline const QColor BandLine{0xd3, 0xd9, 0xe1};
inline const QColor Warning{0xb3, 0x26, 0x1e};
inline const QColor Muted{0x5f, 0x67, 0x70};

// Paints a widget as the bottom band: light background with a hairline on top.
void StyleBottomBand(QWidget* band);
// The dialog's default button in the accent colour.
void StyleDefaultButton(QPushButton* button);
// Blue, underlined, hand cursor; the text is plain (no rich-text interpretation of user data).
void StyleLinkLabel(QLabel* label);
// Renders a top-level window offscreen at its current size.
QImage RenderWidget(QWidget* window);
// The edition title, or the program's name when the edition has none.
QString CaptionTitle();

} // namespace WindowStyle
