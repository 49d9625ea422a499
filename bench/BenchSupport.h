#pragma once
// Helpers every side-by-side benchmark shares.
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <algorithm>
#include <vector>

inline double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// Takes a leading "--runs N" off the arguments; `runs` keeps its value when there is none.
inline QStringList TakeRunsOption(QStringList args, int& runs)
{
    if (args.size() >= 2 && args[0] == "--runs") {
        runs = std::max(1, args[1].toInt());
        args = args.mid(2);
    }
    return args;
}

// A program folder for a benchmark of the window: the edition file given, and the build's
// library and sound folders linked in.
inline bool PrepareProgramFolder(const QString& binDir, const QString& appDir, const char* edition)
{
    QFile file(appDir + QStringLiteral("/lame.dll"));
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(edition);
    file.close();
    if (QFileInfo::exists(binDir + QStringLiteral("/lib")))
        QFile::link(binDir + QStringLiteral("/lib"), appDir + QStringLiteral("/lib"));
    return QFile::link(binDir + QStringLiteral("/sounds"), appDir + QStringLiteral("/sounds"));
}
