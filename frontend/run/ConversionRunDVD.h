#pragma once
// What the conversion run does differently for a DVD row: the plug-in and the "dvd:" input
// names must be ready, the output is named after the title, interlaced pictures are
// deinterlaced on request, and the chosen subtitle goes where the container takes it.
#include "InputFacts.h"

#include <QString>

#include <functional>

struct TOutputOptions;

// Loads the plug-in when needed and lets the engine open DVD titles; false with *error.
bool PrepareDVDInput(const TInputRow& row, QString* error);
// The name the output is made from: "<root folder>_Title<n>" with an extension to be replaced.
QString DVDOutputSourceName(const TDVDSelection& dvd);
// The row's Name text in the conversion list: "Title 1, chapters 2-3".
QString DVDRowName(const TDVDSelection& dvd);
// Deinterlacing and the subtitle stream: copied where the container takes DVD subtitles, else
// burnt into the picture. A joined output (its inputs' streams need not match) and one without
// video leave the subtitle out; a left-out or burnt subtitle is logged.
void ApplyDVDOutputOptions(const TDVDSelection& dvd, TOutputOptions& output, bool join,
                           const std::function<void(const QString&)>& log);
// Whether an output file of that container can hold DVD subtitles.
bool ContainerTakesDVDSubtitles(const TOutputOptions& output);
