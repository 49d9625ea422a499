#pragma once
// Helpers every side-by-side benchmark shares.
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
