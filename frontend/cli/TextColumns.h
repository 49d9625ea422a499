#pragma once
// How many terminal columns a text takes: wide East Asian characters and emoji take two,
// combining marks and format characters none. Measured by code point, never by UTF-16 unit,
// so a bar sized with it neither wraps nor leaves part of itself behind.
#include <QString>

int ColumnsOf(char32_t codePoint);
int ColumnsOf(const QString& text);

// The longest start or end of `text` that fits into `columns`; characters are never split.
QString LeftColumns(const QString& text, int columns);
QString RightColumns(const QString& text, int columns);

// Control characters (a newline or an escape in a file name) would move the cursor: each
// becomes a "?".
QString PrintableText(const QString& text);
