// The preview windows of the engine: one per task, sized to the frame, captioned with the
// frame time, stay-on-top tool windows that move when dragged and report the user's close.
#include "FFmpegRecords.h"
#include "FFmpegRecords.h"
#include "PreviewerWindow.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QScreen>

#include <gtest/gtest.h>

#include <vector>

namespace {

// A solid picture in 24-bit B G R rows padded to four bytes.
TBitmap Solid(int width, int height, std::uint8_t r, std::uint8_t g, std::uint8_t b)
{
    TBitmap bitmap;
    bitmap.Width = width;
    bitmap.Height = height;
    bitmap.Stride = (width * 3 + 3) / 4 * 4;
    bitmap.Bits.assign(size_t(bitmap.Stride) * size_t(height), 0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = bitmap.ScanLine(y) + x * 3;
            p[0] = b;
            p[1] = g;
            p[2] = r;
        }
    return bitmap;
}

void Press(QWidget* w, QPoint local, QEvent::Type type, Qt::MouseButtons buttons)
{
    const QPointF global = w->mapToGlobal(QPointF(local));
    QMouseEvent e(type, QPointF(local), global, Qt::LeftButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

TEST(Previewer, CaptionShowsTheFrameTime)
{
    EXPECT_EQ(PreviewCaption(62345000), "00:01:02.345");
    EXPECT_EQ(PreviewCaption(3600000000LL * 11 + 999), "11:00:00.000");
    EXPECT_EQ(PreviewCaption(0), "00:00:00.000");
    EXPECT_EQ(PreviewCaption(NoTimestampValue), "N/A");
}

TEST(Previewer, OneStayOnTopWindowPerTaskSizedToItsFrame)
{
    TPreviewer previewer;
    int a = 0, b = 0;
    const TBitmap red = Solid(161, 99, 255, 0, 0); // odd width: padded rows
    previewer.ShowPreview(&a, red, 1500000);
    TPreviewWindow* w = previewer.Window(&a);
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(w->size(), QSize(161, 99));
    EXPECT_EQ(w->windowTitle(), "00:00:01.500");
    EXPECT_TRUE(w->windowFlags() & Qt::Tool);
    EXPECT_TRUE(w->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_FALSE(w->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(w->windowFlags() & Qt::WindowMaximizeButtonHint);
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_LE((w->geometry().center() - screen.center()).manhattanLength(), 4); // odd sizes round
    EXPECT_EQ(w->grab().toImage().pixelColor(160, 98), QColor(255, 0, 0));

    // The next frame reuses the window; a frame without time says so.
    previewer.ShowPreview(&a, Solid(161, 99, 0, 0, 255), NoTimestampValue);
    EXPECT_EQ(previewer.Window(&a), w);
    EXPECT_EQ(w->windowTitle(), "N/A");
    EXPECT_EQ(w->grab().toImage().pixelColor(0, 0), QColor(0, 0, 255));

    previewer.ShowPreview(&b, Solid(32, 24, 0, 255, 0), 0);
    EXPECT_EQ(previewer.WindowCount(), 2);
    EXPECT_NE(previewer.Window(&b), w);

    // An empty or short picture is ignored, not read past its end.
    TBitmap broken = Solid(32, 24, 0, 0, 0);
    broken.Bits.resize(10);
    previewer.ShowPreview(&b, broken, 0);
    EXPECT_EQ(previewer.Window(&b)->size(), QSize(32, 24));
}

TEST(Previewer, DraggingWithTheLeftButtonMovesTheWindow)
{
    TPreviewer previewer;
    int task = 0;
    previewer.ShowPreview(&task, Solid(64, 48, 9, 9, 9), 0);
    TPreviewWindow* w = previewer.Window(&task);
    ASSERT_NE(w, nullptr);
    const QPoint start = w->pos();
    Press(w, QPoint(10, 10), QEvent::MouseButtonPress, Qt::LeftButton);
    Press(w, QPoint(30, 40), QEvent::MouseMove, Qt::LeftButton);
    Press(w, QPoint(30, 40), QEvent::MouseButtonRelease, Qt::NoButton);
    EXPECT_EQ(w->pos(), start + QPoint(20, 30));
}

TEST(Previewer, ClosingByTheUserEndsPreviewOfThatTaskOnly)
{
    TPreviewer previewer;
    std::vector<const void*> closed;
    previewer.OnPreviewClosed = [&](const void* task) { closed.push_back(task); };
    int a = 0, b = 0;
    previewer.ShowPreview(&a, Solid(16, 16, 1, 2, 3), 0);
    previewer.ShowPreview(&b, Solid(16, 16, 1, 2, 3), 0);
    previewer.Window(&a)->close();
    ASSERT_EQ(closed.size(), 1u);
    EXPECT_EQ(closed[0], &a);
    EXPECT_EQ(previewer.Window(&a), nullptr);
    EXPECT_NE(previewer.Window(&b), nullptr);

    // Closed by the program: no report back, and closing again is harmless.
    previewer.ClosePreview(&b);
    previewer.ClosePreview(&b);
    previewer.ClosePreview(&a);
    EXPECT_EQ(closed.size(), 1u);
    EXPECT_EQ(previewer.WindowCount(), 0);

    // A task shown again after its window was closed gets a new one.
    previewer.ShowPreview(&a, Solid(16, 16, 1, 2, 3), 0);
    EXPECT_NE(previewer.Window(&a), nullptr);
}

} // namespace
