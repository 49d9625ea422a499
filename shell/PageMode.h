#pragma once
// The Mode page: download videos or convert files.
#include <QWidget>

class QRadioButton;
class TClickableImage;

class TPageMode : public QWidget {
    Q_OBJECT
public:
    explicit TPageMode(QWidget* parent = nullptr);

    TClickableImage* ImageDownloadVideo = nullptr;
    TClickableImage* ImageConvertVideo = nullptr;
    QRadioButton* RadioButtonDownload = nullptr;
    QRadioButton* RadioButtonConvert = nullptr;

    void SetPictures(const QPixmap& download, const QPixmap& convert);
    bool DownloadChosen() const;
};
