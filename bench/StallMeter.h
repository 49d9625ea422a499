#pragma once
// Gaps between the ticks of a 10 ms timer on the main thread, in milliseconds: the longest is
// the longest time the window could not repaint or take a click.
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

class TStallMeter {
public:
    TStallMeter()
    {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            const double now = double(clock_.nsecsElapsed()) / 1e6;
            gaps_.push_back(now - last_);
            if (now - last_ > worst_) {
                worst_ = now - last_;
                worstAt_ = last_;
            }
            last_ = now;
        });
    }
    void Start()
    {
        gaps_.clear();
        worst_ = worstAt_ = 0;
        clock_.start();
        last_ = 0;
        timer_.start();
    }
    void Stop() { timer_.stop(); }
    double Longest() const { return worst_; }
    // Where the longest gap began, in seconds from the start.
    double LongestAt() const { return worstAt_ / 1000.0; }
    void Print(const char* phase) const
    {
        std::vector<double> sorted = gaps_;
        std::sort(sorted.begin(), sorted.end());
        const auto at = [&](double q) { return sorted.empty() ? 0.0 : sorted[size_t(q * double(sorted.size() - 1))]; };
        const long over = std::count_if(sorted.begin(), sorted.end(), [](double g) { return g > 100.0; });
        std::printf("%-34s %8.1f ms %9.1f ms %9.1f ms %7ld %9.2f s %9.2f s\n", phase,
                    sorted.empty() ? 0.0 : sorted.back(), at(0.99), at(0.5), over, double(clock_.elapsed()) / 1000.0,
                    LongestAt());
    }

private:
    QTimer timer_;
    QElapsedTimer clock_;
    double last_ = 0, worst_ = 0, worstAt_ = 0;
    std::vector<double> gaps_;
};
