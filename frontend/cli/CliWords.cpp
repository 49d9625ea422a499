#include "CliWords.h"

TCliWords::TCliWords(const QStringList& args, std::function<bool(const QString& name)> takesValue)
    : args_(args), takesValue_(std::move(takesValue))
{
}

bool TCliWords::Next(TCliWord& word, QString& error)
{
    error.clear();
    while (next_ < args_.size()) {
        const QString& arg = args_[next_++];
        word = TCliWord{};
        word.Written = arg;
        if (optionsEnded_ || !arg.startsWith(QLatin1Char('-')) || arg == QLatin1String("-")) {
            word.Name = arg;
            return true;
        }
        if (arg == QLatin1String("--")) {
            optionsEnded_ = true;
            continue;
        }
        word.IsOption = true;
        const qsizetype eq = arg.indexOf(QLatin1Char('='));
        const bool hasInline = arg.startsWith(QLatin1String("--")) && eq > 2;
        word.Name = hasInline ? arg.left(eq) : arg;
        const bool takesValue = takesValue_(word.Name);
        if (hasInline && !takesValue) {
            error = QStringLiteral("%1 takes no value").arg(word.Name);
            return false;
        }
        if (takesValue) {
            if (hasInline) {
                word.Value = arg.mid(eq + 1);
            } else if (next_ < args_.size()) {
                word.Value = args_[next_++];
            } else {
                error = QStringLiteral("%1 needs a value").arg(word.Name);
                return false;
            }
        }
        return true;
    }
    return false;
}
