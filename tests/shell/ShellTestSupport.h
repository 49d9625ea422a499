#pragma once
// A program folder of its own for each test: an edition file, the skin folders of the
// build, and AppData/Documents in a temporary home, so no test touches the user's files.
#include "AppSettings.h"
#include "ClickableImage.h"
#include "EditionConfig.h"
#include "EngineComponent.h"
#include "FakeDesktop.h"
#include "Log.h"
#include "DesktopNotifier.h"
#include "Main.h"
#include "MainThread.h"
#include "SleepInhibitor.h"
#include "PageStep1.h"
#include "TestSupport.h"
#include "UtilFuncs.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>
#include <ostream>

inline void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }

// The engine as the window uses it, counting the calls the close path and Exit make.
class CountingEngine : public TEngineComponent {
public:
    int* stops;
    int* detaches;
    CountingEngine(int* stopCount, int* detachCount) : stops(stopCount), detaches(detachCount) {}
    void StopTasks(bool wait) override { if (wait) ++*stops; }
    void DetachEvents() override { ++*detaches; }
};

// Adds the files on Step1 and presses Next twice; the run starts on Step3.
inline void RunTo3(TFormMain& w, const QStringList& files)
{
    w.ShowPage(wpStep1);
    w.PageStep1->AddInputFiles(files);
    ASSERT_TRUE(w.PageStep1->WaitForAdd(60000));
    ASSERT_EQ(w.PageStep1->RowCount(), files.size());
    w.ActionNextExecute();
    ASSERT_EQ(w.CurrentPage(), wpStep2);
    w.ActionNextExecute();
    ASSERT_EQ(w.CurrentPage(), wpStep3);
}

// Waits (serving events) for the run's summary page.
inline bool WaitForSummary(TFormMain& w, int boundMs = 60000)
{
    return WaitServicingEvents([&] { return w.CurrentPage() == wpStep4; }, boundMs);
}

// Rows on Step1 for tests that need rows but not their media: the files need not exist.
inline void AddPlaceholderRows(TPageStep1& page, const QStringList& files)
{
    for (const QString& file : files) {
        TInputFacts facts;
        facts.Row.FileName = file;
        page.AppendRow(facts, QImage());
    }
}

// Real media under each of the given names (a copy of one tiny generated clip), so the input
// list's probe accepts them whatever their extension.
inline void MakeMediaFiles(const QStringList& files)
{
    const QString clip = MediaFixture(QStringLiteral("shell_tiny.mp4"),
                                      {"-f", "lavfi", "-i", "testsrc=size=160x120:rate=25", "-f", "lavfi", "-i",
                                       "sine=frequency=440:sample_rate=22050", "-t", "0.5", "-c:v", "mpeg4",
                                       "-c:a", "aac"});
    for (const QString& file : files) {
        QFile::remove(file);
        QFile::copy(clip, file);
    }
}

class ShellTest : public ::testing::Test {
protected:
    QTemporaryDir appDir, home;
    ScopedFakeDesktop desktop;
    std::unique_ptr<TFormLog> formLog;
    std::unique_ptr<TFormMain> window;
    int stops = 0, detaches = 0;

    void SetUp() override
    {
        ASSERT_TRUE(appDir.isValid() && home.isValid());
        QDir().mkpath(home.path() + QStringLiteral("/config"));
        QDir().mkpath(home.path() + QStringLiteral("/Documents"));
        SetShellFolderOverride(QStringLiteral("AppData"), home.path() + QStringLiteral("/config"));
        SetShellFolderOverride(QStringLiteral("Personal"), home.path() + QStringLiteral("/Documents"));
        AppSettings = TAppSettings();
    }

    void TearDown() override
    {
        window.reset();
        formLog.reset();
        SetShellFolderOverride(QStringLiteral("AppData"), QString());
        SetShellFolderOverride(QStringLiteral("Personal"), QString());
    }

    // The build's skin folders beside the program.
    void LinkSkins()
    {
        if (QFileInfo::exists(appDir.filePath(QStringLiteral("sounds"))))
            return;
        ASSERT_TRUE(QFile::link(BuildBinDir() + QStringLiteral("/sounds"), appDir.filePath(QStringLiteral("sounds"))));
    }

    void WriteEdition(const QString& body)
    {
        QFile file(appDir.filePath(EditionFileName));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(body.toUtf8());
    }

    TFormMain& Start(std::unique_ptr<TEngineComponent> engine = nullptr)
    {
        window.reset();
        formLog = std::make_unique<TFormLog>();
        if (!engine)
            engine = std::make_unique<CountingEngine>(&stops, &detaches);
        window = std::make_unique<TFormMain>(appDir.path(), formLog.get(), std::move(engine));
        // No test reaches the machine's own login manager or desktop.
        window->SleepInhibitor().SetBus(QStringLiteral("vornic-tests-no-bus"));
        window->Notifier().SetBus(QStringLiteral("vornic-tests-no-bus"));
        QCoreApplication::processEvents();   // the deferred start
        return *window;
    }

    QString LogText() const { return formLog->Lines().join(QLatin1Char('\n')); }
    QString SettingsFile() const { return SettingsDir + SettingsFileName; }

    template <class T>
    T* Find(const char* name) const
    {
        T* found = window->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
};
