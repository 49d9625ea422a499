#pragma once
// How one row of the input list is drawn: a slide with the thumbnail on the left and the
// four fact lines beside it, plus the picture audio-only rows show instead of a thumbnail.
#include <QImage>
#include <QStyledItemDelegate>

// Item data roles the slide reads.
enum TInputSlideRole {
    irThumbnail = Qt::UserRole + 1, // QImage; null = no picture could be decoded
    irLines,                        // QStringList: name, duration, bit rate, dimension
};

constexpr int InputSlideHeight = 90;
constexpr int InputSlidePictureWidth = 128;
constexpr int InputSlidePictureHeight = 88;
constexpr int InputNameWidth = 255; // the shortened path fits this many pixels

class TInputSlideDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

// The audio-only picture, drawn in code.
QImage AudioIconImage();
