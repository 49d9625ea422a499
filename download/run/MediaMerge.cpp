#include "MediaMerge.h"

#include "FFmpegEngine.h"
#include "MainThread.h"

#include <QFile>

#include <algorithm>

QString MuxerOfExtension(const QString& extension)
{
    const QString ext = extension.startsWith(QLatin1Char('.')) ? extension.mid(1).toLower() : extension.toLower();
    if (ext == QLatin1String("mkv"))
        return QStringLiteral("matroska");
    if (ext == QLatin1String("m4a") || ext == QLatin1String("m4v"))
        return QStringLiteral("mp4");
    return ext;
}

TMediaMerge::TMediaMerge(QObject* owner) : QObject(owner) {}

TMediaMerge::~TMediaMerge() { Cancel(); }

bool TMediaMerge::Start(const QString& video, const QString& audio, const QString& output,
                        const QString& extension, QString* why)
{
    Cancel();
    auto refuse = [&](const QString& text) {
        if (why)
            *why = text;
        engine_.reset();
        QFile::remove(output);
        return false;
    };
    engine_ = std::make_unique<TFFmpegEngine>();
    if (!engine_->LibrariesLoaded() && !engine_->LoadLibraries(LibraryFolder))
        return refuse(QStringLiteral("the engine libraries cannot be loaded: ") + engine_->LastError());
    const int task = engine_->AddTask(video);
    if (task < 0)
        return refuse(QStringLiteral("the video part cannot be read: ") + engine_->LastError());
    if (!engine_->AddInputFile(task, audio))
        return refuse(QStringLiteral("the audio part cannot be read: ") + engine_->LastError());
    TOutputOptions options;
    options.ForceFormat = MuxerOfExtension(extension);
    options.VideoCodec = QStringLiteral("copy");
    options.AudioCodec = QStringLiteral("copy");
    if (!engine_->SetOutputFile(task, output, &options))
        return refuse(QStringLiteral("the merged file cannot be set up: ") + engine_->LastError());

    const int generation = ++generation_;
    engine_->OnProgress = [this](QObject*, TProgressInfo* info) {
        if (!info || info->TotalDuration <= 0 || !OnProgress)
            return;
        OnProgress(this, int(std::clamp<qint64>(100 * info->CurrentDuration / info->TotalDuration, 0, 100)));
    };
    // Reported on a thread of the engine: handed to ours through the one hand-over that orders
    // the report's data before its use.
    engine_->OnTerminate = [self = std::weak_ptr<TMediaMerge*>(self_), generation](QObject*, TTerminateInfo info) {
        if (info.TaskIndex < 0)
            return;
        PostToMainThread([self, generation, info] {
            if (const auto merge = self.lock())
                (*merge)->Terminated(generation, info.Finished, info.Exception, info.ExceptionMsg);
        });
    };
    output_ = output;
    running_ = true;
    engine_->StartTask(1);
    return true;
}

void TMediaMerge::Terminated(int generation, bool finished, bool failed, const QString& message)
{
    if (generation != generation_ || !running_)
        return;
    running_ = false;
    // The engine's threads are done with the file once its task has reported.
    engine_->StopTasks(true);
    engine_.reset();
    const bool ok = finished && !failed;
    if (!ok)
        QFile::remove(output_);
    const QString why = ok ? QString() : (message.isEmpty() ? QStringLiteral("the merge stopped") : message);
    if (OnDone)
        OnDone(this, ok, why);
}

void TMediaMerge::Cancel()
{
    ++generation_;
    if (engine_) {
        engine_->DetachEvents();
        engine_->StopTasks(true);
        engine_.reset();
    }
    if (running_) {
        running_ = false;
        QFile::remove(output_);
    }
}
