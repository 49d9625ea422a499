#pragma once
// Reading a video page: the link test, the title and the media ("get_video") address, and the
// name the saved file gets.
#include <QByteArray>
#include <QString>

// True when the lower-cased text contains "http" and the service's domain anywhere, or (for
// the real service) the domain of its short links followed by "/".
bool IsYouTubeURL(const QString& text);

// The page's bytes as 8-bit text, one character per byte, so the patterns see every byte.
QString PageText(const QByteArray& page);

// The title meta element's content with the five entities replaced; empty when there is none.
// A title that is valid UTF-8 is decoded as such, any other as 8-bit text.
QString GetYouTubeTitle(const QString& pageText);
// "http://" + host + "/get_video?" + the video_id and t pieces as found (either may be missing).
QString GetYouTubeRealURL(const QString& pageText);
// Whether the page carries the "video_id=" piece; a page without it is one of today's site and
// is resolved by the extractor.
bool HasVideoParameters(const QString& pageText);

// The row's name: the title with its first "&" doubled.
QString DownloadRowName(const QString& title);

// File name for a row name and extension, valid inside any folder: the nine reserved
// characters become "_", so do control characters; a leading dot of a non-empty name becomes
// "_", trailing dots and blanks of the name go; the name is cut at a character boundary so
// that name, a counter "(nnnnn)" and the extension fit 255 bytes. An empty name keeps the
// extension alone.
QString DownloadFileName(const QString& rowName, const QString& extension);
