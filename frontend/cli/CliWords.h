#pragma once
// The words of a command line as both command-line programs read them: operands (a word not
// starting with "-", a lone "-", every word after "--") and options, with "--name=value" or
// "--name value" for the options that take a value.
#include <QString>
#include <QStringList>

#include <functional>

struct TCliWord {
    bool IsOption = false;
    QString Name;    // the operand itself, or the option's name without any "=value"
    QString Value;   // the option's value, for an option that takes one
    QString Written; // the word as given
};

class TCliWords {
public:
    TCliWords(const QStringList& args, std::function<bool(const QString& name)> takesValue);
    // The next word. False at the end (error left empty) or for an option given wrongly
    // (error says how).
    bool Next(TCliWord& word, QString& error);

private:
    const QStringList& args_;
    std::function<bool(const QString&)> takesValue_;
    int next_ = 0;
    bool optionsEnded_ = false;
};
