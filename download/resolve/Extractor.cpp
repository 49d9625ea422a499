#include "Extractor.h"

#include <QFileInfo>
#include <QMetaObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>

#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

// Standard error is only read for its last line; a chatty program keeps this much of it.
constexpr qsizetype MaxErrorBytes = 64 * 1024;

// The child leads a process group of its own, so a kill reaches what it started too, and it
// dies with us even when we are killed without a chance to clean up.
void PrepareChild()
{
    setsid();
    prctl(PR_SET_PDEATHSIG, SIGKILL);
}

} // namespace

QString ExtractorProgram()
{
    const QString named = QString::fromLocal8Bit(qgetenv("VORNIC_EXTRACTOR")).trimmed();
    if (named.isEmpty())
        return QStandardPaths::findExecutable(QStringLiteral("yt-dlp"));
    if (named.contains(QLatin1Char('/'))) {
        const QFileInfo file(named);
        return file.isFile() && file.isExecutable() ? file.absoluteFilePath() : QString();
    }
    return QStandardPaths::findExecutable(named);
}

QString ExtractorVersion(const QString& program, int timeoutMs)
{
    if (program.isEmpty())
        return {};
    QProcess p;
    p.setChildProcessModifier(PrepareChild);
    p.start(program, {QStringLiteral("--version")});
    if (!p.waitForStarted(timeoutMs))
        return {};
    if (!p.waitForFinished(timeoutMs)) {
        ::kill(-pid_t(p.processId()), SIGKILL);
        p.waitForFinished(1000);
        return {};
    }
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return {};
    return QString::fromUtf8(p.readAllStandardOutput()).section(QLatin1Char('\n'), 0, 0).trimmed();
}

QString ExtractorMissingReason()
{
    return QStringLiteral("this video needs the extractor yt-dlp, which was not found: install it "
                          "(\"apt install yt-dlp\", or \"pip install --user yt-dlp\" for a current one) "
                          "or name the program in VORNIC_EXTRACTOR");
}

TExtractorProcess::TExtractorProcess(QObject* owner) : QObject(owner) {}

TExtractorProcess::~TExtractorProcess() { Cancel(); }

bool TExtractorProcess::Running() const { return process_ != nullptr; }

qint64 TExtractorProcess::ProcessId() const { return process_ ? process_->processId() : 0; }

void TExtractorProcess::Start(const QString& link)
{
    Cancel();
    out_.clear();
    err_.clear();
    ended_ = false;
    const QString program = ExtractorProgram();
    if (program.isEmpty()) {
        Fail(ExtractorMissingReason());
        return;
    }
    process_ = new QProcess(this);
    process_->setChildProcessModifier(PrepareChild);
    connect(process_, &QProcess::readyReadStandardOutput, this, [this] { ReadOutput(); });
    connect(process_, &QProcess::readyReadStandardError, this, [this] { ReadErrors(); });
    connect(process_, &QProcess::finished, this, [this](int code, QProcess::ExitStatus status) {
        Finished(code, status == QProcess::CrashExit);
    });
    connect(process_, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            const QString why = process_ ? process_->errorString() : QString();
            const QString program = process_ ? process_->program() : QString();
            Kill();
            Fail(QStringLiteral("\"%1\" cannot be started (%2); ").arg(program, why) + ExtractorMissingReason());
        }
    });
    timer_ = new QTimer(this);
    timer_->setSingleShot(true);
    connect(timer_, &QTimer::timeout, this, [this] {
        Kill();
        Fail(QStringLiteral("the extractor gave no answer within %1 s").arg((TimeoutMs + 999) / 1000));
    });
    timer_->start(TimeoutMs);
    process_->start(program, {QStringLiteral("--dump-single-json"), QStringLiteral("--no-playlist"),
                              QStringLiteral("--no-warnings"), link});
}

void TExtractorProcess::Cancel()
{
    ended_ = true;
    ++generation_;   // a failure already posted is not reported
    Kill();
}

void TExtractorProcess::Kill()
{
    if (timer_) {
        timer_->stop();
        timer_->deleteLater();
        timer_ = nullptr;
    }
    if (!process_)
        return;
    QProcess* p = process_;
    process_ = nullptr;
    p->disconnect(this);
    const qint64 pid = p->processId();
    if (pid > 0)
        ::kill(-pid_t(pid), SIGKILL);
    p->kill();
    // Reaped here, so no process of ours outlives the call.
    p->waitForFinished(5000);
    p->deleteLater();
}

void TExtractorProcess::ReadOutput()
{
    if (!process_)
        return;
    out_ += process_->readAllStandardOutput();
    if (out_.size() > MaxOutputBytes) {
        Kill();
        out_.clear();
        Fail(QStringLiteral("the extractor's output passed %1 MB").arg(MaxOutputBytes / (1024 * 1024)));
    }
}

void TExtractorProcess::ReadErrors()
{
    if (!process_)
        return;
    err_ += process_->readAllStandardError();
    if (err_.size() > MaxErrorBytes)
        err_ = err_.right(MaxErrorBytes);
}

QString TExtractorProcess::LastErrorLine() const
{
    const QList<QByteArray> lines = err_.split('\n');
    for (auto it = lines.rbegin(); it != lines.rend(); ++it) {
        const QByteArray line = it->trimmed();
        if (!line.isEmpty())
            return QString::fromUtf8(line);
    }
    return {};
}

void TExtractorProcess::Finished(int exitCode, bool crashed)
{
    if (!process_)
        return;
    ReadOutput();
    if (!process_)
        return;   // the output passed the cap: already failed
    ReadErrors();
    Kill();
    if (crashed) {
        Fail(QStringLiteral("the extractor ended abnormally"));
    } else if (exitCode != 0) {
        const QString line = LastErrorLine();
        Fail(line.isEmpty() ? QStringLiteral("the extractor ended with status %1").arg(exitCode) : line);
    } else {
        ended_ = true;
        const QByteArray out = std::exchange(out_, {});
        if (OnDone)
            OnDone(this, out);
    }
}

// Reported from the event loop, never from inside Start.
void TExtractorProcess::Fail(const QString& reason)
{
    if (ended_)
        return;
    ended_ = true;
    QMetaObject::invokeMethod(
        this,
        [this, reason, generation = generation_] {
            if (OnFailed && generation == generation_)
                OnFailed(this, reason);
        },
        Qt::QueuedConnection);
}
