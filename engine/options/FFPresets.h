#pragma once
// Built-in option presets: named texts of "key=value" lines for the H.264 encoder, found by
// "vpre"/"apre"/"spre" before the name is taken for a file.
#include <QString>

#include <vector>

struct TOptionsPreset {
    QString Name;
    QString Text;
};

// The 36 "libx264-..." entries, in name order.
const std::vector<TOptionsPreset>& BuiltinPresets();

// Looks a name up ignoring case; nullptr when there is no such entry.
const TOptionsPreset* FindBuiltinPreset(const QString& name);
