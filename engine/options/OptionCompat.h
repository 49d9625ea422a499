#pragma once
// Option names and values of the older library generation (the ones the built-in presets, the
// catalogue's option texts and the target presets are written in) mapped onto today's names.
// Pure text work: the caller says which names its option contexts know and what they hold now.
#include <QList>
#include <QString>

#include <functional>

struct TCompatOption {
    QString Name;
    QString Value;
};

// One replacement: the first candidate whose name the contexts know is set; when none is known
// (the codec in use has no such setting) the replacement is skipped.
using TCompatAlternatives = QList<TCompatOption>;

struct TCompatLookup {
    // True when some option context knows the name today.
    std::function<bool(const QString& name)> Known;
    // Current value of a known option as text (empty when unknown or unset).
    std::function<QString(const QString& name)> Current;
};

enum class TCompatResult {
    crNotLegacy, // not an old form: hand the option to the libraries as it is
    crTranslated, // Replacements holds what to set instead (may be empty: nothing to set)
    crRefused,    // an old option with a value the old library refused as well
};

// Looks the option up in the translation table.
TCompatResult TranslateLegacyOption(const QString& name, const QString& value,
                                    const TCompatLookup& lookup,
                                    QList<TCompatAlternatives>& replacements);
