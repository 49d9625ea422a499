#pragma once
// Hidden temporary files of downloads that never ended (a crash, a kill) are swept from the
// download folder when a run starts there.
#include <QDateTime>
#include <QString>

// Age from which a temporary file counts as abandoned: a live transfer writes to its file far
// more often, and a silent one ends on its receive time-out long before.
inline constexpr qint64 StalePartialAgeSeconds = 24 * 60 * 60;

// Removes the regular files named ".vornic-*.part" in folder (not below it) last written more
// than a day before now; nothing else, never a younger one. Returns how many went.
int RemoveStalePartials(const QString& folder, const QDateTime& now = QDateTime::currentDateTimeUtc());
