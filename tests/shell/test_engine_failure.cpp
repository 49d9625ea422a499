// Engine libraries that cannot be loaded: the reason goes to the log window and the rest
// of the program still starts. Its own program, so no earlier test has loaded them.
#include "ShellTestSupport.h"

#include "FFmpegApi.h"
#include "FFmpegLoader.h"
#include "FFmpegLogger.h"

#include <QAction>
#include <QTest>

TEST_F(ShellTest, BrokenEngineLibrariesAreLoggedAndTheWizardStillStarts)
{
    LinkSkins();
    ASSERT_TRUE(QDir().mkpath(appDir.filePath(QStringLiteral("lib"))));
    for (TLibraryKind kind : {lkAVUtil, lkAVCodec, lkAVFormat, lkAVFilter, lkSwScale, lkSwResample}) {
        QFile broken(appDir.filePath(QStringLiteral("lib/") + TFFmpegLoader::FileName(kind)));
        ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
        broken.write("this is not a shared library");
    }
    TFormMain& w = Start(std::make_unique<TEngineComponent>());
    EXPECT_FALSE(w.Engine().LibrariesLoaded());
    const QString error = w.Engine().LastError();
    EXPECT_FALSE(error.isEmpty());
    EXPECT_TRUE(formLog->Lines().contains(error)) << LogText().toStdString();
    EXPECT_TRUE(desktop->shown.empty());   // no message box
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(w.CurrentPage(), wpMode);
    EXPECT_TRUE(w.ActionNext->isEnabled());
}

TEST_F(ShellTest, EngineLibrariesLoadAtStart)
{
    LinkSkins();
    // No lib folder: the system's copies are found.
    TFormMain& w = Start(std::make_unique<TEngineComponent>());
    ASSERT_TRUE(w.Engine().LibrariesLoaded()) << w.Engine().LastError().toStdString();
    // The window hears everything, down to the libraries' debug lines.
    EXPECT_EQ(FFLogger()->LogLevel(), llDebug);
    EXPECT_EQ(TFFLogger::LibraryThreshold(), AV_LOG_DEBUG);
    FF.av_log(nullptr, AV_LOG_DEBUG, "a debug line from the libraries\n");
    EXPECT_TRUE(QTest::qWaitFor([&] {
        return LogText().contains(QStringLiteral(".7: a debug line from the libraries"));
    }, 5000)) << LogText().toStdString();
}
