// Without the engine libraries (this program never loads them) a run still ends, and every
// input carries the reason.
#include "test_run_support.h"

namespace {

TEST(RunWithoutLibrariesTest, EveryInputIsRefusedAndTheRunEnds)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QString input = CopyInput(RunClip(1), tmp.filePath("in"), "clip.avi");
    for (bool join : {false, true}) {
        RunHarness h;
        ASSERT_FALSE(h.engine.LibrariesLoaded());
        EXPECT_EQ(h.run->Start(Rows({input}), AviChoice(tmp.path()), join), 0);
        ASSERT_TRUE(h.WaitEnd(1, 20000)) << join;
        EXPECT_EQ(h.run->TotalFiles(), 0);
        const QStringList errors = h.run->ErrorLines();
        ASSERT_EQ(errors.size(), 1);
        EXPECT_TRUE(errors[0].startsWith(input + ": ")) << errors[0].toStdString();
        EXPECT_EQ(h.log.size(), 1) << h.log.join('\n').toStdString();
    }
}

} // namespace
