#include "IniFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QRegularExpression>
#include <QStringDecoder>

#include <limits>
#include <utility>

namespace {

// A settings or edition file is a few kilobytes; anything beyond this is not ours to load.
constexpr qint64 MaxIniFileSize = 16 * 1024 * 1024;

QString nativePath(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

bool sameName(const QString& a, const QString& b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// A value or name must stay on its line.
QString oneLine(QString text)
{
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return text;
}

} // namespace

TIniFile::TIniFile(const QString& fileName)
    : fileName_(fileName)
{
    QFileInfo info(fileName_);
    if (!info.exists())
        return;
    QFile file(fileName_);
    if (info.isDir()) {
        readError_ = QStringLiteral("Cannot read %1: it is a folder").arg(nativePath(fileName_));
        return;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        readError_ = QStringLiteral("Cannot read %1: %2").arg(nativePath(fileName_), file.errorString());
        return;
    }
    if (file.size() > MaxIniFileSize) {
        readError_ = QStringLiteral("Cannot read %1: the file is too large").arg(nativePath(fileName_));
        return;
    }
    const QByteArray bytes = file.readAll();
    exists_ = true;

    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8.decode(bytes);
    if (utf8.hasError())
        text = QString::fromLatin1(bytes);  // an old file in an 8-bit code page
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    crlf_ = text.contains(QLatin1String("\r\n"));
    parse(text);
}

void TIniFile::parse(const QString& text)
{
    sections_.clear();
    sections_.push_back(Section{});  // lines before the first header
    sections_.back().preamble = true;

    const QStringList lines = text.split(QRegularExpression(QStringLiteral("\r\n|\n|\r")));
    for (qsizetype n = 0; n < lines.size(); ++n) {
        const QString& raw = lines[n];
        // The split leaves one empty piece after a final line break: not a line of the file.
        if (n == lines.size() - 1 && raw.isEmpty())
            break;
        const QString t = raw.trimmed();
        if (t.startsWith(QLatin1Char('['))) {
            qsizetype close = t.indexOf(QLatin1Char(']'));
            Section s;
            s.name = (close < 0 ? t.mid(1) : t.mid(1, close - 1)).trimmed();
            s.header = raw;
            sections_.push_back(std::move(s));
            continue;
        }
        Line line;
        line.text = raw;
        const qsizetype eq = t.indexOf(QLatin1Char('='));
        if (eq > 0 && !t.startsWith(QLatin1Char(';')) && !t.startsWith(QLatin1Char('#'))) {
            line.key = t.left(eq).trimmed();
            line.value = t.mid(eq + 1).trimmed();
        }
        sections_.back().lines.push_back(std::move(line));
    }
}

const TIniFile::Section* TIniFile::findSection(const QString& section) const
{
    for (const Section& s : sections_)
        if (!s.preamble && sameName(s.name, section))
            return &s;
    return nullptr;
}

TIniFile::Section* TIniFile::findSection(const QString& section)
{
    return const_cast<Section*>(std::as_const(*this).findSection(section));
}

bool TIniFile::SectionExists(const QString& section) const
{
    return findSection(section) != nullptr;
}

bool TIniFile::ValueExists(const QString& section, const QString& key) const
{
    const Section* s = findSection(section);
    if (!s)
        return false;
    for (const Line& l : s->lines)
        if (!l.key.isEmpty() && sameName(l.key, key))
            return true;
    return false;
}

QStringList TIniFile::ReadSections() const
{
    QStringList names;
    for (const Section& s : sections_)
        if (!s.preamble)
            names << s.name;
    return names;
}

QStringList TIniFile::ReadSection(const QString& section) const
{
    QStringList keys;
    if (const Section* s = findSection(section))
        for (const Line& l : s->lines)
            if (!l.key.isEmpty())
                keys << l.key;
    return keys;
}

QString TIniFile::ReadString(const QString& section, const QString& key, const QString& def) const
{
    const Section* s = findSection(section);
    if (!s)
        return def;
    for (const Line& l : s->lines)
        if (!l.key.isEmpty() && sameName(l.key, key))
            return l.value;
    return def;
}

bool TIniFile::ParseInteger(const QString& text, int& value)
{
    QString t = text.trimmed();
    bool negative = false;
    if (t.startsWith(QLatin1Char('-')) || t.startsWith(QLatin1Char('+'))) {
        negative = t.startsWith(QLatin1Char('-'));
        t.remove(0, 1);
    }
    int base = 10;
    if (t.startsWith(QLatin1Char('$'))) {
        base = 16;
        t.remove(0, 1);
    } else if (t.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
        base = 16;
        t.remove(0, 2);
    }
    // Digits only from here: no second sign, no blanks, no further prefix.
    if (t.isEmpty())
        return false;
    for (QChar c : t) {
        const bool ok = base == 16 ? (c.isDigit() || (c.toLower() >= u'a' && c.toLower() <= u'f'))
                                   : (c >= u'0' && c <= u'9');
        if (!ok || c.unicode() > 127)
            return false;
    }
    bool ok = false;
    const qulonglong magnitude = t.toULongLong(&ok, base);
    if (!ok)
        return false;
    qint64 v;
    if (base == 16) {
        // Hexadecimal covers the 32 bits: $FFFFFFFF is -1, as the profile functions read it.
        if (magnitude > 0xFFFFFFFFull)
            return false;
        v = qint32(quint32(magnitude));
    } else {
        if (magnitude > 0x80000000ull)
            return false;
        v = qint64(magnitude);
    }
    if (negative)
        v = -v;
    if (v < std::numeric_limits<qint32>::min() || v > std::numeric_limits<qint32>::max())
        return false;
    value = int(v);
    return true;
}

int TIniFile::ReadInteger(const QString& section, const QString& key, int def) const
{
    int value = def;
    if (!ParseInteger(ReadString(section, key, QString()), value))
        return def;
    return value;
}

bool TIniFile::ReadBool(const QString& section, const QString& key, bool def) const
{
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

void TIniFile::WriteString(const QString& section, const QString& key, const QString& value)
{
    const QString v = oneLine(value);
    Section* s = findSection(section);
    if (!s) {
        Section created;
        created.name = oneLine(section);
        created.header = QLatin1Char('[') + created.name + QLatin1Char(']');
        sections_.push_back(std::move(created));
        s = &sections_.back();
    }
    qsizetype lastKey = -1;
    for (qsizetype i = 0; i < qsizetype(s->lines.size()); ++i) {
        Line& l = s->lines[i];
        if (l.key.isEmpty())
            continue;
        if (sameName(l.key, key)) {
            if (l.value != v) {
                l.value = v;
                modified_ = true;
            }
            return;
        }
        lastKey = i;
    }
    // New key: right after the section's last key, ahead of trailing blanks and comments.
    Line line;
    line.key = oneLine(key).trimmed();
    line.value = v;
    s->lines.insert(s->lines.begin() + (lastKey + 1), std::move(line));
    modified_ = true;
}

void TIniFile::WriteInteger(const QString& section, const QString& key, int value)
{
    WriteString(section, key, QString::number(value));
}

void TIniFile::WriteBool(const QString& section, const QString& key, bool value)
{
    WriteString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

void TIniFile::EraseSection(const QString& section)
{
    for (auto it = sections_.begin(); it != sections_.end(); ++it)
        if (!it->preamble && sameName(it->name, section)) {
            sections_.erase(it);
            modified_ = true;
            return;
        }
}

void TIniFile::DeleteKey(const QString& section, const QString& key)
{
    Section* s = findSection(section);
    if (!s)
        return;
    for (auto it = s->lines.begin(); it != s->lines.end(); ++it)
        if (!it->key.isEmpty() && sameName(it->key, key)) {
            s->lines.erase(it);
            modified_ = true;
            return;
        }
}

QString TIniFile::serialize() const
{
    const QString eol = crlf_ ? QStringLiteral("\r\n") : QStringLiteral("\n");
    QString out;
    for (const Section& s : sections_) {
        if (!s.preamble)
            out += s.header + eol;
        for (const Line& l : s.lines)
            out += (l.key.isEmpty() ? l.text : l.key + QLatin1Char('=') + l.value) + eol;
    }
    return out;
}

bool TIniFile::UpdateFile(QString* error)
{
    auto fail = [&](const QString& why) {
        if (error)
            *error = QStringLiteral("Cannot write the file %1: %2").arg(nativePath(fileName_), why);
        return false;
    };
    if (QFileInfo(fileName_).isDir())
        return fail(QStringLiteral("a folder of that name exists"));

    // Temporary file beside the target, renamed over it on commit: a failure at any point
    // leaves the user's file as it was. No direct-write fallback for the same reason.
    QSaveFile file(fileName_);
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly))
        return fail(file.errorString());
    const QByteArray bytes = serialize().toUtf8();
    if (file.write(bytes) != bytes.size()) {
        const QString why = file.errorString();
        file.cancelWriting();
        return fail(why);
    }
    if (!file.commit())
        return fail(file.errorString());
    exists_ = true;
    modified_ = false;
    return true;
}
