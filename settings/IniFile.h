#pragma once
// INI file reader/writer (the conventions of system.dat and lame.dll), QtCore only; used for the
// settings file system.dat and the edition file lame.dll.
//
// - sections in [brackets], lines key=value; section and key names compared without
//   regard to case; the first occurrence of a section or key wins; other lines
//   (comments, blank lines) are kept as they are when the file is written back;
// - values are returned raw (surrounding blanks trimmed, no unquoting);
// - integers: decimal, or hexadecimal with a "0x" or "$" prefix (optional sign before it);
//   missing, non-numeric or out-of-range values yield the caller's default;
// - booleans are integers: true when not 0; written as "1"/"0"; integers written in decimal;
// - a new key is appended at the end of its section, a new section at the end of the file,
//   so keys written in table order into a new file stay in table order;
// - text is UTF-8 (a file that is not valid UTF-8 is read as Latin-1);
// - UpdateFile writes to a temporary file in the same folder and renames it over the
//   original: the user's file is never half-written. Failure is reported, never thrown.
#include <QString>
#include <QStringList>
#include <vector>

class TIniFile {
public:
    // Reads the file; a missing or unreadable file behaves as a file with no keys.
    explicit TIniFile(const QString& fileName);

    const QString& FileName() const { return fileName_; }
    // True when the file existed (and was read) at construction or at the last UpdateFile.
    bool Exists() const { return exists_; }
    // Text of a problem met while reading (unreadable file); empty when none.
    const QString& ReadError() const { return readError_; }

    bool SectionExists(const QString& section) const;
    bool ValueExists(const QString& section, const QString& key) const;
    QStringList ReadSections() const;
    QStringList ReadSection(const QString& section) const;   // key names in file order

    QString ReadString(const QString& section, const QString& key, const QString& def) const;
    int ReadInteger(const QString& section, const QString& key, int def) const;
    bool ReadBool(const QString& section, const QString& key, bool def) const;

    // Writes change the memory image; UpdateFile stores it.
    void WriteString(const QString& section, const QString& key, const QString& value);
    void WriteInteger(const QString& section, const QString& key, int value);
    void WriteBool(const QString& section, const QString& key, bool value);
    void EraseSection(const QString& section);
    void DeleteKey(const QString& section, const QString& key);

    // Stores the memory image (creating the file). False + *error (a text naming the file)
    // on failure; the file on disk is then unchanged.
    bool UpdateFile(QString* error = nullptr);
    bool Modified() const { return modified_; }

    // The conventions' integer parser: decimal or "0x"/"$" hex, optional sign, blanks
    // around it allowed, 32-bit range (hex up to 0xFFFFFFFF, wrapping like the platform's
    // profile functions). False for anything else.
    static bool ParseInteger(const QString& text, int& value);

private:
    struct Line {
        QString text;      // raw line as read (for comments and blank lines)
        QString key;       // empty for a line that is not key=value
        QString value;
    };
    struct Section {
        QString name;      // as written in the file
        QString header;    // raw header line
        std::vector<Line> lines;
        bool preamble = false;  // the lines before the first header (not a section)
    };

    const Section* findSection(const QString& section) const;
    Section* findSection(const QString& section);
    void parse(const QString& text);
    QString serialize() const;

    QString fileName_;
    QString readError_;
    std::vector<Section> sections_;
    bool exists_ = false;
    bool modified_ = false;
    bool crlf_ = false;    // keep the line breaks the file had
};
