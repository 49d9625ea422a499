#include "TextColumns.h"

#include <QChar>
#include <QList>

#include <algorithm>
#include <iterator>
#include <vector>

namespace {

struct TRange {
    char32_t First, Last;
};

// East Asian Wide and Fullwidth blocks and the emoji that terminals draw two columns wide.
// Taking a whole block as wide where a few of its characters are narrow only costs a blank.
constexpr TRange WideRanges[] = {
    {0x1100, 0x115F},   {0x231A, 0x231B},   {0x2329, 0x232A},   {0x23E9, 0x23EC},   {0x23F0, 0x23F0},
    {0x23F3, 0x23F3},   {0x25FD, 0x25FE},   {0x2614, 0x2615},   {0x2648, 0x2653},   {0x267F, 0x267F},
    {0x2693, 0x2693},   {0x26A1, 0x26A1},   {0x26AA, 0x26AB},   {0x26BD, 0x26BE},   {0x26C4, 0x26C5},
    {0x26CE, 0x26CE},   {0x26D4, 0x26D4},   {0x26EA, 0x26EA},   {0x26F2, 0x26F3},   {0x26F5, 0x26F5},
    {0x26FA, 0x26FA},   {0x26FD, 0x26FD},   {0x2705, 0x2705},   {0x270A, 0x270B},   {0x2728, 0x2728},
    {0x274C, 0x274C},   {0x274E, 0x274E},   {0x2753, 0x2755},   {0x2757, 0x2757},   {0x2795, 0x2797},
    {0x27B0, 0x27B0},   {0x27BF, 0x27BF},   {0x2B1B, 0x2B1C},   {0x2B50, 0x2B50},   {0x2B55, 0x2B55},
    {0x2E80, 0x303E},   {0x3041, 0x33FF},   {0x3400, 0x4DBF},   {0x4E00, 0x9FFF},   {0xA000, 0xA4CF},
    {0xA960, 0xA97F},   {0xAC00, 0xD7A3},   {0xF900, 0xFAFF},   {0xFE10, 0xFE19},   {0xFE30, 0xFE6F},
    {0xFF00, 0xFF60},   {0xFFE0, 0xFFE6},   {0x16FE0, 0x16FE4}, {0x17000, 0x18CFF}, {0x1AFF0, 0x1B2FF},
    {0x1F004, 0x1F004}, {0x1F0CF, 0x1F0CF}, {0x1F18E, 0x1F18E}, {0x1F191, 0x1F19A}, {0x1F1E6, 0x1F1FF},
    {0x1F200, 0x1F265}, {0x1F300, 0x1F64F}, {0x1F680, 0x1F6FF}, {0x1F7E0, 0x1F7F0}, {0x1F90C, 0x1F9FF},
    {0x1FA70, 0x1FAFF}, {0x20000, 0x2FFFD}, {0x30000, 0x3FFFD},
};

bool IsWide(char32_t c)
{
    const auto it = std::upper_bound(std::begin(WideRanges), std::end(WideRanges), c,
                                     [](char32_t value, const TRange& r) { return value < r.First; });
    return it != std::begin(WideRanges) && c <= std::prev(it)->Last;
}

std::vector<char32_t> CodePoints(const QString& text)
{
    const QList<uint> ucs4 = text.toUcs4();
    return std::vector<char32_t>(ucs4.begin(), ucs4.end());
}

QString FromCodePoints(const char32_t* first, const char32_t* last)
{
    return QString::fromUcs4(first, qsizetype(last - first));
}

} // namespace

int ColumnsOf(char32_t c)
{
    if (c < 0x20 || (c >= 0x7F && c < 0xA0))
        return 0;
    if (c == 0x200B || (c >= 0x1160 && c <= 0x11FF)) // zero-width space, Hangul medial vowels
        return 0;
    switch (QChar::category(c)) {
    case QChar::Mark_NonSpacing:
    case QChar::Mark_Enclosing:
    case QChar::Other_Format:
        return 0;
    default:
        break;
    }
    return IsWide(c) ? 2 : 1;
}

int ColumnsOf(const QString& text)
{
    int columns = 0;
    for (char32_t c : CodePoints(text))
        columns += ColumnsOf(c);
    return columns;
}

QString LeftColumns(const QString& text, int columns)
{
    const std::vector<char32_t> points = CodePoints(text);
    size_t end = 0;
    int used = 0;
    while (end < points.size() && used + ColumnsOf(points[end]) <= columns)
        used += ColumnsOf(points[end++]);
    return FromCodePoints(points.data(), points.data() + end);
}

QString RightColumns(const QString& text, int columns)
{
    const std::vector<char32_t> points = CodePoints(text);
    size_t begin = points.size();
    int used = 0;
    while (begin > 0 && used + ColumnsOf(points[begin - 1]) <= columns)
        used += ColumnsOf(points[--begin]);
    // A mark left at the front would sit on the "..." before it.
    while (begin < points.size() && ColumnsOf(points[begin]) == 0)
        ++begin;
    return FromCodePoints(points.data() + begin, points.data() + points.size());
}

QString PrintableText(const QString& text)
{
    QString shown = text;
    for (QChar& c : shown)
        if (c.unicode() < 0x20 || (c.unicode() >= 0x7F && c.unicode() < 0xA0))
            c = QLatin1Char('?');
    return shown;
}
