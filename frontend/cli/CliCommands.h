#pragma once
// The three commands of vornic-convert. Each returns the process exit status: 0 when every
// file succeeded, 1 when any failed.
#include "CliArguments.h"

#include <atomic>
#include <cstdio>

class TCliDisplay;
class TFFmpegEngine;

// The program's version, then one line per engine library as the loader bound it, or one
// "not loaded" line with loadError when the libraries could not be loaded. Always 0.
int ShowVersion(const QString& loadError, std::FILE* out);

// Format name, tab, preset index, tab, list text: one line per preset of the catalogue.
int ListPresets(std::FILE* out);

// The facts the input list shows for each file on `out`; the probe's error for a file that
// cannot be read on `err`.
int ShowInfo(TFFmpegEngine& engine, const QStringList& files, std::FILE* out, std::FILE* err);

// Converts (or joins) the files as the wizard's run does. Finished files are reported on
// the display; the paths of the outputs made go to `out`. `stopRequested` is polled so an
// interrupt can stop the run; the stopped files count as failed.
int Convert(TFFmpegEngine& engine, const TCliArguments& arguments, TCliDisplay& display,
            std::FILE* out, const std::atomic<bool>* stopRequested);
