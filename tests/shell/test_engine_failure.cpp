// Engine libraries that cannot be loaded: the reason goes to the log window and the rest
// of the program still starts. Its own program, so no earlier test has loaded them.
#include "ShellTestSupport.h"

#include "FFmpegLoader.h"

#include <QAction>

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
    EXPECT_TRUE(w.Engine().LibrariesLoaded()) << w.Engine().LastError().toStdString();
}
