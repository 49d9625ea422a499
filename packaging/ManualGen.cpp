// Writes the program's manual, one HTML page, from the README's user sections and the man
// pages (formatted as plain text by groff):
// vornic-manualgen <groff> <out.html> <README.md> <section;section;...> <title> <page.1>...
// The README's Markdown is the small subset it uses: headings, paragraphs, indented code,
// tables, lists and `code`.
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <QTextStream>

#include <cstdio>

namespace {

QString Inline(const QString& text)
{
    // Escape first, then the Markdown marks, which never hold markup characters themselves.
    QString html = text.toHtmlEscaped();
    static const QRegularExpression code(QStringLiteral("`([^`]+)`"));
    static const QRegularExpression bold(QStringLiteral("\\*\\*([^*]+)\\*\\*"));
    html.replace(code, QStringLiteral("<code>\\1</code>"));
    html.replace(bold, QStringLiteral("<strong>\\1</strong>"));
    return html;
}

QString Anchor(const QString& heading)
{
    QString id = heading.toLower();
    id.replace(QRegularExpression(QStringLiteral("[^a-z0-9]+")), QStringLiteral("-"));
    return id;
}

// One README section (its lines after the heading) as HTML.
QString SectionHtml(const QStringList& lines)
{
    QString html;
    QStringList paragraph, code;
    bool inTable = false, inList = false;
    auto flushParagraph = [&] {
        if (!paragraph.isEmpty())
            html += QStringLiteral("<p>%1</p>\n").arg(Inline(paragraph.join(QLatin1Char(' '))));
        paragraph.clear();
    };
    auto flushCode = [&] {
        while (!code.isEmpty() && code.last().trimmed().isEmpty())
            code.removeLast();
        if (!code.isEmpty())
            html += QStringLiteral("<pre>%1</pre>\n").arg(code.join(QLatin1Char('\n')).toHtmlEscaped());
        code.clear();
    };
    auto closeBlocks = [&] {
        if (inTable)
            html += QStringLiteral("</table>\n");
        if (inList)
            html += QStringLiteral("</ul>\n");
        inTable = inList = false;
    };
    for (const QString& line : lines) {
        if (line.startsWith(QStringLiteral("    ")) && paragraph.isEmpty() && !inList) {
            closeBlocks();
            code << line.mid(4);
            continue;
        }
        if (!code.isEmpty() && line.trimmed().isEmpty()) {
            code << QString();
            continue;
        }
        flushCode();
        const QString trimmed = line.trimmed();
        if (trimmed.startsWith(QLatin1Char('|'))) {
            flushParagraph();
            if (trimmed.contains(QRegularExpression(QStringLiteral("^\\|[-| :]+\\|$"))))
                continue;   // the rule under the header row
            QStringList cells = trimmed.mid(1, trimmed.size() - 2).split(QLatin1Char('|'));
            const bool header = !inTable;
            if (!inTable)
                html += QStringLiteral("<table>\n");
            inTable = true;
            html += QStringLiteral("<tr>");
            for (const QString& cell : cells)
                html += (header ? QStringLiteral("<th>%1</th>") : QStringLiteral("<td>%1</td>")).arg(Inline(cell.trimmed()));
            html += QStringLiteral("</tr>\n");
        } else if (trimmed.startsWith(QStringLiteral("- "))) {
            flushParagraph();
            if (!inList)
                html += QStringLiteral("<ul>\n");
            inList = true;
            html += QStringLiteral("<li>%1</li>\n").arg(Inline(trimmed.mid(2)));
        } else if (trimmed.isEmpty()) {
            flushParagraph();
            closeBlocks();
        } else if (inList) {
            html.insert(html.lastIndexOf(QStringLiteral("</li>")), QLatin1Char(' ') + Inline(trimmed));
        } else {
            closeBlocks();
            paragraph << trimmed;
        }
    }
    flushCode();
    flushParagraph();
    closeBlocks();
    return html;
}

// The man page as a terminal shows it, without bold, underline or colour.
bool FormatManPage(const QString& groff, const QString& page, QString& text)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("GROFF_NO_SGR"), QStringLiteral("1"));
    process.setProcessEnvironment(env);
    process.start(groff, {QStringLiteral("-man"), QStringLiteral("-Tutf8"), QStringLiteral("-P-bcou"),
                          QStringLiteral("-rLL=88n"), QStringLiteral("-rcR=1"), page});
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        std::fprintf(stderr, "vornic-manualgen: %s could not format %s\n", qPrintable(groff), qPrintable(page));
        return false;
    }
    text = QString::fromUtf8(process.readAllStandardOutput());
    return true;
}

bool ReadText(const QString& path, QString& text)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        std::fprintf(stderr, "vornic-manualgen: cannot read %s\n", qPrintable(path));
        return false;
    }
    text = QString::fromUtf8(file.readAll());
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 6) {
        std::fprintf(stderr, "usage: %s <groff> <out.html> <README.md> <sections> <title> <page.1>...\n", argv[0]);
        return 2;
    }
    const QString groff = QString::fromLocal8Bit(argv[1]);
    const QString output = QString::fromLocal8Bit(argv[2]);
    const QStringList wanted = QString::fromLocal8Bit(argv[4]).split(QLatin1Char(';'), Qt::SkipEmptyParts);
    const QString title = QString::fromLocal8Bit(argv[5]);
    QString readme;
    if (!ReadText(QString::fromLocal8Bit(argv[3]), readme))
        return 1;

    // The README's "## " sections by heading; the text before the first is the introduction.
    QStringList intro;
    QMap<QString, QStringList> sections;
    QString current;
    for (const QString& line : readme.split(QLatin1Char('\n'))) {
        if (line.startsWith(QStringLiteral("## "))) {
            current = line.mid(3).trimmed();
            continue;
        }
        if (line.startsWith(QStringLiteral("# ")))
            continue;
        (current.isEmpty() ? intro : sections[current]) << line;
    }

    QString toc, body;
    body += SectionHtml(intro);
    for (const QString& heading : wanted) {
        if (!sections.contains(heading)) {
            std::fprintf(stderr, "vornic-manualgen: the README has no section \"%s\"\n", qPrintable(heading));
            return 1;
        }
        toc += QStringLiteral("<li><a href=\"#%1\">%2</a></li>\n").arg(Anchor(heading), heading.toHtmlEscaped());
        body += QStringLiteral("<h2 id=\"%1\">%2</h2>\n").arg(Anchor(heading), heading.toHtmlEscaped());
        body += SectionHtml(sections.value(heading));
    }
    for (int i = 6; i < argc; ++i) {
        const QString path = QString::fromLocal8Bit(argv[i]);
        QString page;
        if (!FormatManPage(groff, path, page))
            return 1;
        const QString name = QFileInfo(path).completeBaseName();
        const QString heading = QStringLiteral("Manual page: %1").arg(name);
        toc += QStringLiteral("<li><a href=\"#%1\">%2</a></li>\n").arg(Anchor(heading), heading.toHtmlEscaped());
        body += QStringLiteral("<h2 id=\"%1\">%2</h2>\n<pre class=\"man\">%3</pre>\n")
                    .arg(Anchor(heading), heading.toHtmlEscaped(), page.trimmed().toHtmlEscaped());
    }

    QFile out(output);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
        std::fprintf(stderr, "vornic-manualgen: cannot write %s\n", qPrintable(output));
        return 1;
    }
    QTextStream html(&out);
    html << "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
         << "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
         << "<title>" << title.toHtmlEscaped() << " manual</title>\n"
         << "<style>\n"
            "body { font-family: sans-serif; max-width: 56em; margin: 2em auto; padding: 0 1em;"
            " line-height: 1.45; color: #1d2329; }\n"
            "h1 { border-bottom: 2px solid #2f6fb0; padding-bottom: .3em; }\n"
            "h2 { margin-top: 2em; color: #2f6fb0; }\n"
            "pre { background: #f3f5f7; padding: .8em; overflow-x: auto; }\n"
            "code { background: #f3f5f7; padding: 0 .2em; }\n"
            "table { border-collapse: collapse; margin: 1em 0; }\n"
            "th, td { border: 1px solid #c8cfd6; padding: .3em .6em; text-align: left; vertical-align: top; }\n"
            "nav ul { columns: 2; }\n"
            "</style>\n</head>\n<body>\n"
         << "<h1>" << title.toHtmlEscaped() << " manual</h1>\n"
         << "<nav><ul>\n" << toc << "</ul></nav>\n" << body << "</body>\n</html>\n";
    html.flush();
    return out.error() == QFile::NoError ? 0 : 1;
}
