// The Step1 input list with the real engine and generated media: the lines and hidden values
// of each row, failed files, the edit actions, and adds that run while the window keeps going.
#include "AppSettings.h"
#include "EditionConfig.h"
#include "FakeDesktop.h"
#include "FFmpegLoader.h"
#include "InputGrid.h"
#include "MainThread.h"
#include "PageStep1.h"
#include "UtilFuncs.h"
#include "test_inputfacts_media.h"

#include <QAction>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QDropEvent>
#include <QMimeData>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <memory>
#include <set>

namespace {

class InputListTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        LoadInputEngine();
        page.OnLog = [this](const QString& line) { log << line; };
        page.OnAddFailed = [this](const QStringList& messages) { dialogs.push_back(messages); };
    }

    void AddAndWait(const QStringList& files)
    {
        page.AddInputFiles(files);
        ASSERT_TRUE(page.WaitForAdd(60000));
    }

    ScopedFakeDesktop desktop;
    TPageStep1 page;
    QStringList log;
    std::vector<QStringList> dialogs;
};

QStringList Repeat(const QString& file, int times)
{
    QStringList files;
    for (int i = 0; i < times; ++i)
        files << file;
    return files;
}

} // namespace

TEST_F(InputListTest, EachRowShowsTheLinesOfItsOwnFile)
{
    const QString video = VideoAudioFile(), mp3 = Mp3File(), noRate = NoBitrateVideoFile(),
                  raw = UnknownDurationFile();
    AddAndWait({video, mp3, noRate, raw, video});
    ASSERT_EQ(page.RowCount(), 5);
    EXPECT_TRUE(dialogs.empty());
    EXPECT_TRUE(log.isEmpty());

    // A video row, then an MP3 in the same selection, then videos again.
    QStringList lines = page.RowLines(0);
    ASSERT_EQ(lines.size(), 4);
    EXPECT_TRUE(lines[1].startsWith("Duration: 00:00:04")) << lines[1].toStdString();
    EXPECT_TRUE(lines[2].startsWith("Bit rate: ")) << lines[2].toStdString();
    EXPECT_TRUE(lines[2].endsWith(" Kbps"));
    EXPECT_EQ(lines[3], "Dimension: 320 x 240");
    EXPECT_FALSE(page.RowAudioOnly(0));
    // The picture is kept at most at twice the slide's picture area, in the video's proportions.
    const QImage thumb = page.RowThumbnail(0);
    EXPECT_EQ(thumb.height(), 176);
    EXPECT_NEAR(double(thumb.width()) / thumb.height(), 4.0 / 3.0, 0.02);

    lines = page.RowLines(1);
    EXPECT_EQ(lines[2], "Audio Bit rate: 128 Kbps");
    EXPECT_TRUE(lines[3].startsWith("Audio Encoder: mp3")) << lines[3].toStdString();
    EXPECT_TRUE(page.RowAudioOnly(1));
    auto* icon = page.findChild<QLabel*>("ImageAudioIcon");
    ASSERT_NE(icon, nullptr);
    EXPECT_FALSE(icon->isVisible());
    EXPECT_EQ(page.RowThumbnail(1), icon->pixmap().toImage());

    lines = page.RowLines(2);
    EXPECT_EQ(lines[2], "Bit rate: Bit rate is not preseted");
    EXPECT_EQ(lines[3], "Dimension: 320 x 240");

    lines = page.RowLines(3);
    EXPECT_EQ(lines[1], "Duration: Duration is not preseted");
    EXPECT_EQ(page.InputRow(3).Duration, 0);

    // The same file twice gives two identical rows.
    EXPECT_EQ(page.RowLines(4), page.RowLines(0));
    EXPECT_EQ(page.RowThumbnail(4), page.RowThumbnail(0));

    // Hidden values, in list order, for the run.
    const std::vector<TInputRow> rows = page.InputRows();
    ASSERT_EQ(rows.size(), 5u);
    const QStringList expected{video, mp3, noRate, raw, video};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(rows[size_t(i)].FileName, expected[i]);
        EXPECT_EQ(page.RowFileName(i), expected[i]);
    }
    EXPECT_GT(rows[0].Duration, 3900000);
    EXPECT_EQ(rows[0].Width, 320);
    EXPECT_EQ(rows[0].Height, 240);
    EXPECT_NEAR(rows[0].Aspect, 4.0 / 3.0, 0.01);
    EXPECT_EQ(rows[1].Width, -1);
    EXPECT_EQ(rows[1].Aspect, -1.0);

    // The name line, drawn bold, fits its width; the file name itself is kept.
    QFont bold = page.font();
    bold.setBold(true);
    for (int i = 0; i < page.RowCount(); ++i) {
        EXPECT_LE(QFontMetrics(bold).horizontalAdvance(page.RowLines(i)[0]), 255) << i;
        EXPECT_TRUE(page.RowLines(i)[0].endsWith(QFileInfo(expected[i]).fileName())) << i;
    }
    EXPECT_EQ(page.BitmapCount(), 5);

    // The busy cursor is released, and the progress hidden, once the add is over.
    EXPECT_EQ(desktop->busy, 0);
    EXPECT_FALSE(page.LabelAdding->isVisibleTo(&page));
}

// A picture too large for a thumbnail is still added; its row says why it shows none.
TEST_F(InputListTest, HugePictureIsAddedWithoutThumbnailAndSaysWhy)
{
    ASSERT_NO_FATAL_FAILURE(AddAndWait({HugePictureFile(), VideoAudioFile()}));
    ASSERT_EQ(page.RowCount(), 2);
    EXPECT_TRUE(page.RowThumbnail(0).isNull());
    EXPECT_EQ(page.RowLines(0).value(3), "Dimension: 8200 x 8000 (no thumbnail above 64 million pixels)");
    EXPECT_FALSE(page.RowThumbnail(1).isNull());
    EXPECT_TRUE(dialogs.empty());
}

TEST_F(InputListTest, FilesThatFailAreLoggedAndListedOnce)
{
    QTemporaryDir dir;
    const QString corrupt = dir.filePath("broken.mp4");
    ASSERT_TRUE(WriteBytes(corrupt, CorruptBytes()));
    AddAndWait({VideoAudioFile(), corrupt, Mp3File()});
    EXPECT_EQ(page.RowCount(), 2);
    ASSERT_EQ(dialogs.size(), 1u);
    ASSERT_EQ(dialogs[0].size(), 1);
    EXPECT_TRUE(dialogs[0][0].startsWith(corrupt)) << dialogs[0][0].toStdString();
    ASSERT_EQ(log.size(), 1);
    EXPECT_EQ(log[0], "File load error: " + dialogs[0][0]);

    // A file gone between the choice and the add, and one that cannot be read; the dialog
    // of this add holds only its own failures.
    const QString vanished = dir.filePath("vanished.mp4");
    ASSERT_TRUE(QFile::copy(VideoAudioFile(), vanished));
    ASSERT_TRUE(QFile::remove(vanished));
    const QString locked = dir.filePath("locked.mp4");
    ASSERT_TRUE(QFile::copy(VideoAudioFile(), locked));
    QFile::setPermissions(locked, {});
    const bool lockedFails = Unreadable(locked);
    AddAndWait({vanished, locked});
    ASSERT_EQ(dialogs.size(), 2u);
    EXPECT_EQ(dialogs[1].size(), lockedFails ? 2 : 1);
    EXPECT_TRUE(dialogs[1][0].startsWith(vanished));
    EXPECT_EQ(page.RowCount(), lockedFails ? 2 : 3);
    QFile::setPermissions(locked, QFile::ReadOwner | QFile::WriteOwner);
    EXPECT_EQ(desktop->busy, 0);
}

TEST_F(InputListTest, MissingEngineStopsTheAddWithAnErrorMessage)
{
    FFLoader().UnloadLibraries(EngineLibrarySet);
    page.AddInputFiles({VideoAudioFile(), Mp3File()});
    page.AddInputFiles({Mp3File()});
    const bool finished = page.WaitForAdd(60000);
    LoadInputEngine();
    ASSERT_TRUE(finished);
    EXPECT_EQ(page.RowCount(), 0);
    ASSERT_EQ(desktop->shown.size(), 1u) << "one message, not one per file or per queued add";
    EXPECT_EQ(desktop->shown[0].kind, TMsgDlgType::mtError);
    EXPECT_EQ(desktop->shown[0].caption, EditionConfig.Name);
    EXPECT_TRUE(desktop->shown[0].message.contains("not loaded")) << desktop->shown[0].message.toStdString();
    EXPECT_TRUE(dialogs.empty());
    EXPECT_EQ(desktop->busy, 0);

    // With the libraries back the page adds again.
    AddAndWait({Mp3File()});
    EXPECT_EQ(page.RowCount(), 1);
}

TEST_F(InputListTest, MoveDeletePlayAndAddActions)
{
    const QString video = VideoAudioFile(), mp3 = Mp3File(), noRate = NoBitrateVideoFile();
    AddAndWait({video, mp3, noRate});
    const auto names = [this] {
        QStringList n;
        for (const TInputRow& r : page.InputRows())
            n << r.FileName;
        return n;
    };

    page.SelectRow(0);
    page.ActionMoveUpExecute();
    EXPECT_EQ(names(), QStringList({video, mp3, noRate}));
    EXPECT_EQ(page.SelectedRow(), 0);
    page.SelectRow(2);
    page.ActionMoveDownExecute();
    EXPECT_EQ(names(), QStringList({video, mp3, noRate}));
    EXPECT_EQ(page.SelectedRow(), 2);

    // A moved row keeps its lines, thumbnail and hidden values.
    const QStringList mp3Lines = page.RowLines(1);
    page.SelectRow(1);
    page.ActionMoveUpExecute();
    EXPECT_EQ(names(), QStringList({mp3, video, noRate}));
    EXPECT_EQ(page.SelectedRow(), 0);
    EXPECT_EQ(page.RowLines(0), mp3Lines);
    EXPECT_TRUE(page.RowAudioOnly(0));
    page.ActionMoveDownExecute();
    page.ActionMoveDownExecute();
    EXPECT_EQ(names(), QStringList({video, noRate, mp3}));
    EXPECT_EQ(page.SelectedRow(), 2);
    EXPECT_FALSE(page.ActionMoveDown->isEnabled());
    EXPECT_TRUE(page.ActionMoveUp->isEnabled());

    // Dragging a row: dropped on the lower half of a row it goes below it, on the upper half
    // above it; it keeps its values. A drop of anything else is refused.
    page.show();
    const auto dropAt = [this](int from, int row, bool lowerHalf, const QString& type) {
        const QRect r = page.NextGrid->visualItemRect(page.NextGrid->topLevelItem(row));
        const QPoint pos(r.center().x(), lowerHalf ? r.bottom() - 5 : r.top() + 5);
        QMimeData data;
        data.setData(type, QByteArray::number(from));
        // A drop only reaches the widget that accepted the drag's entry.
        QDragEnterEvent enter(pos, Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(page.NextGrid->viewport(), &enter);
        QDropEvent drop(pos, Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(page.NextGrid->viewport(), &drop);
    };
    dropAt(0, 2, true, TInputGrid::RowMimeType());
    EXPECT_EQ(names(), QStringList({noRate, mp3, video}));
    EXPECT_EQ(page.SelectedRow(), 2);
    EXPECT_EQ(page.InputRow(2).Width, 320);
    dropAt(1, 0, false, TInputGrid::RowMimeType());
    EXPECT_EQ(names(), QStringList({mp3, noRate, video}));
    EXPECT_EQ(page.RowLines(0), mp3Lines);
    dropAt(1, 1, true, TInputGrid::RowMimeType()); // onto itself
    dropAt(0, 2, true, "text/plain");
    dropAt(7, 2, true, TInputGrid::RowMimeType());
    EXPECT_EQ(names(), QStringList({mp3, noRate, video}));
    dropAt(0, 2, true, TInputGrid::RowMimeType());
    dropAt(1, 0, false, TInputGrid::RowMimeType());
    EXPECT_EQ(names(), QStringList({video, noRate, mp3}));
    page.SelectRow(2);

    // Play and double click open the selected row's file.
    page.ActionPlayExecute();
    emit page.NextGrid->itemDoubleClicked(page.NextGrid->topLevelItem(2), 0);
    EXPECT_EQ(desktop->opened, QStringList({mp3, mp3}));

    // Delete the last row: the selection falls back to the new last row; a middle row: it stays.
    page.ActionDeleteExecute();
    EXPECT_EQ(names(), QStringList({video, noRate}));
    EXPECT_EQ(page.SelectedRow(), 1);
    page.SelectRow(0);
    page.ActionDeleteExecute();
    EXPECT_EQ(names(), QStringList({noRate}));
    EXPECT_EQ(page.SelectedRow(), 0);
    page.NextGrid->clearSelection();
    page.ActionDeleteExecute();
    page.ActionPlayExecute();
    EXPECT_EQ(page.RowCount(), 1);
    EXPECT_EQ(desktop->opened.size(), 2);
    EXPECT_EQ(page.BitmapCount(), 3) << "thumbnails stay after their rows are deleted";

    // The open dialog: its filter and start folder, several files, the remembered folder.
    desktop->openAnswers.push_back({mp3, video});
    page.ActionAddExecute();
    ASSERT_EQ(desktop->openRequests.size(), 1u);
    EXPECT_TRUE(desktop->openRequests[0].multiSelect);
    EXPECT_TRUE(desktop->openRequests[0].filter.startsWith("All Supported Formats|*.AVI;"));
    EXPECT_TRUE(desktop->openRequests[0].filter.endsWith("|All Files|*.*"));
    ASSERT_TRUE(page.WaitForAdd(60000));
    EXPECT_EQ(names(), QStringList({noRate, mp3, video}));
    EXPECT_EQ(AppSettings.LastOpenDir, WithTrailingBackslash(QFileInfo(mp3).absolutePath()));
    page.ActionAddExecute(); // cancelled dialog: nothing changes
    EXPECT_EQ(page.RowCount(), 3);

    page.ActionClearExecute();
    EXPECT_EQ(page.RowCount(), 0);
    EXPECT_FALSE(page.ActionClear->isEnabled());
}

TEST_F(InputListTest, TheWindowKeepsRunningWhileManyFilesAreAdded)
{
    int ticks = 0;
    std::set<int> rowCountsSeen;
    QStringList progressTexts;
    QTimer timer;
    timer.setInterval(2);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        ++ticks;
        rowCountsSeen.insert(page.RowCount());
        if (page.LabelAdding->isVisibleTo(&page))
            progressTexts << page.LabelAdding->text();
    });
    timer.start();

    const QString video = VideoAudioFile(), mp3 = Mp3File();
    page.AddInputFiles(Repeat(video, 20));
    // The call returns before the files are read; a second call queues behind the first.
    EXPECT_TRUE(page.Adding());
    EXPECT_LT(page.RowCount(), 20);
    EXPECT_EQ(desktop->busy, 1);
    page.AddInputFiles({mp3});
    ASSERT_TRUE(page.WaitForAdd(120000));
    timer.stop();

    ASSERT_EQ(page.RowCount(), 21);
    EXPECT_EQ(page.RowFileName(19), video);
    EXPECT_EQ(page.RowFileName(20), mp3);
    EXPECT_GT(ticks, 5);
    EXPECT_GE(rowCountsSeen.size(), 3u) << "rows arrive one by one, not all at the end";
    ASSERT_FALSE(progressTexts.isEmpty());
    EXPECT_TRUE(progressTexts.filter(QRegularExpression("^Adding file \\d+ of 20\\.\\.\\.$")).size() > 0)
        << progressTexts.join(" | ").toStdString();
    EXPECT_EQ(desktop->busy, 0);
}

TEST_F(InputListTest, ClearOrDestroyDuringAnAddIsSafe)
{
    const QString video = VideoAudioFile();
    int finished = 0;
    QObject::connect(&page, &TPageStep1::AddFinished, [&] { ++finished; });

    page.AddInputFiles(Repeat(video, 20));
    WaitServicingEvents([this] { return page.RowCount() >= 1; }, 60000);
    page.ClearInputList();
    EXPECT_EQ(page.RowCount(), 0);
    EXPECT_FALSE(page.Adding());
    EXPECT_EQ(finished, 1);
    EXPECT_EQ(desktop->busy, 0);
    // Results still on their way are dropped.
    WaitServicingEvents([] { return false; }, 300);
    EXPECT_EQ(page.RowCount(), 0);

    // The page adds normally after a cancelled add.
    AddAndWait({video});
    EXPECT_EQ(page.RowCount(), 1);

    // Destroying a page in the middle of an add stops its worker.
    auto other = std::make_unique<TPageStep1>();
    other->AddInputFiles(Repeat(video, 20));
    WaitServicingEvents([&] { return other->RowCount() >= 1; }, 60000);
    EXPECT_TRUE(other->Adding());
    other.reset();
    WaitServicingEvents([] { return false; }, 200);
    EXPECT_EQ(desktop->busy, 0);
}
