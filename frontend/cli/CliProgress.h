#pragma once
// What vornic-convert shows while it converts. On a terminal one line at the bottom is a
// progress bar with the time left, redrawn in place; the lines of finished files scroll above
// it. Elsewhere (a pipe, a log file) only the finished files' lines are written.
#include <QString>

#include <cstdio>

class TCliDisplay {
public:
    // terminal: draw the bar; stream: where everything goes (standard error).
    TCliDisplay(bool terminal, std::FILE* stream);
    ~TCliDisplay();

    bool Terminal() const { return terminal_; }

    // The bar for the file being converted; timeLeft empty while there is no estimate.
    void Progress(int percent, const QString& label, const QString& timeLeft);
    // A line that stays (a finished file, a message); the bar is drawn again below it.
    void Line(const QString& text);
    // Removes the bar.
    void Clear();

    // One bar line of at most `columns` - 1 screen columns:
    // "[#########---------]  45%  label  time left 0:00:12"; the label loses its start first.
    static QString BarLine(int percent, const QString& label, const QString& timeLeft, int columns);
    // Width of the terminal behind the stream, 80 when unknown.
    static int TerminalColumns(std::FILE* stream);

private:
    void Draw();

    bool terminal_;
    std::FILE* stream_;
    QString bar_;     // the bar as last drawn; empty when none is shown
    int percent_ = 0;
    QString label_, timeLeft_;
    bool active_ = false;
};
