#pragma once
// Turning pasted text into candidate links.
#include <QStringList>

// CR and LF both end a line and empty lines are skipped; blanks are kept; a line end inside a
// pair of matching single or double quotes does not split, and the quotes stay in the line.
QStringList SplitPastedLines(const QString& text);

// Why a link is not taken into a list already holding `accepted`: not a link of the video
// service, or already there (compared exactly); empty when it is taken.
QString LinkRefusal(const QString& link, const QStringList& accepted);
