// Closing the window from outside the program: the window manager's close request (Alt+F4
// under a window manager, the taskbar's Close) arrives as a close event of the platform
// window, as the windowing system delivers it.
#include "ShellTestSupport.h"

#include "ImageButton.h"

#include <QCloseEvent>
#include <QSignalSpy>
#include <QWindow>

namespace {

void CloseFromWindowManager(TFormMain& w)
{
    ASSERT_NE(w.windowHandle(), nullptr);
    QCloseEvent event;
    QCoreApplication::sendEvent(w.windowHandle(), &event);
}

} // namespace

TEST_F(ShellTest, WindowManagerCloseAsksOnlyWhileARunWorks)
{
    LinkSkins();
    TFormMain& w = Start();
    QSignalSpy closed(&w, &TFormMain::Closed);

    const struct {
        TWizardPage Page;
        const char* Question;
    } running[] = {{wpStep3, "Do you really want to cancel the conversion?"},
                   {wpStep6, "Do you really want to cancel the downloading?"}};
    for (const auto& r : running) {
        w.ShowPage(r.Page);
        desktop->shown.clear();
        desktop->answers.push_back(mrNo);
        CloseFromWindowManager(w);
        ASSERT_EQ(desktop->shown.size(), 1u) << r.Page;
        EXPECT_EQ(desktop->shown[0].message, QString::fromLatin1(r.Question));
        EXPECT_TRUE(w.isVisible()) << "No keeps the run and the window";
        EXPECT_EQ(closed.count(), 0);
        EXPECT_EQ(stops, 0);
    }

    // Yes closes through the whole close path.
    desktop->answers.push_back(mrYes);
    CloseFromWindowManager(w);
    EXPECT_EQ(closed.count(), 1);
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(stops, 1);
    EXPECT_TRUE(QFile::exists(SettingsFile()));
}

TEST_F(ShellTest, WindowManagerCloseWhileIdleAndTheCloseButtonNeverAsk)
{
    LinkSkins();
    for (const bool button : {false, true}) {
        TFormMain& w = Start();
        QSignalSpy closed(&w, &TFormMain::Closed);
        w.ShowPage(button ? wpStep3 : wpStep2);
        desktop->shown.clear();
        if (button)
            w.ButtonClose->click(); // the program's own close button, even during a run
        else
            CloseFromWindowManager(w);
        EXPECT_TRUE(desktop->shown.empty()) << button;
        EXPECT_EQ(closed.count(), 1) << button;
        EXPECT_FALSE(w.isVisible()) << button;
    }
}
