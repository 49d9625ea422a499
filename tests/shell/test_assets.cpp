// The files the build draws beside the executable: skins, sounds and the default edition.
#include "ShellTestSupport.h"

#include "PageStep1.h"

#include <QAction>
#include <QBitmap>
#include <QImage>

namespace {

const QColor Magenta(255, 0, 255);

} // namespace

TEST(GeneratedAssets, EverySkinFolderIsCompleteAndShaped)
{
    const QString bin = BuildBinDir();
    const struct { const char* folder; QSize size; } skins[] = {
        {"res", {772, 547}}, {"res1", {830, 610}}, {"res2", {772, 547}}};
    for (const auto& skin : skins) {
        const QString dir = bin + "/sounds/" + skin.folder + "/";
        for (const char* name : {"toplogo.png", "leftlogo.png", "downloadyoutube.png", "youtubeconvert.png",
                                 "min_1.bmp", "min_2.bmp", "min_3.bmp", "close_1.bmp", "close_2.bmp", "close_3.bmp",
                                 "bottom_1.bmp", "bottom_2.bmp", "bottom_3.bmp", "bottom_4.bmp"})
            EXPECT_FALSE(QImage(dir + name).isNull()) << (dir + name).toStdString();
        const QImage main(dir + "main.bmp");
        ASSERT_EQ(main.size(), skin.size) << skin.folder;
        // magenta exactly outside the rounded frame, nowhere inside
        EXPECT_EQ(main.pixelColor(0, 0), Magenta);
        EXPECT_EQ(main.pixelColor(main.width() - 1, main.height() - 1), Magenta);
        int insideMagenta = 0;
        for (int y = 20; y < main.height() - 20; y += 3)
            for (int x = 20; x < main.width() - 20; x += 3)
                insideMagenta += main.pixelColor(x, y) == Magenta ? 1 : 0;
        EXPECT_EQ(insideMagenta, 0) << skin.folder;
    }
}

TEST(GeneratedAssets, SoundsArePlayableWaves)
{
    for (const char* name : {"done.wav", "fail.wav"}) {
        QFile file(BuildBinDir() + "/sounds/" + name);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << name;
        const QByteArray data = file.readAll();
        ASSERT_GT(data.size(), 44 + 2000);
        EXPECT_EQ(data.left(4), QByteArray("RIFF"));
        EXPECT_EQ(data.mid(8, 8), QByteArray("WAVEfmt "));
        const auto u32 = [&](int at) { return quint32(quint8(data[at])) | quint32(quint8(data[at + 1])) << 8 |
                                              quint32(quint8(data[at + 2])) << 16 | quint32(quint8(data[at + 3])) << 24; };
        EXPECT_EQ(u32(4), quint32(data.size() - 8));
        EXPECT_EQ(data.mid(36, 4), QByteArray("data"));
        EXPECT_EQ(u32(40), quint32(data.size() - 44));
    }
}

TEST(GeneratedAssets, DefaultEditionOffersEverything)
{
    const TEditionConfig config = ReadEditionConfig(BuildBinDir());
    EXPECT_EQ(config.Name, QStringLiteral("vornic"));
    EXPECT_EQ(config.Version, QStringLiteral("0.1"));
    EXPECT_TRUE(config.Download);
    EXPECT_TRUE(config.DVD);
    EXPECT_FALSE(config.Merge);
    EXPECT_FALSE(config.Copyright.isEmpty());
    for (const TFormatButtonInfo& info : FormatButtons)
        EXPECT_TRUE(config.FormatEnabled(info.Class, info.Index)) << info.Key;
}

TEST_F(ShellTest, WindowShapeFollowsTheSkin)
{
    LinkSkins();
    TFormMain& w = Start();
    const QRegion shape = w.mask();
    EXPECT_FALSE(shape.contains(QPoint(0, 0)));
    EXPECT_FALSE(shape.contains(QPoint(w.width() - 1, 0)));
    EXPECT_TRUE(shape.contains(QPoint(w.width() / 2, w.height() / 2)));
    EXPECT_TRUE(shape.contains(QPoint(w.width() / 2, 0)));
}

TEST_F(ShellTest, InputListActionsFollowTheSelection)
{
    LinkSkins();
    TFormMain& w = Start();
    TPageStep1& list = *w.PageStep1;
    EXPECT_FALSE(list.ActionClear->isEnabled());
    AddPlaceholderRows(list, {home.filePath("a.avi"), home.filePath("b.avi"), home.filePath("c.avi")});
    EXPECT_TRUE(list.ActionClear->isEnabled());
    EXPECT_FALSE(list.ActionDelete->isEnabled());
    EXPECT_FALSE(list.ActionPlay->isEnabled());

    list.SelectRow(0);
    EXPECT_TRUE(list.ActionDelete->isEnabled());
    EXPECT_FALSE(list.ActionMoveUp->isEnabled());
    EXPECT_TRUE(list.ActionMoveDown->isEnabled());
    list.ActionMoveDownExecute();
    EXPECT_EQ(list.SelectedRow(), 1);
    EXPECT_EQ(list.RowFileName(1), home.filePath("a.avi"));
    list.SelectRow(2);
    EXPECT_TRUE(list.ActionMoveUp->isEnabled());
    EXPECT_FALSE(list.ActionMoveDown->isEnabled());
    list.ActionMoveDownExecute();   // last row stays
    EXPECT_EQ(list.RowFileName(2), home.filePath("c.avi"));

    list.ActionPlayExecute();
    ASSERT_EQ(desktop->opened.size(), 1);
    EXPECT_EQ(desktop->opened.front(), home.filePath("c.avi"));

    list.ActionDeleteExecute();   // the selection moves to the new last row
    EXPECT_EQ(list.RowCount(), 2);
    EXPECT_EQ(list.SelectedRow(), 1);
}
