#pragma once
// The wizard's command line: `vornic [FILE...]`, so a file manager's "Open with" and a
// terminal can hand it media files. QtCore only; the toolkit has taken its own options out.
#include <QString>
#include <QStringList>

enum TStartMode { smRun, smHelp, smVersion, smBadArguments };

struct TStartArguments {
    TStartMode Mode = smRun;
    QStringList Files; // absolute paths, in the order given
    QString Error;     // smBadArguments: one line, without the program name
};

// args: the arguments after the program name; relative names are taken from workingDir.
// "file:" addresses become local paths, other addresses are refused; "--" ends the options.
TStartArguments ParseStartArguments(const QStringList& args, const QString& workingDir);

// True when the raw command line asks only for --help or --version, which must be answered
// before a display is opened.
bool WantsTextOnly(int argc, char** argv);

QString StartHelpText();
