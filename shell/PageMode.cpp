#include "PageMode.h"

#include "ClickableImage.h"

#include <QRadioButton>

TPageMode::TPageMode(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("TabSheetMode"));
    resize(560, 430);

    ImageDownloadVideo = new TClickableImage(this);
    ImageDownloadVideo->setObjectName(QStringLiteral("ImageDownloadVideo"));
    ImageDownloadVideo->setGeometry(20, 28, 520, 132);
    ImageDownloadVideo->setCursor(Qt::PointingHandCursor);
    RadioButtonDownload = new QRadioButton(tr("Download video from YouTube"), this);
    RadioButtonDownload->setObjectName(QStringLiteral("RadioButtonDownload"));
    RadioButtonDownload->setGeometry(26, 168, 508, 26);
    RadioButtonDownload->setChecked(true);

    ImageConvertVideo = new TClickableImage(this);
    ImageConvertVideo->setObjectName(QStringLiteral("ImageConvertVideo"));
    ImageConvertVideo->setGeometry(20, 218, 520, 132);
    ImageConvertVideo->setCursor(Qt::PointingHandCursor);
    RadioButtonConvert = new QRadioButton(tr("Convert audio/video (previously downloaded) from file"), this);
    RadioButtonConvert->setObjectName(QStringLiteral("RadioButtonConvert"));
    RadioButtonConvert->setGeometry(26, 358, 508, 26);

    auto choose = [](QRadioButton* radio) { radio->setChecked(true); radio->setFocus(); };
    connect(ImageDownloadVideo, &TClickableImage::clicked, this, [this, choose] { choose(RadioButtonDownload); });
    connect(ImageConvertVideo, &TClickableImage::clicked, this, [this, choose] { choose(RadioButtonConvert); });
}

void TPageMode::SetPictures(const QPixmap& download, const QPixmap& convert)
{
    ImageDownloadVideo->setPixmap(download);
    ImageConvertVideo->setPixmap(convert);
}

bool TPageMode::DownloadChosen() const
{
    return RadioButtonDownload->isChecked();
}
