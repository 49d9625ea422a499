#pragma once
// The output folder of a command-line run. A folder that is missing or is a file is a mistake
// on the command line (the programs never create it, so a typo makes no new folder); one that
// exists but takes no file means the run cannot happen.
#include <QString>

// 0 when the folder can take the run's files. Otherwise the message goes to standard error as
// "program: message" and the answer is the exit status: 2 for a mistake on the command line
// (followed by `usage`), 1 for a folder that takes no file.
int CheckOutputFolder(const QString& program, const QString& folder, const QString& usage);
