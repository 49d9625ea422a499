#pragma once
// The DVD side of vornic-convert: the options of a DVD title, --dvd-info, and the input row of
// --dvd, made as the DVD dialog makes it.
#include "CliArguments.h"
#include "InputFacts.h"

#include <cstdio>

bool IsDVDOption(const QString& name);
bool IsDVDValueOption(const QString& name);
// Stores one DVD option's value; false with *error when it is not a valid value.
bool TakeDVDOption(const QString& name, const QString& value, TCliDVD& dvd, QString* error);
// The DVD options belong together: --title with --dvd, --dvd with --format.
bool CheckDVDArguments(bool converting, bool info, const TCliDVD& dvd, QString* error);

// The dialog's report for a root; 1 when it holds no title or the plug-in cannot be loaded.
int ShowDVDInfo(const QString& root, std::FILE* out);
// The chosen title as a row of the input list; false with *error when the root, title,
// chapters or streams do not exist.
bool ReadDVDInput(const TCliDVD& dvd, TInputRow& row, QString* error);
// "ROOT title N" for the converter's lines.
QString DVDInputLabel(const TCliDVD& dvd);
