#include "CliCommands.h"

#include "CliDVD.h"
#include "CliProgress.h"
#include "ConversionRun.h"
#include "FFmpegEngine.h"
#include "FFmpegLoader.h"
#include "InputFacts.h"
#include "PresetCatalogue.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <exception>

namespace {

const QString AddedLine = QStringLiteral("File has been added to convert list.");
const QString FinishedStatus = QStringLiteral("Finish.");
const QString FailedStatus = QStringLiteral("Failed.");

void Print(std::FILE* out, const QString& text)
{
    std::fputs(text.toUtf8().constData(), out);
    std::fputc('\n', out);
}

// The probe raises when the libraries went missing; report that like any other failure.
bool ReadFacts(TFFmpegEngine& engine, const QString& fileName, TInputFacts& facts, QString& error)
{
    try {
        return ReadInputFacts(*engine.AVProbe(), fileName, facts, false, &error);
    } catch (const std::exception& e) {
        error = QString::fromUtf8(e.what());
        return false;
    }
}

// One input of the command line and what became of it.
struct TFileResult {
    QString Input;        // absolute path
    bool Readable = false;
    TInputRow Row;
    int RowIndex = -1;    // its row of the conversion list; -1 when no task was built for it
    bool Reported = false;
    bool Ok = false;
    QString Output;
    QString Reason;
};

QString Shown(const QString& path)
{
    return path.isEmpty() ? QStringLiteral("\"\"") : QDir::toNativeSeparators(path);
}

// The output of a failed or stopped task is incomplete; its name was free before the run, so
// the file is ours to remove and nobody mistakes it for a result.
void RemoveIncomplete(const QString& output)
{
    if (!output.isEmpty() && QFileInfo(output).isFile())
        QFile::remove(output);
}

// The probe and the engine begin their messages with the file's name; a line that already
// starts with the name need not say it twice.
QString WithoutName(const QString& reason, const QString& path)
{
    QString text = reason;
    for (const QString& name : {path, QDir::toNativeSeparators(path)}) {
        if (name.isEmpty())
            continue;
        const qsizetype at = text.indexOf(name + QStringLiteral(": "));
        if (at >= 0) {
            text.remove(at, name.size() + 2);
            break;
        }
    }
    return text;
}

void Report(TCliDisplay& display, TFileResult& result)
{
    result.Reported = true;
    if (!result.Ok)
        RemoveIncomplete(result.Output);
    display.Line(result.Ok ? QStringLiteral("OK      %1 -> %2").arg(Shown(result.Input), Shown(result.Output))
                           : QStringLiteral("FAILED  %1: %2").arg(Shown(result.Input),
                                                                 WithoutName(result.Reason, result.Input)));
}

// The run's error line of a task ("File (n): message"), without its prefix.
QString TaskError(const QStringList& errorLines, int task)
{
    const QString prefix = QStringLiteral("File (%1): ").arg(task);
    for (const QString& line : errorLines)
        if (line.startsWith(prefix))
            return line.mid(prefix.size());
    return {};
}

class TConvertCommand {
public:
    TConvertCommand(TFFmpegEngine& engine, const TCliArguments& arguments, TCliDisplay& display,
                    std::FILE* out, const std::atomic<bool>* stopRequested)
        : engine_(engine), args_(arguments), display_(display), out_(out), stopRequested_(stopRequested)
    {
    }

    int Execute();

private:
    bool ReadInputs();
    void Run(const TOutputChoice& choice);
    void MapRows();
    void RowChanged(int row);
    void Status(const TRunStatus& status);
    void Finish();
    int Conclude();

    TFFmpegEngine& engine_;
    const TCliArguments& args_;
    TCliDisplay& display_;
    std::FILE* out_;
    const std::atomic<bool>* stopRequested_;

    std::vector<TFileResult> results_;
    TConversionRun* run_ = nullptr;
    QStringList buildLog_;
    bool building_ = false, rowsMapped_ = false, stopping_ = false;
    bool joinOk_ = false;
    QString joinOutput_;
};

int TConvertCommand::Execute()
{
    const QString outputDir = QDir(args_.OutputDir.isEmpty() ? QDir::currentPath() : args_.OutputDir).absolutePath();
    const TOutputChoice choice{args_.FormatClass, args_.FormatIndex, args_.PresetIndex, outputDir};
    const TOutputFormat* format = choice.Format();
    const TPreset* preset = choice.Preset();
    if (!format || !preset) // the arguments were checked; this would be a catalogue change
        return 2;

    display_.Line(QStringLiteral("%1 %2 file(s) to %3, preset %4 \"%5\", into %6")
                      .arg(args_.Join ? QStringLiteral("Joining") : QStringLiteral("Converting"))
                      .arg(args_.Files.size() + (args_.DVD.Root.isEmpty() ? 0 : 1))
                      .arg(QLatin1String(format->Name))
                      .arg(args_.PresetIndex)
                      .arg(QString::fromUtf8(preset->Text), Shown(outputDir)));

    const bool allReadable = ReadInputs();
    const bool anyReadable = std::any_of(results_.begin(), results_.end(),
                                         [](const TFileResult& r) { return r.Readable; });
    if (args_.Join && !allReadable) {
        // A join without one of its parts would look like a good result: make none.
        display_.Line(QStringLiteral("Nothing joined: every file must be readable to join them."));
        return 1;
    }
    if (!anyReadable) {
        display_.Line(QStringLiteral("No file could be read; nothing converted."));
        return 1;
    }
    Run(choice);
    return Conclude();
}

bool TConvertCommand::ReadInputs()
{
    bool all = true;
    if (!args_.DVD.Root.isEmpty()) {
        TFileResult result;
        QString error;
        result.Readable = ReadDVDInput(args_.DVD, result.Row, &error);
        result.Input = DVDInputLabel(args_.DVD);
        if (!result.Readable) {
            all = false;
            result.Reason = QStringLiteral("File load error: ") + error;
            Report(display_, result);
        }
        results_.push_back(std::move(result));
    }
    for (const QString& file : args_.Files) {
        TFileResult result;
        result.Input = file.isEmpty() ? file : QFileInfo(file).absoluteFilePath();
        TInputFacts facts;
        QString error;
        result.Readable = ReadFacts(engine_, result.Input, facts, error);
        if (result.Readable) {
            result.Row = facts.Row;
        } else {
            all = false;
            result.Reason = QStringLiteral("File load error: ") + error;
            Report(display_, result);
        }
        results_.push_back(std::move(result));
    }
    return all;
}

void TConvertCommand::Run(const TOutputChoice& choice)
{
    TConversionRun run(engine_);
    run_ = &run;
    QEventLoop loop;
    bool ended = false;

    run.OnLog = [this](const QString& line) {
        if (building_)
            buildLog_ << line;
        if (args_.Verbose)
            display_.Line(line);
    };
    run.OnRowsBuilt = [this] { MapRows(); };
    run.OnRowChanged = [this](int row) { RowChanged(row); };
    run.OnStatus = [this](const TRunStatus& status) { Status(status); };
    run.OnRunEnded = [&] {
        ended = true;
        loop.quit();
    };

    // An interrupt only sets a flag; the stop itself is asked for here, on the main thread.
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [this] {
        if (stopRequested_ && stopRequested_->load() && !stopping_) {
            stopping_ = true;
            display_.Line(QStringLiteral("Stopping..."));
            run_->Stop();
        }
    });
    poll.start(100);

    std::vector<TInputRow> inputs;
    for (const TFileResult& result : results_)
        if (result.Readable)
            inputs.push_back(result.Row);
    building_ = true;
    run.Start(inputs, choice, args_.Join, JobsForRun(args_.Jobs));
    building_ = false;
    MapRows();
    if (!ended)
        loop.exec();
    poll.stop();
    display_.Clear();
    Finish();
    run.OnLog = nullptr;
    run.OnRowsBuilt = nullptr;
    run.OnRowChanged = nullptr;
    run.OnStatus = nullptr;
    run.OnRunEnded = nullptr;
    run_ = nullptr;
}

// Rows are built in input order and skip the inputs that could not be added.
void TConvertCommand::MapRows()
{
    if (rowsMapped_ || (run_->Rows().empty() && building_))
        return;
    rowsMapped_ = true;
    const auto& rows = run_->Rows();
    std::size_t next = 0;
    for (TFileResult& result : results_) {
        if (!result.Readable || next >= rows.size())
            continue;
        const QString rowInput = rows[next].InputFile.isEmpty() ? result.Input : rows[next].InputFile;
        if (QFileInfo(rowInput).absoluteFilePath() == result.Input)
            result.RowIndex = int(next++);
    }
    // Names the run spelled its own way: with a row for every input the order still tells.
    const auto readable = std::count_if(results_.begin(), results_.end(), [](const TFileResult& r) {
        return r.Readable;
    });
    if (next == 0 && std::size_t(readable) == rows.size()) {
        for (TFileResult& result : results_)
            if (result.Readable)
                result.RowIndex = int(next++);
    }
}

void TConvertCommand::RowChanged(int row)
{
    MapRows();
    if (run_->JoinMode())
        return;
    const auto& rows = run_->Rows();
    if (row < 0 || row >= int(rows.size()))
        return;
    const QString& status = rows[row].Third;
    if (status != FinishedStatus && status != FailedStatus)
        return;
    for (TFileResult& result : results_) {
        if (result.RowIndex != row || result.Reported)
            continue;
        result.Ok = status == FinishedStatus;
        result.Output = rows[row].OutputFile;
        if (!result.Ok) {
            result.Reason = TaskError(run_->ErrorLines(), row);
            if (result.Reason.isEmpty())
                return; // the reason may still be on its way; reported at the end
        }
        Report(display_, result);
    }
}

void TConvertCommand::Status(const TRunStatus& status)
{
    // "..." is the status box between runs: nothing is being converted.
    if (status.CurrentFile == QLatin1String("...")) {
        display_.Clear();
        return;
    }
    QString label;
    if (!status.CurrentFile.isEmpty()) {
        const QString name = QFileInfo(status.CurrentFile).fileName();
        if (run_->JoinMode()) {
            label = QStringLiteral("joining into ") + name;
        } else {
            const int done = int(std::count_if(results_.begin(), results_.end(), [](const TFileResult& r) {
                return r.Reported && r.RowIndex >= 0;
            }));
            label = QStringLiteral("(%1/%2) %3").arg(std::min(done + 1, run_->TotalFiles()))
                        .arg(run_->TotalFiles()).arg(name);
            // The others converting beside the file that reported.
            if (status.Running > 1)
                label += QStringLiteral(" +%1").arg(status.Running - 1);
        }
    }
    // The bar shows the whole run, as the time left does.
    display_.Progress(status.OverallPercent, label, status.HasEstimate ? status.TimeLeft : QString());
}

// Everything not reported while the run went on: the join, stopped tasks, inputs without a task.
void TConvertCommand::Finish()
{
    MapRows();
    const auto& rows = run_->Rows();
    const QStringList errors = run_->ErrorLines();
    const QString fallback = stopping_ ? QStringLiteral("stopped") : QStringLiteral("conversion failed");

    // The run's reasons for inputs that got no task, in input order.
    QStringList buildErrors;
    for (const QString& line : buildLog_)
        if (line != AddedLine)
            buildErrors << line;

    if (run_->JoinMode()) {
        joinOk_ = run_->Successes() > 0 && !rows.empty();
        if (!rows.empty())
            joinOutput_ = rows.front().OutputFile.isEmpty() ? rows.front().Path : rows.front().OutputFile;
        QString joinError = errors.join(QStringLiteral("; "));
        if (joinError.isEmpty())
            joinError = buildErrors.join(QStringLiteral("; "));
        for (TFileResult& result : results_) {
            if (!result.Readable)
                continue;
            result.Ok = joinOk_ && result.RowIndex >= 0;
            result.Output = result.RowIndex >= 0 ? joinOutput_ : QString();
            if (result.RowIndex < 0)
                result.Reason = buildErrors.isEmpty() ? QStringLiteral("could not be added to the join")
                                                      : buildErrors.takeFirst();
            else if (!joinOk_)
                result.Reason = joinError.isEmpty() ? fallback : joinError;
            Report(display_, result);
        }
        return;
    }

    for (TFileResult& result : results_) {
        if (!result.Readable || result.Reported)
            continue;
        if (result.RowIndex < 0) {
            result.Reason = buildErrors.isEmpty() ? QStringLiteral("could not be added to the run")
                                                  : buildErrors.takeFirst();
        } else {
            const TConversionRow& row = rows[result.RowIndex];
            result.Ok = row.Third == FinishedStatus;
            result.Output = row.OutputFile;
            if (!result.Ok) {
                result.Reason = TaskError(errors, result.RowIndex);
                if (result.Reason.isEmpty())
                    result.Reason = fallback;
            }
        }
        Report(display_, result);
    }
}

int TConvertCommand::Conclude()
{
    const int total = int(results_.size());
    const int ok = int(std::count_if(results_.begin(), results_.end(), [](const TFileResult& r) { return r.Ok; }));
    if (args_.Join) {
        display_.Line(joinOk_ && ok == total ? QStringLiteral("Joined %1 file(s).").arg(total)
                                             : QStringLiteral("The join failed."));
        if (joinOk_)
            Print(out_, Shown(joinOutput_));
    } else {
        display_.Line(QStringLiteral("Converted %1 of %2 file(s).").arg(ok).arg(total));
        for (const TFileResult& result : results_)
            if (result.Ok)
                Print(out_, Shown(result.Output));
    }
    std::fflush(out_);
    return ok == total && (!args_.Join || joinOk_) ? 0 : 1;
}

} // namespace

int ShowVersion(const QString& loadError, std::FILE* out)
{
    Print(out, QStringLiteral("vornic-convert %1").arg(QStringLiteral(VORNIC_VERSION)));
    if (!loadError.isEmpty()) {
        Print(out, QStringLiteral("engine libraries: not loaded (%1)").arg(loadError));
        return 0;
    }
    // In the order the libraries depend on each other, as their own tools list them.
    for (TLibraryKind kind : {lkAVUtil, lkAVCodec, lkAVFormat, lkAVFilter, lkSwScale, lkSwResample}) {
        const unsigned v = TFFmpegLoader::RuntimeVersion(kind);
        const QString name = QStringLiteral("lib") + TFFmpegLoader::BaseName(kind);
        Print(out, v == 0 ? QStringLiteral("%1 not loaded").arg(name)
                          : QStringLiteral("%1 %2.%3.%4").arg(name).arg(v >> 16).arg((v >> 8) & 0xFF).arg(v & 0xFF));
    }
    return 0;
}

int ListPresets(std::FILE* out)
{
    for (const TOutputFormat& format : OutputFormats()) {
        const QStringList texts = PresetListTexts(format);
        for (int i = 0; i < texts.size(); ++i)
            Print(out, QStringLiteral("%1\t%2\t%3").arg(QLatin1String(format.Name)).arg(i).arg(texts[i]));
    }
    std::fflush(out);
    return 0;
}

int ShowInfo(TFFmpegEngine& engine, const QStringList& files, std::FILE* out, std::FILE* err)
{
    int status = 0;
    for (const QString& file : files) {
        TInputFacts facts;
        QString error;
        // The absolute path keeps a name like "http:..." or "pipe:..." a local file.
        const QString path = file.isEmpty() ? file : QFileInfo(file).absoluteFilePath();
        if (ReadFacts(engine, path, facts, error)) {
            Print(out, Shown(file));
            Print(out, QStringLiteral("  ") + facts.DurationLine);
            Print(out, QStringLiteral("  ") + facts.BitrateLine);
            Print(out, QStringLiteral("  ") + facts.DimensionLine);
        } else {
            // Shown as given, once, with the reason; the results on standard output stay clean.
            std::fflush(out);
            Print(err, QStringLiteral("vornic-convert: %1: File load error: %2")
                           .arg(Shown(file), WithoutName(WithoutName(error, path), file)));
            status = 1;
        }
    }
    std::fflush(out);
    return status;
}

int Convert(TFFmpegEngine& engine, const TCliArguments& arguments, TCliDisplay& display, std::FILE* out,
            const std::atomic<bool>* stopRequested)
{
    return TConvertCommand(engine, arguments, display, out, stopRequested).Execute();
}
