#pragma once
// A DVD title as an input of the engine: the chosen chapters' VOB blocks, read through the
// plug-in as one MPEG-2 program stream, with only the chosen audio and subtitle streams left.
// Inputs named by DVDInputName open through it once RegisterDVDInputScheme has run.
#include "DVDSelection.h"
#include "InputSource.h"

#include <QString>

// "dvd:/path/of/root/?title=0&first=1&last=2&audio=192&subtitle=32" (numbers from 0).
QString DVDInputName(const TDVDSelection& selection);
// Reads a name made by DVDInputName back; false for any other text.
bool ParseDVDInputName(const QString& name, TDVDSelection& selection);

// Lets the engine open "dvd:" names (once per process; the plug-in must be loaded by then).
void RegisterDVDInputScheme();

// Opens the selection's title; null with *error (an encrypted disc, a missing title, a plug-in
// without the reading exports).
std::unique_ptr<TInputSource> OpenDVDTitleSource(const TDVDSelection& selection, QString* error);

inline const QString DVDEncryptedText =
    QStringLiteral("The DVD is encrypted. Reading it needs a decryption library (libdvdcss), which is not installed.");
