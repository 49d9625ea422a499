#pragma once
// The generated DVD folders (scripts/make-dvd-fixture.sh, cached in the build folder) and the
// plug-in built beside the executable.
#include "DVDPlugIn.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <functional>

inline QString DVDFixtureRoot()
{
    static const QString root = [] {
        const QString out = FixtureDir() + QStringLiteral("/dvd");
        const CommandResult r = RunCommand(QStringLiteral("bash"),
                                           {QStringLiteral(VORNIC_SOURCE_DIR "/scripts/make-dvd-fixture.sh"), out},
                                           600000);
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        return out;
    }();
    return root;
}

// A fixture folder with its trailing separator, as the dialog passes roots.
inline QString DVDFixture(const QString& name)
{
    const QString path = DVDFixtureRoot() + u'/' + name;
    return QFileInfo(path).isDir() ? path + u'/' : path;
}

// A copy of the two-title fixture in dir/cut whose first title set's VOB is cut where `cutAt`
// says (given its size; half of it when none is given). Answers the root with its separator.
inline QString CutTwoTitleDVD(const QString& dir, const std::function<qint64(qint64)>& cutAt = {})
{
    const QString root = dir + QStringLiteral("/cut");
    const QDir from(DVDFixture("two-titles") + QStringLiteral("VIDEO_TS"));
    EXPECT_TRUE(QDir().mkpath(root + QStringLiteral("/VIDEO_TS")));
    for (const QString& name : from.entryList(QDir::Files))
        EXPECT_TRUE(QFile::copy(from.filePath(name), root + QStringLiteral("/VIDEO_TS/") + name));
    QFile vob(root + QStringLiteral("/VIDEO_TS/VTS_01_1.VOB"));
    EXPECT_TRUE(vob.resize(cutAt ? cutAt(vob.size()) : vob.size() / 2));
    return root + u'/';
}

inline void LoadBuiltDVDPlugIn()
{
    ASSERT_TRUE(LoadDVDPlugIn(BuildBinDir() + QStringLiteral("/lib"))) << DVDPlugInError().toStdString();
}
