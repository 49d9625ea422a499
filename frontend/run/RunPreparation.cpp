#include "RunPreparation.h"

#include "ConversionRunDVD.h"
#include "FFmpegEngine.h"
#include "FFmpegTask.h"
#include "UtilFuncs.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <exception>

namespace {

const QString WaitingText = QStringLiteral("Waiting...");
const QString NoDurationText = QStringLiteral("Duration is not preseted");

// Index just past the folder part of a path (0 when there is none).
qsizetype FolderEnd(const QString& path)
{
    const qsizetype slash = std::max(path.lastIndexOf(u'/'), path.lastIndexOf(u'\\'));
    return slash + 1;
}

QString WhatOf(const std::exception& e)
{
    return QString::fromUtf8(e.what());
}

} // namespace

TRunPreparation::TRunPreparation(TFFmpegEngine& engine, std::vector<TInputRow> inputs, QStringList dvdErrors,
                                 TOutputChoice choice, bool join)
    : engine_(engine), inputs_(std::move(inputs)), dvdErrors_(std::move(dvdErrors)), choice_(std::move(choice)),
      join_(join)
{
}

void TRunPreparation::Prepare()
{
    if (join_)
        PrepareJoin();
    else
        PrepareFiles();
}

void TRunPreparation::Log(const QString& line)
{
    if (OnLog)
        OnLog(line);
}

void TRunPreparation::Refuse(const QString& path, const QString& line)
{
    Log(line);
    reasons_ << path + QStringLiteral(": ") + line;
}

void TRunPreparation::AddRow(const TConversionRow& row)
{
    ++rows_;
    if (OnRow)
        OnRow(row);
    Log(QStringLiteral("File has been added to convert list."));
}

// Creating the output makes its file: one that was not there before is ours, also when the
// engine refuses it afterwards.
bool TRunPreparation::SetOutput(int task, const TOutputOptions& output, QString* reason)
{
    const bool existed = QFileInfo::exists(output.FileName);
    if (engine_.SetOutputFile(task, output.FileName, &output)) {
        outputs_.push_back({output.FileName, existed});
        return true;
    }
    *reason = engine_.LastError();
    if (!existed)
        RemoveRunOutputs({{output.FileName, false}}, [](int) { return false; });
    return false;
}

// Each input is opened once, by its task; the facts that name and shape the output come from
// the task's own view of it (a DVD title is not read a second time for them).
void TRunPreparation::PrepareFiles()
{
    QStringList takenInRun;
    for (size_t i = 0; i < inputs_.size() && !cancelled_; ++i) {
        const TInputRow& input = inputs_[i];
        if (i > 0 && OnBetweenInputs)
            OnBetweenInputs();
        const QString& path = input.FileName;
        int task = -1;
        try {
            if (input.IsDVD() && !dvdErrors_.value(qsizetype(i)).isEmpty()) {
                Refuse(path, QStringLiteral("File load error: ") + dvdErrors_[qsizetype(i)]);
                continue;
            }
            TInputOptions inputOptions;
            InitInputOptions(inputOptions);
            inputOptions.FileName = path;
            task = engine_.AddTask(path, &inputOptions);
            TFFmpeg* added = task >= 0 ? engine_.Task(task) : nullptr;
            TAVProbe* probe = added ? added->InputProbe(0) : nullptr;
            if (!probe || !probe->IsOpen()) {
                const QString error = engine_.LastError();
                if (task >= 0)
                    engine_.RemoveTask(task);
                Refuse(path, QStringLiteral("File load error: ") + error);
                continue;
            }
            TVideoStreamInfo video;
            TAudioStreamInfo audio;
            const int videoStream = FirstMovingVideoStream(*probe);
            const bool hasVideo = videoStream >= 0;
            const bool hasAudio = probe->FirstAudioStream() >= 0;
            if (hasVideo)
                probe->GetVideoStreamInfo(videoStream, video);
            if (hasAudio)
                probe->GetAudioStreamInfo(probe->FirstAudioStream(), audio);
            TFileStreamInfo fileInfo;
            probe->GetFileStreamInfo(fileInfo);

            TOutputOptions output;
            QString error;
            const TSourceFacts source = SourceFactsFromProbe(input.IsDVD() ? DVDOutputSourceName(input.DVD) : path,
                                                             hasVideo ? &video : nullptr, hasAudio ? &audio : nullptr);
            if (!BuildOutputOptions(choice_, source, takenInRun, output, &error)) {
                engine_.RemoveTask(task);
                Refuse(path, QStringLiteral("Cannot do convert, error: ") + error);
                continue;
            }
            if (input.IsDVD())
                ApplyDVDOutputOptions(input.DVD, output, false, [this](const QString& line) { Log(line); });
            QString reason;
            if (!SetOutput(task, output, &reason)) {
                engine_.RemoveTask(task);
                Refuse(path, QStringLiteral("Cannot do convert, error: ") + reason);
                continue;
            }
            TConversionRow row;
            const qsizetype folderEnd = FolderEnd(path);
            row.Name = path.mid(folderEnd);
            row.Path = path.left(folderEnd);
            row.DurationUs = fileInfo.Duration >= 0 ? fileInfo.Duration : -1;
            if (input.IsDVD()) {
                // The chapter range's length: the stream's time stamps may run past it.
                row.Name = DVDRowName(input.DVD);
                row.Path = input.DVD.Root;
                if (input.Duration > 0)
                    row.DurationUs = input.Duration;
            }
            row.Duration = row.DurationUs >= 0 ? FormatMicroseconds(row.DurationUs) : NoDurationText;
            row.Third = WaitingText;
            row.InputFile = path;
            row.OutputFile = output.FileName;
            const std::int64_t known = std::max<std::int64_t>(row.DurationUs, 0);
            total_ += known;
            durations_.push_back(known);
            AddRow(row);
        } catch (const std::exception& e) {
            // The libraries are missing, or the engine refused outright. A task without its
            // output is the last one: it goes.
            if (task >= 0 && task == engine_.TaskCount() - 1 && size_t(task) >= outputs_.size())
                engine_.RemoveTask(task);
            Refuse(path, QStringLiteral("File load error: ") + WhatOf(e));
        }
    }
}

void TRunPreparation::PrepareJoin()
{
    QStringList takenInRun;
    TOutputOptions output;
    bool outputBuilt = false;
    QString outputError;
    for (size_t i = 0; i < inputs_.size() && !cancelled_; ++i) {
        const TInputRow& input = inputs_[i];
        if (i > 0 && OnBetweenInputs)
            OnBetweenInputs();
        const QString& path = input.FileName;
        if (input.IsDVD() && !dvdErrors_.value(qsizetype(i)).isEmpty()) {
            Refuse(path, QStringLiteral("Adding file error: ") + dvdErrors_[qsizetype(i)]);
            continue;
        }
        TInputOptions options;
        InitInputOptions(options);
        bool added = false;
        try {
            added = engine_.TaskCount() > 0 ? engine_.AddInputFile(0, path, &options)
                                            : engine_.AddTask(path, &options) >= 0;
        } catch (const std::exception& e) {
            Refuse(path, QStringLiteral("Adding file error: ") + WhatOf(e));
            continue;
        }
        if (!added) {
            Refuse(path, QStringLiteral("Adding file error: ") + engine_.LastError());
            continue;
        }
        TConversionRow row;
        row.Name = input.IsDVD() ? DVDRowName(input.DVD) : path.mid(FolderEnd(path));
        row.DurationUs = input.Duration > 0 ? input.Duration : -1;
        row.Duration = FormatMicroseconds(std::max<std::int64_t>(input.Duration, 0));
        row.Third = QString::number(input.Width) + u'x' + QString::number(input.Height);
        row.Fourth = QString::number(input.Aspect);
        row.InputFile = path;
        if (rows_ == 0) {
            // The first row gives the picture geometry (its values, not the rounded aspect text);
            // the output name does not depend on it.
            TSourceFacts first;
            first.FileName = input.IsDVD() ? DVDOutputSourceName(input.DVD) : path;
            first.Width = input.Width;
            first.Height = input.Height;
            first.DisplayAspect = input.Aspect;
            outputBuilt = BuildJoinOutputOptions(choice_, first, takenInRun, output, &outputError);
        }
        row.Path = output.FileName;
        row.OutputFile = output.FileName;
        total_ += std::max<std::int64_t>(input.Duration, 0);
        AddRow(row);
    }
    if (engine_.TaskCount() == 0 || cancelled_)
        return; // no input: no geometry, no output; stopped: the run takes the task back
    for (const TInputRow& input : inputs_)
        if (input.IsDVD())
            ApplyDVDOutputOptions(input.DVD, output, true, [this](const QString& line) { Log(line); });
    bool set = false;
    QString reason = outputError;
    if (outputBuilt)
        set = SetOutput(0, output, &reason);
    if (!set) {
        engine_.RemoveTask(0);
        Log(QStringLiteral("Cannot do convert, error: ") + reason);
        reasons_ << QStringLiteral("Cannot do convert, error: ") + reason;
        return;
    }
    durations_.push_back(total_);
}

void RemoveRunOutputs(const std::vector<TRunOutput>& outputs, const std::function<bool(int task)>& keep)
{
    for (size_t task = 0; task < outputs.size(); ++task) {
        const TRunOutput& output = outputs[task];
        if (output.Existed || output.FileName.isEmpty() || keep(int(task)))
            continue;
        if (QFileInfo(output.FileName).isFile())
            QFile::remove(output.FileName);
    }
}
