// label: asan
// Damaged copies of a dvdauthor folder: bit flips, cuts, huge numbers and zeroed blocks in the
// heads of its IFO, BUP and VOB files. Each copy is listed as the dialog lists it, and every
// fourth is also converted by vornic-convert: this process never crashes or hangs, each copy
// gets titles or a message, a conversion either succeeds or says why and leaves nothing.
// VORNIC_DVD_MUTATIONS sets the number of copies (16 by default; scripts/dvd-mutation-run.sh
// runs 300 and prints the figures).
#include "DVDFixtures.h"
#include "DVDReaderProcess.h"
#include "DVDRemoteReader.h"
#include "DVDTitles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <random>
#include <unistd.h>

namespace {

const char* const Targets[] = {"VIDEO_TS.IFO", "VTS_01_0.IFO", "VTS_02_0.IFO", "VIDEO_TS.BUP",
                               "VTS_01_0.BUP", "VTS_01_1.VOB", "VTS_02_1.VOB"};
enum TKind { BitFlips, Cut, HugeNumbers, ZeroedBlock, Kinds };
const char* const KindNames[] = {"bit flips", "cut", "huge numbers", "zeroed block"};

// The file's first bytes, where the tables and the first packs are.
constexpr qsizetype HeadBytes = 64 * 1024;

// Copies the fixture into dir (hard links for the files left alone) and damages one file.
QString Mutate(const QString& from, const QString& dir, int seed, QString& what)
{
    std::mt19937 rng(std::uint32_t(seed) * 2654435761u + 17u);
    const QString target = QString::fromLatin1(Targets[rng() % std::size(Targets)]);
    const TKind kind = TKind(rng() % Kinds);
    const QString root = dir + QStringLiteral("/case");
    QDir().mkpath(root + QStringLiteral("/VIDEO_TS"));
    for (const QString& name : QDir(from).entryList(QDir::Files)) {
        const QString a = from + u'/' + name, b = root + QStringLiteral("/VIDEO_TS/") + name;
        if (name == target || name == QString(target).replace(QStringLiteral(".IFO"), QStringLiteral(".BUP")))
            QFile::copy(a, b);
        else if (link(QFile::encodeName(a).constData(), QFile::encodeName(b).constData()) != 0)
            QFile::copy(a, b);
    }
    const QString path = root + QStringLiteral("/VIDEO_TS/") + target;
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadWrite));
    QByteArray data = file.read(HeadBytes);
    const qsizetype size = file.size();
    auto at = [&](qsizetype span) { return data.size() > span ? qsizetype(rng() % (data.size() - span)) : 0; };
    switch (kind) {
    case BitFlips:
        for (int n = 1 + int(rng() % 16); n > 0 && !data.isEmpty(); --n)
            data[at(1)] = char(data[at(1)] ^ (1 << (rng() % 8)));
        break;
    case Cut:
        file.resize(size > 0 ? qsizetype(rng() % size) : 0);
        data.truncate(std::min<qsizetype>(data.size(), file.size()));
        break;
    case HugeNumbers: {
        static const quint32 huge[] = {0xFFFFFFFFu, 0x7FFFFFFFu, 0x80000000u, 0x0000FFFFu, 0xFFFF0000u};
        for (int n = 1 + int(rng() % 6); n > 0 && data.size() >= 4; --n) {
            const qsizetype p = at(4) & ~qsizetype(1);
            const quint32 v = huge[rng() % std::size(huge)];
            for (int i = 0; i < 4; ++i)
                data[p + i] = char(v >> (24 - 8 * i));
        }
        break;
    }
    case ZeroedBlock: {
        const qsizetype p = at(2048) & ~qsizetype(511);
        for (qsizetype i = p; i < std::min(data.size(), p + 2048); ++i)
            data[i] = 0;
        break;
    }
    default:
        break;
    }
    file.seek(0);
    file.write(data);
    file.close();
    // Half the time the backup carries the same damage, so it cannot stand in.
    if (target.endsWith(QStringLiteral(".IFO")) && rng() % 2 == 0) {
        const QString backup = QString(path).replace(QStringLiteral(".IFO"), QStringLiteral(".BUP"));
        QFile::remove(backup);
        QFile::copy(path, backup);
        what = QStringLiteral("%1 and its backup: %2").arg(target, QLatin1String(KindNames[kind]));
    } else {
        what = QStringLiteral("%1: %2").arg(target, QLatin1String(KindNames[kind]));
    }
    return root + u'/';
}

int Cases()
{
    const int n = qEnvironmentVariableIntValue("VORNIC_DVD_MUTATIONS");
    return n > 0 ? n : 16;
}

TEST(DVDMutation, DamagedFoldersAreAnsweredNeverCrashOrHang)
{
    LoadBuiltDVDPlugIn();
    SetDVDReaderTimeout(10000);
    const QString fixture = DVDFixture("two-titles") + QStringLiteral("VIDEO_TS");
    int listed = 0, noTitles = 0, unreadable = 0, readerCrashes = 0, readerHangs = 0, invalidTitles = 0;
    int converted = 0, refused = 0;
    const int cases = Cases();
    for (int i = 0; i < cases; ++i) {
        QTemporaryDir dir;
        QString what;
        const QString root = Mutate(fixture, dir.path(), i, what);
        SCOPED_TRACE(QStringLiteral("case %1, %2").arg(i).arg(what).toStdString());

        const TDVDRootRead disc = ReadDVDRoot(root);
        const bool crashed = disc.Detail.contains(QStringLiteral("signal")) ||
                             disc.Detail.contains(QStringLiteral("exit code"));
        const bool hung = disc.Detail.contains(QStringLiteral("no answer"));
        readerCrashes += crashed ? 1 : 0;
        readerHangs += hung ? 1 : 0;
        if (crashed || hung)
            std::printf("case %d (%s): %s\n", i, qPrintable(what), qPrintable(disc.Detail));
        TDVDTitles titles;
        QString message;
        if (ReadDVDTitles(root, titles, &message)) {
            ++listed;
            for (const auto& title : titles.Titles)
                invalidTitles += title ? 0 : 1;
            EXPECT_EQ(titles.Items.size(), qsizetype(titles.Titles.size()));
        } else {
            EXPECT_TRUE(message == DVDNoTitlesText || message == DVDUnreadableText) << message.toStdString();
            (message == DVDUnreadableText ? unreadable : noTitles) += 1;
        }

        if (i % 4 != 0)
            continue;
        QTemporaryDir out;
        const CommandResult r = RunCommand(QStringLiteral(VORNIC_CONVERT),
                                           {"--dvd", root, "--title", "1", "--format", "mp3", "--preset", "1",
                                            "--output-dir", out.path()},
                                           300000);
        ASSERT_NE(r.exitCode, -1) << "the converter crashed or hung: " << r.err.toStdString();
        const QStringList left = QDir(out.path()).entryList(QDir::Files);
        if (r.exitCode == 0) {
            ++converted;
            EXPECT_EQ(left.size(), 1);
        } else {
            ++refused;
            EXPECT_FALSE(r.err.trimmed().isEmpty() && r.out.trimmed().isEmpty()) << "a failure without a message";
            EXPECT_TRUE(left.isEmpty()) << left.join(u' ').toStdString();
        }
    }
    std::printf("DVD mutation run: %d cases; titles listed %d (invalid titles %d), no titles %d, cannot be read %d; "
                "reader crashes contained %d, reader hangs ended %d; conversions %d done, %d refused with a reason\n",
                cases, listed, invalidTitles, noTitles, unreadable, readerCrashes, readerHangs, converted, refused);
    SetDVDReaderTimeout(20000);
}

} // namespace
