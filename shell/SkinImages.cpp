#include "SkinImages.h"

#include "SkinPainter.h"

#include <QFileInfo>
#include <QImageReader>

namespace {

// Reads one file; on failure draws the stand-in and records the file.
QPixmap Load(const QString& folder, const QString& name, const std::function<QImage()>& draw, QStringList& missing)
{
    const QString path = folder + name;
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    const QImage image = reader.read();
    if (!image.isNull())
        return QPixmap::fromImage(image);
    missing << path;
    return QPixmap::fromImage(draw());
}

} // namespace

TSkinImages LoadSkinImages(const QString& folder, int variant)
{
    const TSkinScheme& scheme = SkinScheme(0);
    const TSkinGeometry geometry = SkinGeometry(variant);
    TSkinImages s;
    s.TopLogo = Load(folder, QStringLiteral("toplogo.png"), [&] { return PaintTopLogo(scheme); }, s.Missing);
    s.LeftLogo = Load(folder, QStringLiteral("leftlogo.png"), [&] { return PaintLeftLogo(scheme); }, s.Missing);
    s.DownloadVideo = Load(folder, QStringLiteral("downloadyoutube.png"), [&] { return PaintDownloadPicture(scheme); }, s.Missing);
    s.ConvertVideo = Load(folder, QStringLiteral("youtubeconvert.png"), [&] { return PaintConvertPicture(scheme); }, s.Missing);
    QImage drawnBackground;
    auto background = [&] {
        if (drawnBackground.isNull())
            drawnBackground = PaintMainBackground(scheme, geometry);
        return drawnBackground;
    };
    s.Main = Load(folder, QStringLiteral("main.bmp"), background, s.Missing);
    for (int i = 0; i < 3; ++i) {
        s.Min[i] = Load(folder, QStringLiteral("min_%1.bmp").arg(i + 1),
                        [&] { return PaintFrameButton(scheme, background(), geometry.minButton, false, i); }, s.Missing);
        s.Close[i] = Load(folder, QStringLiteral("close_%1.bmp").arg(i + 1),
                          [&] { return PaintFrameButton(scheme, background(), geometry.closeButton, true, i); }, s.Missing);
    }
    for (int i = 0; i < 4; ++i)
        s.Bottom[i] = Load(folder, QStringLiteral("bottom_%1.bmp").arg(i + 1),
                           [&] { return PaintBottomButton(scheme, background(), geometry.barTop, i); }, s.Missing);
    return s;
}
