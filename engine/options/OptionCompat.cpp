#include "OptionCompat.h"

#include <QSet>
#include <QStringList>

#include <algorithm>
#include <iterator>

namespace {

// A member of an old flag set and today's boolean (or flag) option that carries it.
struct TLegacyFlag {
    const char* Member;
    const char* Option;   // today's option name; nullptr: no equivalent anywhere
    const char* OnValue;  // value when the member was added
    const char* OffValue; // value when it was removed
};

// Members of "flags" that became private options of single encoders.
const TLegacyFlag LegacyFlags[] = {
    {"scan_offset", "scan_offset", "1", "0"},
    {"mv0", "mpv_flags", "+mv0", "-mv0"},
    {"qprd", "mpv_flags", "+qp_rd", "-qp_rd"},
    {"cbp", "mpv_flags", "+cbp_rd", "-cbp_rd"},
    {"naq", "mpv_flags", "+naq", "-naq"},
    {"alt", "alternate_scan", "1", "0"},
    {"umv", "umv", "1", "0"},
    {"aiv", "aiv", "1", "0"},
    {"slice", "structured_slices", "1", "0"},
    {"obmc", "obmc", "1", "0"},
    {"gmc", "gmc", "1", "0"},
    {"part", "data_partitioning", "1", "0"},
    {"trell", "trellis", "1", "0"},
    {"extern_huff", nullptr, nullptr, nullptr},
};

// Members of "flags2": mostly switches of the H.264 encoder today.
const TLegacyFlag LegacyFlags2[] = {
    {"mixed_refs", "mixed-refs", "1", "0"},
    {"wpred", "weightb", "1", "0"},
    {"dct8x8", "8x8dct", "1", "0"},
    {"fastpskip", "fast-pskip", "1", "0"},
    {"bpyramid", "b-pyramid", "normal", "none"},
    {"mbtree", "mbtree", "1", "0"},
    {"aud", "aud", "1", "0"},
    {"psy", "psy", "1", "0"},
    {"ssim", "ssim", "1", "0"},
    {"intra_refresh", "intra-refresh", "1", "0"},
    {"ivlc", "intra_vlc", "1", "0"},
    {"non_linear_q", "non_linear_quant", "1", "0"},
    {"drop_frame_timecode", "drop_frame_timecode", "1", "0"},
    {"sgop", nullptr, nullptr, nullptr},
    {"brdo", nullptr, nullptr, nullptr},
    {"skiprd", nullptr, nullptr, nullptr},
    {"bschunks", nullptr, nullptr, nullptr},
    {"reservoir", nullptr, nullptr, nullptr},
};

// Plain renames. The old library had these in its shared codec table, so any codec accepted
// them; today they live with the encoders that use them, under these names.
struct TRename {
    const char* Old;
    const char* New;
};
const TRename Renames[] = {
    {"directpred", "direct-pred"},
    {"cqp", "qp"},
    {"rc_lookahead", "rc-lookahead"},
    {"aq_mode", "aq-mode"},
    {"aq_strength", "aq-strength"},
    {"complexityblur", "cplxblur"},
    {"nr", "noise_reduction"},
    {"qns", "quantizer_noise_shaping"},
    {"rc_qsquish", "qsquish"},
    {"prediction_method", "pred"},
    {"mpeg_quant", "mpeg_quant"},
    {"coder", "coder"},
    {"b_strategy", "b_strategy"},
    {"sc_threshold", "sc_threshold"},
    {"chromaoffset", "chromaoffset"},
    {"lmin", "lmin"},
    {"lmax", "lmax"},
    {"b_sensitivity", "b_sensitivity"},
    {"brd_scale", "brd_scale"},
    {"ibias", "ibias"},
    {"pbias", "pbias"},
    {"rc_init_cplx", "rc_init_cplx"},
    {"rc_qmod_amp", "rc_qmod_amp"},
    {"rc_qmod_freq", "rc_qmod_freq"},
    {"skip_threshold", "skip_threshold"},
    {"skip_factor", "skip_factor"},
    {"skip_exp", "skip_exp"},
    {"border_mask", "border_mask"},
    {"mv0_threshold", "mv0_threshold"},
    {"wpredp", "wpredp"},
    {"crf", "crf"},
    {"crf_max", "crf_max"},
};

// Old names without any equivalent: accepted and dropped, as the old library accepted them for
// codecs that did not use them.
const char* const Dropped[] = {
    "rc_buf_aggressivity", "context", "inter_threshold", "scplx_mask", "antialias",
};

struct TFlagToken {
    QChar Sign; // '+', '-' or '=' (a bare first member replaces the whole set)
    QString Name;
};

QList<TFlagToken> SplitFlagValue(const QString& value)
{
    QList<TFlagToken> tokens;
    QChar sign('=');
    QString name;
    auto flush = [&] {
        if (!name.isEmpty()) tokens.append({sign, name});
        name.clear();
    };
    for (QChar c : value) {
        if (c == '+' || c == '-') {
            flush();
            sign = c;
        } else {
            name.append(c);
        }
    }
    flush();
    // Later bare members add to the first one.
    for (int i = 1; i < tokens.size(); ++i)
        if (tokens[i].Sign == '=') tokens[i].Sign = '+';
    return tokens;
}

bool IsInteger(const QString& text, int minimum, int maximum, int* out = nullptr)
{
    bool ok = false;
    const int v = text.trimmed().toInt(&ok);
    if (!ok || v < minimum || v > maximum) return false;
    if (out) *out = v;
    return true;
}

TCompatResult TranslateFlagSet(const QString& name, const QString& value,
                               const TLegacyFlag* table, size_t count,
                               QList<TCompatAlternatives>& out)
{
    const QList<TFlagToken> tokens = SplitFlagValue(value);
    QString remainder;
    QList<TCompatAlternatives> moved;
    for (const TFlagToken& t : tokens) {
        const TLegacyFlag* hit = nullptr;
        for (size_t i = 0; i < count; ++i)
            if (t.Name == QLatin1String(table[i].Member)) hit = &table[i];
        if (!hit) {
            remainder += (t.Sign == '=' ? QString() : QString(t.Sign)) + t.Name;
            continue;
        }
        if (!hit->Option) {
            moved.append(TCompatAlternatives{});
            continue;
        }
        const bool on = t.Sign != '-';
        moved.append({{QString::fromLatin1(hit->Option),
                       QString::fromLatin1(on ? hit->OnValue : hit->OffValue)}});
    }
    if (moved.isEmpty()) return TCompatResult::crNotLegacy;
    if (!remainder.isEmpty()) out.append({{name, remainder}});
    out.append(moved);
    return TCompatResult::crTranslated;
}

// "+parti8x8+partp8x8" on top of today's comma list "p8x8,i4x4".
TCompatResult TranslatePartitions(const QString& value, const TCompatLookup& lookup,
                                  QList<TCompatAlternatives>& out)
{
    static const struct {
        const char* Old;
        const char* New;
    } names[] = {{"parti4x4", "i4x4"}, {"parti8x8", "i8x8"}, {"partp4x4", "p4x4"},
                 {"partp8x8", "p8x8"}, {"partb8x8", "b8x8"}};
    const QList<TFlagToken> tokens = SplitFlagValue(value);
    if (tokens.isEmpty()) return TCompatResult::crNotLegacy;
    for (const TFlagToken& t : tokens)
        if (!t.Name.startsWith(QLatin1String("part"))) return TCompatResult::crNotLegacy;

    QStringList order;
    for (const auto& n : names) order << QString::fromLatin1(n.New);
    QSet<QString> set;
    if (tokens.first().Sign != '=' && lookup.Current) {
        const QString current = lookup.Current(QStringLiteral("partitions"));
        for (const QString& p : current.split(',', Qt::SkipEmptyParts))
            if (order.contains(p.trimmed())) set.insert(p.trimmed());
    }
    for (const TFlagToken& t : tokens) {
        const char* mapped = nullptr;
        for (const auto& n : names)
            if (t.Name == QLatin1String(n.Old)) mapped = n.New;
        if (!mapped) return TCompatResult::crRefused;
        if (t.Sign == '-')
            set.remove(QString::fromLatin1(mapped));
        else
            set.insert(QString::fromLatin1(mapped));
    }
    QStringList list;
    for (const QString& p : order)
        if (set.contains(p)) list << p;
    out.append({{QStringLiteral("partitions"),
                 list.isEmpty() ? QStringLiteral("none") : list.join(',')}});
    return TCompatResult::crTranslated;
}

TCompatResult TranslateMeMethod(const QString& value, QList<TCompatAlternatives>& out)
{
    // Old name or old number -> H.264 encoder method, MPEG family method.
    static const struct {
        const char* Name;
        int Number;
        const char* X264;
        const char* Mpeg;
    } methods[] = {
        {"zero", 1, "dia", "zero"}, {"full", 2, "esa", "epzs"},  {"log", 3, "hex", "epzs"},
        {"phods", 4, "hex", "epzs"}, {"epzs", 5, "dia", "epzs"}, {"x1", 6, "hex", "xone"},
        {"hex", 7, "hex", "epzs"},  {"umh", 8, "umh", "epzs"},  {"iter", 9, "umh", "epzs"},
        {"tesa", 10, "tesa", "epzs"}, {"dia", 5, "dia", "epzs"}, {"esa", 2, "esa", "epzs"},
    };
    const QString v = value.trimmed().toLower();
    int number = 0;
    const bool numeric = IsInteger(v, 1, 10, &number);
    for (const auto& m : methods) {
        if (v == QLatin1String(m.Name) || (numeric && number == m.Number)) {
            out.append({{QStringLiteral("motion-est"), QString::fromLatin1(m.X264)},
                        {QStringLiteral("motion_est"), QString::fromLatin1(m.Mpeg)}});
            return TCompatResult::crTranslated;
        }
    }
    return TCompatResult::crRefused;
}

// deblockalpha / deblockbeta -> one "alpha:beta" option.
TCompatResult TranslateDeblock(bool alpha, const QString& value, const TCompatLookup& lookup,
                               QList<TCompatAlternatives>& out)
{
    int v = 0;
    if (!IsInteger(value, -6, 6, &v)) return TCompatResult::crRefused;
    QString a = QStringLiteral("0"), b = QStringLiteral("0");
    if (lookup.Known && lookup.Known(QStringLiteral("deblock")) && lookup.Current) {
        const QStringList parts = lookup.Current(QStringLiteral("deblock")).split(':');
        if (parts.size() == 2 && IsInteger(parts[0], -6, 6) && IsInteger(parts[1], -6, 6)) {
            a = parts[0].trimmed();
            b = parts[1].trimmed();
        }
    }
    (alpha ? a : b) = QString::number(v);
    out.append({{QStringLiteral("deblock"), a + ':' + b}});
    return TCompatResult::crTranslated;
}

// psy_rd / psy_trellis -> one "rd:trellis" option.
TCompatResult TranslatePsy(bool rd, const QString& value, const TCompatLookup& lookup,
                           QList<TCompatAlternatives>& out)
{
    bool ok = false;
    value.trimmed().toDouble(&ok);
    if (!ok) return TCompatResult::crRefused;
    QString r = QStringLiteral("1.0"), t = QStringLiteral("0.0");
    if (lookup.Known && lookup.Known(QStringLiteral("psy-rd")) && lookup.Current) {
        const QStringList parts = lookup.Current(QStringLiteral("psy-rd")).split(':');
        if (parts.size() == 2) {
            r = parts[0].trimmed();
            t = parts[1].trimmed();
        }
    }
    (rd ? r : t) = value.trimmed();
    out.append({{QStringLiteral("psy-rd"), r + ':' + t}});
    return TCompatResult::crTranslated;
}

QString Unquoted(const QString& value)
{
    const QString v = value.trimmed();
    if (v.size() >= 2 && ((v.startsWith('\'') && v.endsWith('\'')) ||
                          (v.startsWith('"') && v.endsWith('"'))))
        return v.mid(1, v.size() - 2);
    return v;
}

} // namespace

TCompatResult TranslateLegacyOption(const QString& name, const QString& value,
                                    const TCompatLookup& lookup,
                                    QList<TCompatAlternatives>& replacements)
{
    replacements.clear();
    if (name == QLatin1String("flags"))
        return TranslateFlagSet(name, value, LegacyFlags, std::size(LegacyFlags), replacements);
    if (name == QLatin1String("flags2"))
        return TranslateFlagSet(name, value, LegacyFlags2, std::size(LegacyFlags2), replacements);
    if (name == QLatin1String("partitions")) return TranslatePartitions(value, lookup, replacements);
    if (name == QLatin1String("me_method")) return TranslateMeMethod(value, replacements);
    if (name == QLatin1String("deblockalpha")) return TranslateDeblock(true, value, lookup, replacements);
    if (name == QLatin1String("deblockbeta")) return TranslateDeblock(false, value, lookup, replacements);
    if (name == QLatin1String("psy_rd")) return TranslatePsy(true, value, lookup, replacements);
    if (name == QLatin1String("psy_trellis")) return TranslatePsy(false, value, lookup, replacements);
    if (name == QLatin1String("rc_eq")) {
        replacements.append({{name, Unquoted(value)}});
        return TCompatResult::crTranslated;
    }
    for (const TRename& r : Renames) {
        if (name == QLatin1String(r.Old)) {
            replacements.append({{QString::fromLatin1(r.New), value}});
            return TCompatResult::crTranslated;
        }
    }
    for (const char* d : Dropped) {
        if (name == QLatin1String(d)) {
            replacements.append(TCompatAlternatives{});
            return TCompatResult::crTranslated;
        }
    }
    return TCompatResult::crNotLegacy;
}
