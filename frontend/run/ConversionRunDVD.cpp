#include "ConversionRunDVD.h"

#include "DVDPlugIn.h"
#include "DVDTitleReader.h"
#include "FFmpegRecords.h"

#include <QDir>
#include <QFileInfo>

bool PrepareDVDInput(const TInputRow& row, QString* error)
{
    if (row.DVD.StreamKind != DVDStreamMPEG2PS) {
        *error = QStringLiteral("unknown DVD stream kind %1").arg(row.DVD.StreamKind);
        return false;
    }
    if (!RequireDVDPlugIn(error))
        return false;
    RegisterDVDInputScheme();
    return true;
}

QString DVDOutputSourceName(const TDVDSelection& dvd)
{
    QString folder = QDir::cleanPath(dvd.Root);
    QString label = QFileInfo(folder).fileName();
    if (label.compare(QStringLiteral("VIDEO_TS"), Qt::CaseInsensitive) == 0)
        label = QFileInfo(QFileInfo(folder).path()).fileName();
    if (label.isEmpty())
        label = QStringLiteral("DVD");
    return label + QStringLiteral("_Title") + QString::number(dvd.TitleIndex + 1) + QStringLiteral(".vob");
}

QString DVDRowName(const TDVDSelection& dvd)
{
    return QStringLiteral("Title %1, chapters %2-%3")
        .arg(dvd.TitleIndex + 1)
        .arg(dvd.FirstChapter + 1)
        .arg(dvd.LastChapter + 1);
}

bool ContainerTakesDVDSubtitles(const TOutputOptions& output)
{
    static const QStringList formats{"mpeg", "vob", "dvd", "svcd", "matroska", "mkv"};
    static const QStringList extensions{"mpg", "mpeg", "vob", "mkv"};
    if (!output.ForceFormat.isEmpty())
        return formats.contains(output.ForceFormat.toLower());
    return extensions.contains(QFileInfo(output.FileName).suffix().toLower());
}

namespace {

void AddExtOption(TOutputOptions& output, const QString& line)
{
    if (output.ExtOptions.contains(line))
        return;
    if (!output.ExtOptions.isEmpty())
        output.ExtOptions += QStringLiteral("<CRLF>");
    output.ExtOptions += line;
}

} // namespace

void ApplyDVDOutputOptions(const TDVDSelection& dvd, TOutputOptions& output, bool join,
                           const std::function<void(const QString&)>& log)
{
    if (dvd.Deinterlace != 0)
        AddExtOption(output, QStringLiteral("deinterlace=1"));
    if (dvd.SubtitleID == 0)
        return; // the reader passes no subtitle on
    if (!join && ContainerTakesDVDSubtitles(output)) {
        output.SubtitleCodec = QStringLiteral("copy");
        output.DisableSubtitle = false;
        return;
    }
    output.DisableSubtitle = true;
    if (!join && !output.DisableVideo) {
        // The chosen subtitle was meant to be seen: where the format cannot carry it, it goes
        // into the picture.
        AddExtOption(output, QStringLiteral("burnsubtitles=1"));
        if (log)
            log(QStringLiteral("Subtitle %1 of DVD title %2 is burnt into the picture: the output format does not "
                               "take DVD subtitles.")
                    .arg(dvd.SubtitleText)
                    .arg(dvd.TitleIndex + 1));
        return;
    }
    if (log)
        log(QStringLiteral("Subtitle %1 of DVD title %2 left out: %3")
                .arg(dvd.SubtitleText)
                .arg(dvd.TitleIndex + 1)
                .arg(join ? QStringLiteral("a joined output takes no subtitles.")
                          : QStringLiteral("the output format has no picture.")));
}
