#pragma once
// The exit status of a command-line program that writes results to standard output.
#include <QString>

// What was written to standard output must have arrived: "> /dev/full" or a closed pipe is a
// failed run, never a success. Answers `status`, or 1 in place of a success or a usage error,
// with "program: cannot write to standard output" on standard error.
int CheckedOutput(const QString& program, int status);
