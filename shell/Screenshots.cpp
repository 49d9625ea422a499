// vornic-screenshots <dir> <sample media folder> [DVD folder]: draws every page of the main
// window, the log window and both about boxes into PNG files, for the default edition in each
// of the three layouts; with a DVD folder also the DVD dialog's report and Step1 with a title. The convert branch is shown in real use: the sample clips are added to Step1 (with
// their thumbnails), Step2 is shown on each output class, and a real conversion is caught on
// Step3 while it runs and on Step4 after it ends. The download branch is shown in real use as
// well: links pasted on Step5 are downloaded from a stand-in video service on 127.0.0.1 that
// serves the sample clips, caught on Step6 while they arrive and on Step7 after the run, and a
// link of today's site is resolved by a stand-in extractor and caught on Step6 too. The Help
// menu is drawn open, and the address F1 opens is written to help-content.txt. Runs
// offscreen; the settings and the files go to temporary folders, never to the user's own.
#include "About.h"
#include "AppSettings.h"
#include "EditionConfig.h"
#include "Log.h"
#include "ConversionRun.h"
#include "DesktopServices.h"
#include "DVDLoad.h"
#include "DVDPlugIn.h"
#include "DVDSelectFrm.h"
#include "Main.h"
#include "MainThread.h"
#include "PageStep1.h"
#include "PageStep2.h"
#include "PageStep3.h"
#include "DownloadRun.h"
#include "FormYouTubeHQ.h"
#include "PageStep5.h"
#include "PageStep6.h"
#include "PageSummary.h"
#include "PresetCatalogue.h"
#include "UtilFuncs.h"
#include "MediaSite.h"
#include "VideoServer.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QPainter>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QComboBox>
#include <QProgressBar>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <algorithm>
#include <cstdio>

namespace {

const char* const PageNames[WizardPageCount] = {"mode", "step1", "step2", "step3", "step4", "step5", "step6", "step7"};
const char* const ClassNames[FormatClassCount] = {"video", "device", "audio"};

// The run shown on Step3: MP4 preset 1 (H.264 at 640x480) takes long enough per clip that a
// progress report arrives before the clip is done.
constexpr int RunFormatClass = fcVideo;
constexpr int RunFormatIndex = 1;
constexpr int RunPreset = 1;
constexpr int RunFilesAtOnce = 3;

constexpr int AddTimeoutMs = 60000;
constexpr int RunTimeoutMs = 120000;

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
    // The engine libraries are looked for beside the edition file; a "lib" folder of the
    // build goes along, else the system's copies serve.
    if (QFileInfo::exists(binDir + QStringLiteral("/lib")))
        QFile::link(binDir + QStringLiteral("/lib"), folder + QStringLiteral("/lib"));
    // The manual that "Help Content" opens.
    if (QFileInfo::exists(binDir + QStringLiteral("/doc")))
        QFile::link(binDir + QStringLiteral("/doc"), folder + QStringLiteral("/doc"));
    return QFile::link(binDir + QStringLiteral("/sounds"), folder + QStringLiteral("/sounds"));
}

// The sample clips, videos first, so the list shows both kinds of rows.
QStringList SampleFiles(const QString& folder)
{
    QStringList videos, audios;
    const QDir dir(folder);
    for (const QString& name : dir.entryList(QDir::Files, QDir::Name)) {
        if (name.startsWith(QLatin1String("partial-")) || !IsMediaFileExtension(QLatin1Char('.') + QFileInfo(name).suffix()))
            continue;
        const QString path = dir.absoluteFilePath(name);
        const QString ext = QFileInfo(name).suffix().toLower();
        (ext == QLatin1String("mp3") || ext == QLatin1String("wav") ? audios : videos) << path;
    }
    return videos + audios;
}

QByteArray FileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
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

// Remembers what the program asked the desktop to open; everything else is left undone.
class TRecordingDesktop final : public IDesktopServices {
public:
    QStringList opened;
    TModalResult ShowMessage(const QString&, const QString&, TMsgDlgType, TMsgDlgButtons, const QStringList&) override
    {
        return mrNone;
    }
    QStringList OpenFiles(const TOpenDialogRequest&) override { return {}; }
    QString SaveFile(const TSaveDialogRequest&) override { return {}; }
    bool BrowseForFolder(const QString&, const QString&, QString&) override { return false; }
    void ShellOpen(const QString& target) override { opened << target; }
    void PlaySound(const QString&) override {}
    void PowerOff(std::function<void(bool)> answered) override { if (answered) answered(false); }
    QSize ScreenSize() override { return {1280, 800}; }
    void SetBusyCursor(bool) override {}
};

// The main window with its Help menu open below the Help button, as one picture.
bool HelpMenuShot(TFormMain& w, const QString& path)
{
    w.ActionHelpExecute();
    QCoreApplication::processEvents();
    QMenu& popup = *w.PopupMenuHelp;
    QImage menu(popup.size(), QImage::Format_ARGB32_Premultiplied);
    menu.fill(Qt::white);
    popup.render(&menu, QPoint(), QRegion(), QWidget::DrawChildren);
    // The menu opens below the Help button, mostly outside the window: both on one canvas.
    const QRect window(w.frameGeometry().topLeft(), w.size());
    const QRect menuRect(popup.pos(), popup.size());
    const QRect canvas = window.united(menuRect);
    QImage image(canvas.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.drawImage(window.topLeft() - canvas.topLeft(), RenderWindow(w));
        painter.drawImage(menuRect.topLeft() - canvas.topLeft(), menu);
        painter.setPen(QColor(128, 128, 128));
        painter.drawRect(QRect(menuRect.topLeft() - canvas.topLeft(), menuRect.size() - QSize(1, 1)));
    }
    popup.hide();
    return Save(image, path);
}

// F1 as the user presses it: the address it opens goes into `path`, for a browser to draw.
bool HelpContentAddress(TFormMain& w, const QString& path)
{
    auto* recording = new TRecordingDesktop;
    auto previous = SetDesktopServices(std::unique_ptr<IDesktopServices>(recording));
    if (QAction* help = w.findChild<QAction*>(QStringLiteral("ActionHelpContent")))
        help->trigger();
    const QStringList opened = recording->opened;
    SetDesktopServices(std::move(previous));
    if (opened.size() != 1) {
        std::fprintf(stderr, "F1 opened %d addresses\n", int(opened.size()));
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text))
        return false;
    file.write(opened.first().toUtf8() + '\n');
    return true;
}

class TScreenshotRun {
public:
    TScreenshotRun(TFormMain& w, const QString& prefix) : w_(w), prefix_(prefix) {}

    bool Page(TWizardPage page, const QString& suffix = {})
    {
        QCoreApplication::processEvents();
        const QString name = QString::fromLatin1(PageNames[page]) + suffix;
        return Save(RenderWindow(w_), prefix_ + name + QStringLiteral(".png"));
    }

    // Step1 with the sample clips, their thumbnails read by the page itself.
    bool InputList(const QStringList& files)
    {
        w_.ShowPage(wpStep1);
        w_.PageStep1->AddInputFiles(files);
        if (!w_.PageStep1->WaitForAdd(AddTimeoutMs)) {
            std::fprintf(stderr, "adding the sample clips did not finish\n");
            return false;
        }
        if (w_.PageStep1->RowCount() != files.size())
            std::fprintf(stderr, "warning: %d of %d sample clips were added\n", w_.PageStep1->RowCount(),
                         int(files.size()));
        w_.PageStep1->SelectRow(std::min(1, w_.PageStep1->RowCount() - 1));
        return Page(wpStep1);
    }

    // Step2 on each class; the video class last, with the format and preset of the run.
    bool OutputSettings(const QString& outputDir)
    {
        AppSettings.OutputFileDir = WithTrailingBackslash(outputDir);
        AppSettings.OutputVideoFormat = RunFormatIndex;
        AppSettings.*(FindOutputFormat(RunFormatClass, RunFormatIndex)->PresetKey) = RunPreset;
        AppSettings.ShutDownWhenFinished = false;
        w_.ShowPage(wpStep2);
        w_.PageStep2->ShowOutputSettings();
        for (int formatClass : {fcDevice, fcAudio, fcVideo}) {
            w_.PageStep2->ButtonToFormatClick(formatClass);
            if (!Page(wpStep2, QStringLiteral("-") + QString::fromLatin1(ClassNames[formatClass])))
                return false;
        }
        // Several clips at once whatever the machine's cores, so Step3 can show them side by side.
        w_.PageStep2->SpinBoxConversionJobs->setValue(RunFilesAtOnce);
        return true;
    }

    // Next on Step2 starts the run. Step3 is taken while a clip is converting, preferably a
    // later one so finished rows show too, and once while several rows convert at the same
    // time (each with its percent); Step4 once the run has ended.
    bool Conversion()
    {
        w_.ActionNextExecute();
        QProgressBar* bar = w_.PageStep3->ProgressBar;
        QImage midRun, several;
        int severalAt = -1;
        bool laterClip = false;
        const bool ended = WaitServicingEvents([&] {
            if (w_.CurrentPage() != wpStep3)
                return true;
            if (bar->value() > 0 && bar->value() < 100) {
                const auto& rows = w_.ConversionRun().Rows();
                const bool later = !rows.empty() && rows.front().Third == QLatin1String("Finish.");
                if (midRun.isNull() || (later && !laterClip)) {
                    midRun = RenderWindow(w_);
                    laterClip = later;
                }
                const auto converting = std::count_if(rows.begin(), rows.end(), [](const TConversionRow& row) {
                    return row.Third == QLatin1String("Converting...") && row.Fourth.endsWith(u'%');
                });
                // The latest such moment before a row finishes: the percents have grown by then.
                const bool noneFinished = std::none_of(rows.begin(), rows.end(), [](const TConversionRow& row) {
                    return row.Third == QLatin1String("Finish.");
                });
                if (converting >= 2 && (several.isNull() || (noneFinished && bar->value() != severalAt))) {
                    several = RenderWindow(w_);
                    severalAt = bar->value();
                }
            }
            return false;
        }, RunTimeoutMs);
        if (several.isNull())
            std::fprintf(stderr, "warning: no two rows were caught converting at once; no picture of it\n");
        else if (!Save(several, prefix_ + QStringLiteral("step3-several.png")))
            return false;
        if (!ended) {
            std::fprintf(stderr, "the conversion did not end in time\n");
            return false;
        }
        if (w_.CurrentPage() != wpStep4) {
            std::fprintf(stderr, "Next on Step2 did not lead through the conversion to Step4\n");
            return false;
        }
        if (midRun.isNull())
            std::fprintf(stderr, "warning: no progress report arrived during the run; no Step3 picture\n");
        else if (!Save(midRun, prefix_ + QStringLiteral("step3.png")))
            return false;
        return Page(wpStep4);
    }

    // Step5 with two pasted links and the quality dialog, Step6 while the clips arrive from
    // the local service (the first only in its third-choice quality), Step7 after the run.
    bool Download(const QStringList& samples, const QString& folder)
    {
        TVideoTestServer server;
        qputenv("VORNIC_VIDEO_HOST", QByteArray::fromStdString(server.Host()));
        const std::string first = FileBytes(samples.value(0)).toStdString();
        const std::string second = FileBytes(samples.value(1 % samples.size())).toStdString();
        server.Add("a1B2c3D4e5F", {.title = "Summer holiday &amp; friends", .media = {{22, first}}, .chunkDelayMs = 120});
        server.Add("Z9y8X7w6V5u", {.title = "City lights", .media = {{18, second}}, .chunkDelayMs = 120});
        const QString links = QString::fromStdString(server.WatchUrl("a1B2c3D4e5F") + "\r\n\r\n" +
                                                     server.WatchUrl("Z9y8X7w6V5u"));
        QApplication::clipboard()->setText(links);
        AppSettings.OutputURLDir = WithTrailingBackslash(folder);
        QDir().mkpath(folder);
        w_.GoToStartPage();
        w_.ActionNextExecute();   // the mode page's first choice: download
        w_.PageStep5->ActionURLPasteExecute();
        w_.PageStep5->ListViewInputURL->topLevelItem(0)->setSelected(true);
        bool ok = Page(wpStep5);

        TFormYouTubeHQ dialog(AppSettings.PreferYouTube, &w_);
        dialog.ListViewYouTubeHQ->setCurrentItem(dialog.ListViewYouTubeHQ->topLevelItem(2));
        dialog.show();
        QCoreApplication::processEvents();
        ok = ok && Save(RenderWindow(dialog), prefix_ + QStringLiteral("quality.png"));
        dialog.close();

        w_.ActionNextExecute();
        QImage midRun;
        const bool ended = WaitForDownloadRun(midRun);
        qunsetenv("VORNIC_VIDEO_HOST");
        if (!ended || w_.CurrentPage() != wpStep7) {
            std::fprintf(stderr, "the download run did not end on Step7\n");
            return false;
        }
        if (w_.DownloadRun().SucceededURLs != 2)
            std::fprintf(stderr, "warning: %d of 2 downloads succeeded\n", w_.DownloadRun().SucceededURLs);
        if (midRun.isNull())
            std::fprintf(stderr, "warning: no progress arrived during the download; no Step6 picture\n");
        else
            ok = ok && Save(midRun, prefix_ + QStringLiteral("step6.png"));
        return ok && Page(wpStep7);
    }

    // Serves the window until the download run leaves Step6; `midRun` catches Step6 once the
    // bar has passed 30%. False when the run did not end in time.
    bool WaitForDownloadRun(QImage& midRun)
    {
        return WaitServicingEvents([&] {
            if (w_.CurrentPage() != wpStep6)
                return true;
            if (midRun.isNull() && w_.PageStep6->ProgressBarDownload->value() >= 30)
                midRun = RenderWindow(w_);
            return false;
        }, RunTimeoutMs);
    }

    // Step6 while a video of today's site arrives: a stand-in extractor (a script printing the
    // video's description) names a format on a local site, which serves it in slow ranges.
    bool ExtractorDownload(const QString& sample, const QString& folder)
    {
        QTemporaryDir tools;
        TVideoTestServer watch;
        TMediaSite site;
        site.Add("/media/18.mp4", {.body = FileBytes(sample).toStdString(), .pieceDelayMs = 60});
        const QString media = QString::fromStdString(site.Url("/media/18.mp4"));
        const QString description = QStringLiteral(
            R"({"title": "Today's clip", "format_id": "18", "ext": "mp4", "formats": [{"format_id": "18",
            "ext": "mp4", "protocol": "https", "url": "%1", "height": 360, "vcodec": "avc1.42001E",
            "acodec": "mp4a.40.2", "downloader_options": {"http_chunk_size": 262144},
            "http_headers": {"User-Agent": "Mozilla/5.0"}}]})").arg(media);
        const QString json = tools.filePath(QStringLiteral("video.json"));
        const QString script = tools.filePath(QStringLiteral("extractor.sh"));
        QFile jsonFile(json), scriptFile(script);
        if (!jsonFile.open(QIODevice::WriteOnly) || !scriptFile.open(QIODevice::WriteOnly))
            return false;
        jsonFile.write(description.toUtf8());
        scriptFile.write(QStringLiteral("#!/bin/sh\ncat '%1'\n").arg(json).toUtf8());
        jsonFile.close();
        scriptFile.close();
        scriptFile.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("VORNIC_EXTRACTOR", script.toUtf8());
        qputenv("VORNIC_VIDEO_HOST", QByteArray::fromStdString(watch.Host()));

        QApplication::clipboard()->setText(QString::fromStdString(watch.WatchUrl("t0d4yCl1p")));
        AppSettings.OutputURLDir = WithTrailingBackslash(folder);
        QDir().mkpath(folder);
        w_.GoToStartPage();
        w_.ActionNextExecute();
        w_.PageStep5->ActionURLPasteExecute();
        w_.ActionNextExecute();
        QImage midRun;
        const bool ended = WaitForDownloadRun(midRun);
        qunsetenv("VORNIC_VIDEO_HOST");
        qunsetenv("VORNIC_EXTRACTOR");
        if (!ended || w_.CurrentPage() != wpStep7) {
            std::fprintf(stderr, "the extractor's download did not end on Step7\n");
            return false;
        }
        if (w_.DownloadRun().SucceededURLs != 1)
            std::fprintf(stderr, "warning: the extractor's download failed\n");
        if (midRun.isNull()) {
            std::fprintf(stderr, "warning: no progress arrived during the extractor's download; no picture\n");
            return true;
        }
        return Save(midRun, prefix_ + QStringLiteral("step6-extractor.png"));
    }

    // The DVD dialog with the report of root, then Step1 with two clips and that title's row.
    bool DVD(const QString& root, const QStringList& clips, const QString& binDir)
    {
        if (!LoadDVDPlugIn(binDir + QStringLiteral("/lib"))) {
            std::fprintf(stderr, "%s\n", qPrintable(DVDPlugInError()));
            return false;
        }
        TfrmDVDSelect* dialog = w_.DVDLoad->Dialog();
        if (!dialog->OpenRoot(WithTrailingBackslash(QFileInfo(root).absoluteFilePath())))
            return false;
        dialog->updFrom->setValue(2);
        dialog->cboAudio->setCurrentIndex(1);
        dialog->show();
        QCoreApplication::processEvents();
        const bool saved = Save(RenderWindow(*dialog), prefix_ + QStringLiteral("dvd-dialog.png"));
        dialog->hide();
        w_.ShowPage(wpStep1);
        w_.PageStep1->ClearInputList();
        w_.PageStep1->AddInputFiles(clips.mid(0, 2));
        w_.PageStep1->WaitForAdd(AddTimeoutMs);
        w_.DVDLoad->AddDVDTitleRow(dialog->Selection());
        w_.PageStep1->SelectRow(w_.PageStep1->RowCount() - 1);
        return saved && Page(wpStep1, QStringLiteral("-dvd"));
    }

private:
    TFormMain& w_;
    QString prefix_;
};

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: %s <output folder> <sample media folder> [DVD folder]\n", argv[0]);
        return 2;
    }
    const QString outDir = QString::fromLocal8Bit(argv[1]);
    if (!QDir().mkpath(outDir)) {
        std::fprintf(stderr, "cannot create %s\n", argv[1]);
        return 1;
    }
    const QStringList samples = SampleFiles(QString::fromLocal8Bit(argv[2]));
    if (samples.isEmpty()) {
        std::fprintf(stderr, "no sample clips in %s\n", argv[2]);
        return 1;
    }
    const QString binDir = QCoreApplication::applicationDirPath();
    QTemporaryDir home;
    SetShellFolderOverride(QStringLiteral("AppData"), home.path());
    SetShellFolderOverride(QStringLiteral("Personal"), home.path());

    bool ok = true;
    for (int variant = 0; variant < 3 && ok; ++variant) {
        QTemporaryDir editionDir, outputs;
        if (!PrepareEdition(binDir, editionDir.path(), variant)) {
            std::fprintf(stderr, "cannot prepare the edition folder for layout %d\n", variant);
            return 1;
        }
        TFormLog formLog;
        TFormMain w(editionDir.path(), &formLog);
        QCoreApplication::processEvents();   // deferred start shows the window
        TScreenshotRun shots(w, outDir + QStringLiteral("/layout%1-").arg(variant));

        ok = shots.Page(wpMode) && shots.InputList(samples)
             && shots.OutputSettings(outputs.filePath(QStringLiteral("Converted")))
             && shots.Conversion();
        if (ok && argc == 4 && variant == 0)
            ok = shots.DVD(QString::fromLocal8Bit(argv[3]), samples, binDir);

        ok = ok && shots.Download(samples, outputs.filePath(QStringLiteral("Downloads")));
        ok = ok && shots.ExtractorDownload(samples.value(0), outputs.filePath(QStringLiteral("Extracted")));
        const QString prefix = outDir + QStringLiteral("/layout%1-").arg(variant);
        formLog.resize(455, 182 + 40);
        ok = ok && Save(formLog.RenderForScreenshot(), prefix + QStringLiteral("log.png"));
        ok = ok && HelpMenuShot(w, prefix + QStringLiteral("help-menu.png"));
        if (variant == 0)
            ok = ok && HelpContentAddress(w, outDir + QStringLiteral("/help-content.txt"));
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
