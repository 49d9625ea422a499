#include "CliProgress.h"

#include "TextColumns.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>

TCliDisplay::TCliDisplay(bool terminal, std::FILE* stream) : terminal_(terminal), stream_(stream) {}

TCliDisplay::~TCliDisplay()
{
    Clear();
}

void TCliDisplay::Progress(int percent, const QString& label, const QString& timeLeft)
{
    percent_ = std::clamp(percent, 0, 100);
    label_ = label;
    timeLeft_ = timeLeft;
    active_ = true;
    Draw();
}

void TCliDisplay::Line(const QString& text)
{
    const bool redraw = active_;
    Clear();
    active_ = redraw;
    std::fputs(text.toLocal8Bit().constData(), stream_);
    std::fputc('\n', stream_);
    if (redraw)
        Draw();
    std::fflush(stream_);
}

void TCliDisplay::Clear()
{
    active_ = false;
    if (!terminal_ || bar_.isEmpty())
        return;
    // Overwrite with blanks rather than an escape sequence: works on every terminal.
    std::fprintf(stream_, "\r%s\r", QString(ColumnsOf(bar_), QLatin1Char(' ')).toLocal8Bit().constData());
    std::fflush(stream_);
    bar_.clear();
}

void TCliDisplay::Draw()
{
    if (!terminal_ || !active_)
        return;
    const QString line = BarLine(percent_, label_, timeLeft_, TerminalColumns(stream_));
    if (line == bar_)
        return;
    // Pad to the old width so a shorter line leaves nothing of the longer one behind.
    QString padded = line;
    const int shortBy = ColumnsOf(bar_) - ColumnsOf(line);
    if (shortBy > 0)
        padded += QString(shortBy, QLatin1Char(' '));
    std::fprintf(stream_, "\r%s", padded.toLocal8Bit().constData());
    std::fflush(stream_);
    bar_ = padded;
}

QString TCliDisplay::BarLine(int percent, const QString& label, const QString& timeLeft, int columns)
{
    percent = std::clamp(percent, 0, 100);
    // One column less than the terminal: writing the last column wraps on some terminals.
    const int room = std::max(columns - 1, 20);
    const int barWidth = std::clamp(room / 3, 10, 30);
    const int filled = barWidth * percent / 100;
    QString line = QLatin1Char('[') + QString(filled, QLatin1Char('#'))
                   + QString(barWidth - filled, QLatin1Char('-')) + QLatin1Char(']')
                   + QString::asprintf(" %3d%%", percent);
    const QString tail = timeLeft.isEmpty() ? QString() : QStringLiteral("  time left ") + timeLeft;
    const int labelRoom = room - ColumnsOf(line) - ColumnsOf(tail) - 2;
    if (labelRoom >= 4 && !label.isEmpty()) {
        QString shown = PrintableText(label);
        if (ColumnsOf(shown) > labelRoom)
            shown = QStringLiteral("...") + RightColumns(shown, labelRoom - 3);
        line += QStringLiteral("  ") + shown;
    }
    if (ColumnsOf(line) + ColumnsOf(tail) <= room)
        line += tail;
    return LeftColumns(line, room);
}

int TCliDisplay::TerminalColumns(std::FILE* stream)
{
    winsize size{};
    if (ioctl(fileno(stream), TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    bool ok = false;
    const int columns = qEnvironmentVariableIntValue("COLUMNS", &ok);
    return ok && columns > 0 ? columns : 80;
}
