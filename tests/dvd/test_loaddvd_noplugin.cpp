// "&Load DVD..." when the plug-in cannot be loaded: the reason in a message box, no dialog,
// and a later attempt tries again.
#include "DVDFixtures.h"
#include "DVDLoad.h"
#include "EditionConfig.h"
#include "FakeDesktop.h"
#include "ModalRunner.h"
#include "PageStep1.h"

#include <QAction>
#include <QTemporaryDir>

TEST(LoadDVDWithoutPlugIn, ShowsTheLoadErrorAndOpensNoDialog)
{
    ScopedFakeDesktop desktop;
    int dialogs = 0;
    ScopedModalRunner runner([&](QDialog&) {
        ++dialogs;
        return 0;
    });
    QWidget window;
    TPageStep1 page(&window);
    TDVDLoad load(&page, &window);
    QTemporaryDir empty;
    load.PlugInFolder = empty.path();
    page.ActionLoadDVD->trigger();
    ASSERT_EQ(desktop->shown.size(), 1u);
    EXPECT_TRUE(desktop->shown[0].message.startsWith("Load library " + empty.path() + "/libdvddec.so error: "));
    EXPECT_EQ(desktop->shown[0].caption, EditionConfig.Name);
    EXPECT_EQ(desktop->shown[0].kind, TMsgDlgType::mtInformation);
    EXPECT_EQ(dialogs, 0);
    EXPECT_FALSE(DVDPlugInLoaded());

    load.PlugInFolder = BuildBinDir() + QStringLiteral("/lib");
    page.ActionLoadDVD->trigger();
    EXPECT_TRUE(DVDPlugInLoaded());
    EXPECT_EQ(dialogs, 1);
    EXPECT_EQ(page.RowCount(), 0); // the dialog was not confirmed
}
