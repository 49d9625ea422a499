// Writes everything the program looks for beside its executable: the skin folders
// sounds/res, sounds/res1 and sounds/res2, the end sounds and a default edition file.
// Run by the build: vornic-assetgen <bin folder>. All pictures are drawn here; nothing
// binary lives in the repository.
#include "SkinPainter.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QTextStream>

#include <cmath>
#include <cstdio>
#include <vector>

namespace {

bool Save(const QImage& image, const QString& path)
{
    if (image.save(path))
        return true;
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
}

bool WriteSkin(const QString& folder, int scheme, int variant)
{
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "cannot create %s\n", qPrintable(folder));
        return false;
    }
    const TSkinScheme& s = SkinScheme(scheme);
    const TSkinGeometry g = SkinGeometry(variant);
    const QImage background = PaintMainBackground(s, g);
    bool ok = Save(background, folder + "/main.bmp")
        && Save(PaintTopLogo(s), folder + "/toplogo.png")
        && Save(PaintLeftLogo(s), folder + "/leftlogo.png")
        && Save(PaintDownloadPicture(s), folder + "/downloadyoutube.png")
        && Save(PaintConvertPicture(s), folder + "/youtubeconvert.png");
    for (int state = 0; ok && state < 3; ++state) {
        ok = Save(PaintFrameButton(s, background, g.minButton, false, state), folder + QString("/min_%1.bmp").arg(state + 1))
            && Save(PaintFrameButton(s, background, g.closeButton, true, state), folder + QString("/close_%1.bmp").arg(state + 1));
    }
    for (int state = 0; ok && state < 4; ++state)
        ok = Save(PaintBottomButton(s, background, g.barTop, state), folder + QString("/bottom_%1.bmp").arg(state + 1));
    return ok;
}

// 16-bit mono PCM wave of a few tones, each with a soft attack and decay.
bool WriteTones(const QString& path, const std::vector<double>& frequencies, double toneSeconds)
{
    const int rate = 22050;
    const int perTone = int(rate * toneSeconds);
    std::vector<qint16> samples;
    for (double f : frequencies) {
        for (int i = 0; i < perTone; ++i) {
            const double t = double(i) / rate;
            const double attack = std::min(1.0, i / (rate * 0.01));
            const double decay = std::exp(-4.0 * t / toneSeconds);
            const double v = std::sin(2 * M_PI * f * t) + 0.25 * std::sin(4 * M_PI * f * t);
            samples.push_back(qint16(v * attack * decay * 9000));
        }
    }
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    auto u32 = [&](quint32 v) { char b[4] = {char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; file.write(b, 4); };
    auto u16 = [&](quint16 v) { char b[2] = {char(v), char(v >> 8)}; file.write(b, 2); };
    const quint32 dataBytes = quint32(samples.size() * 2);
    file.write("RIFF", 4); u32(36 + dataBytes); file.write("WAVE", 4);
    file.write("fmt ", 4); u32(16); u16(1); u16(1); u32(rate); u32(rate * 2); u16(2); u16(16);
    file.write("data", 4); u32(dataBytes);
    for (qint16 s : samples) u16(quint16(s));
    return file.error() == QFile::NoError;
}

bool WriteEdition(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    QTextStream out(&file);
    out << "[SYSTEM]\n"
           "Name=vornic\n"
           "Version=0.1\n"
           "Download=1\n"
           "Video=1\n"
           "Res=\n";
    for (const char* key : {"AVI", "MP4", "FLV", "SWF", "MPEG", "RM", "WMV", "MOV", "3GP",
                            "IPOD", "IPAD", "IPHONE", "APPLETV", "PSP", "BLACKBERRY", "MOBILEPHONE",
                            "WAV", "MP3", "WMA", "OGG", "AAC", "M4A", "FLAC", "MP2"})
        out << key << "=1\n";
    out << "DefaultVideo=1\n"
           "DefaultDevice=0\n"
           "DefaultAudio=1\n"
           "DefaultClass=0\n"
           "Skin=0\n"
           "DVD=1\n"
           "Merge=0\n"
           "Copyright=2026 The vornic developers\n"
           "\n"
           "[LINKS]\n"
           "HelpContent=doc/manual.html\n"
           "Tutorials=\n"
           "HomePage=\n"
           "MoreTools=\n"
           "Updates=\n"
           "Support=\n"
           "SupportMail=\n";
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <bin folder>\n", argv[0]);
        return 2;
    }
    const QString bin = QString::fromLocal8Bit(argv[1]);
    const bool ok = WriteSkin(bin + "/sounds/res", 0, 0)
        && WriteSkin(bin + "/sounds/res1", 1, 1)
        && WriteSkin(bin + "/sounds/res2", 2, 2)
        && WriteTones(bin + "/sounds/done.wav", {784, 988, 1319}, 0.16)
        && WriteTones(bin + "/sounds/fail.wav", {440, 330}, 0.26)
        && WriteEdition(bin + "/lame.dll");
    return ok ? 0 : 1;
}
