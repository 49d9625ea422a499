#pragma once
// The generated DVD folders (scripts/make-dvd-fixture.sh, cached in the build folder) and the
// plug-in built beside the executable.
#include "DVDPlugIn.h"
#include "TestSupport.h"

#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>

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

inline void LoadBuiltDVDPlugIn()
{
    ASSERT_TRUE(LoadDVDPlugIn(BuildBinDir() + QStringLiteral("/lib"))) << DVDPlugInError().toStdString();
}
