#pragma once
// Drawing of the window skin: used at build time to generate the skin folders and at run
// time to stand in for an image that is missing from the skin folder. QtGui only.
#include <QColor>
#include <QImage>
#include <QRect>
#include <QSize>
#include <QString>

// Colours of one skin folder.
struct TSkinScheme {
    QColor headerFrom, headerTo;   // header gradient, left to right
    QColor accent, accentLight;    // logos, highlights
    QColor columnFrom, columnTo;   // left column, top to bottom
    QColor body;                   // window body around the page area
    QColor border;                 // frame and page borders
    QColor barFrom, barTo;         // bottom button bar
    QColor buttonText;             // caption colour on the bottom buttons
};

// 0 ocean blue (sounds/res), 1 plum on a dark column (sounds/res1), 2 graphite and green
// (sounds/res2). Other indexes give scheme 0.
const TSkinScheme& SkinScheme(int index);

// Where the regions of the background lie for one layout variant (0, 1, 2).
struct TSkinGeometry {
    QSize size;          // window client size
    int headerHeight;    // gradient band carrying the top logo and the title line
    int columnWidth;     // left column
    QRect pageArea;      // page area of the wizard
    int barTop;          // top of the bottom button bar
    QRect minButton, closeButton;
};
TSkinGeometry SkinGeometry(int variant);

inline const QColor SkinTransparent{255, 0, 255};

// Background of the borderless window; magenta outside the rounded frame.
QImage PaintMainBackground(const TSkinScheme& scheme, const TSkinGeometry& geometry);
// Transparent PNG pictures.
QImage PaintTopLogo(const TSkinScheme& scheme);
QImage PaintLeftLogo(const TSkinScheme& scheme);
QImage PaintDownloadPicture(const TSkinScheme& scheme);
QImage PaintConvertPicture(const TSkinScheme& scheme);
// Frame buttons on the header, state 0 normal, 1 mouse over, 2 pressed; `background` is the
// window background they sit on (the same position is cut out of it).
QImage PaintFrameButton(const TSkinScheme& scheme, const QImage& background, const QRect& place,
                        bool close, int state);
// Bottom buttons, state 0 normal, 1 mouse over, 2 pressed, 3 disabled; no caption (the
// button draws its action's caption over it).
QImage PaintBottomButton(const TSkinScheme& scheme, const QImage& background, int barTop, int state);
inline constexpr QSize BottomButtonSize{90, 30};
