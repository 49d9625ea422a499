// vornic-screenshots <dir>: draws every page of the main window, the log window and both
// about boxes into PNG files, for the default edition in each of the three layouts.
// Runs offscreen; the settings go to a temporary folder, never to the user's own.
#include "About.h"
#include "AppSettings.h"
#include "EditionConfig.h"
#include "Log.h"
#include "Main.h"
#include "PageStep1.h"
#include "PageStep2.h"
#include "PageStep3.h"
#include "PageStep5.h"
#include "PageStep6.h"
#include "PageSummary.h"
#include "UtilFuncs.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPainter>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <cstdio>

namespace {

const char* const PageNames[WizardPageCount] = {"mode", "step1", "step2", "step3", "step4", "step5", "step6", "step7"};

// An edition folder: the default edition file with another layout, and the skin folders.
bool PrepareEdition(const QString& binDir, const QString& folder, int variant)
{
    QFile source(binDir + QStringLiteral("/lame.dll"));
    if (!source.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    QStringList lines = QString::fromUtf8(source.readAll()).split(QLatin1Char('\n'));
    for (QString& line : lines) {
        if (line.startsWith(QLatin1String("Skin=")))
            line = QStringLiteral("Skin=%1").arg(variant);
        else if (line.startsWith(QLatin1String("Res=")))
            line = variant == 0 ? QStringLiteral("Res=") : QStringLiteral("Res=%1").arg(variant);
    }
    QFile target(folder + QStringLiteral("/lame.dll"));
    if (!target.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text))
        return false;
    target.write(lines.join(QLatin1Char('\n')).toUtf8());
    return QFile::link(binDir + QStringLiteral("/sounds"), folder + QStringLiteral("/sounds"));
}

// Rows that make each page look as it does in use.
void FillSampleContent(TFormMain& w)
{
    const QString videos = QDir::homePath() + QStringLiteral("/Videos/");
    w.PageStep1->AddInputFiles({videos + "Summer holiday 2026.mp4", videos + "Birthday party.mov",
                                videos + "Concert - live recording.mkv", videos + "Podcast episode 12.mp3"});
    w.PageStep1->SelectRow(1);
    auto* list = w.PageStep3->ListViewConverting;
    new QTreeWidgetItem(list, {"Summer holiday 2026.mp4", "00:04:12.480", "Finished", "100%", videos});
    new QTreeWidgetItem(list, {"Birthday party.mov", "00:12:03.000", "Converting...", "42%", videos});
    new QTreeWidgetItem(list, {"Concert - live recording.mkv", "01:02:45.120", "Waiting...", "", videos});
    w.PageStep4->SetCounts(3, 2);
    w.PageStep4->SetErrorLines({"Concert - live recording.mkv: the file could not be read."});
    w.PageStep5->AddURL(QStringLiteral("http://www.youtube.com/watch?v=a1B2c3D4e5F"));
    w.PageStep5->AddURL(QStringLiteral("http://www.youtube.com/watch?v=Z9y8X7w6V5u"));
    w.PageStep6->FillDownloadList(w.PageStep5->URLs());
    w.PageStep7->SetCounts(2, 2);
    w.Log(QStringLiteral("#1.5: Engine libraries loaded."));
}

bool Save(const QImage& image, const QString& path)
{
    if (image.save(path))
        return true;
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
}

QImage RenderWindow(QWidget& w)
{
    QImage image(w.size() * w.devicePixelRatio(), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(w.devicePixelRatio());
    image.fill(Qt::transparent);
    w.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
        return 2;
    }
    const QString outDir = QString::fromLocal8Bit(argv[1]);
    if (!QDir().mkpath(outDir)) {
        std::fprintf(stderr, "cannot create %s\n", argv[1]);
        return 1;
    }
    const QString binDir = QCoreApplication::applicationDirPath();
    QTemporaryDir home;
    SetShellFolderOverride(QStringLiteral("AppData"), home.path());
    SetShellFolderOverride(QStringLiteral("Personal"), home.path());

    bool ok = true;
    for (int variant = 0; variant < 3 && ok; ++variant) {
        QTemporaryDir editionDir;
        if (!PrepareEdition(binDir, editionDir.path(), variant)) {
            std::fprintf(stderr, "cannot prepare the edition folder for layout %d\n", variant);
            return 1;
        }
        TFormLog formLog;
        TFormMain w(editionDir.path(), &formLog);
        QCoreApplication::processEvents();   // deferred start shows the window
        FillSampleContent(w);
        const QString prefix = outDir + QStringLiteral("/layout%1-").arg(variant);
        for (int page = 0; page < WizardPageCount && ok; ++page) {
            w.ShowPage(TWizardPage(page));
            if (page == wpStep2)
                w.PageStep2->ShowOutputSettings();
            if (page == wpStep5)
                w.PageStep5->ShowURLPageSettings();
            QCoreApplication::processEvents();
            ok = Save(RenderWindow(w), prefix + QString::fromLatin1(PageNames[page]) + QStringLiteral(".png"));
        }
        formLog.resize(455, 182 + 40);
        ok = ok && Save(formLog.RenderForScreenshot(), prefix + QStringLiteral("log.png"));
        const TAboutEdition edition = CurrentAboutEdition(editionDir.path());
        TfrmAbout simple(edition);
        TFormAbout tabbed(edition);
        ok = ok && Save(simple.RenderForScreenshot(), prefix + QStringLiteral("about-simple.png"))
            && Save(tabbed.RenderForScreenshot(), prefix + QStringLiteral("about-tabbed.png"));
        w.close();
    }
    if (ok)
        std::printf("screenshots written to %s\n", qPrintable(QDir(outDir).absolutePath()));
    return ok ? 0 : 1;
}
