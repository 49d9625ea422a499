#pragma once
// Scripted desktop services for tests: queued answers, and a record of what was shown.
#include "DesktopServices.h"

#include <QCoreApplication>
#include <QStringList>
#include <deque>
#include <vector>

class FakeDesktop : public IDesktopServices {
public:
    struct Shown { QString message, caption; TMsgDlgType kind; TMsgDlgButtons buttons; };

    // Answers given to message dialogs, in order; when empty, mrNone.
    std::deque<TModalResult> answers;
    std::deque<QStringList> openAnswers;
    std::deque<QString> saveAnswers;
    std::deque<QString> folderAnswers;   // empty text = cancel

    std::vector<Shown> shown;
    std::vector<TOpenDialogRequest> openRequests;
    std::vector<TSaveDialogRequest> saveRequests;
    QStringList opened, sounds;
    int powerOffs = 0;
    bool powerOffResult = true;
    QSize screen{1920, 1080};
    int busy = 0;

    TModalResult ShowMessage(const QString& message, const QString& caption, TMsgDlgType kind,
                             TMsgDlgButtons buttons, const QStringList&) override
    {
        shown.push_back({message, caption, kind, buttons});
        if (answers.empty()) return mrNone;
        auto a = answers.front(); answers.pop_front(); return a;
    }
    QStringList OpenFiles(const TOpenDialogRequest& r) override
    {
        openRequests.push_back(r);
        if (openAnswers.empty()) return {};
        auto a = openAnswers.front(); openAnswers.pop_front(); return a;
    }
    QString SaveFile(const TSaveDialogRequest& r) override
    {
        saveRequests.push_back(r);
        if (saveAnswers.empty()) return {};
        auto a = saveAnswers.front(); saveAnswers.pop_front(); return a;
    }
    bool BrowseForFolder(const QString&, const QString&, QString& folder) override
    {
        if (folderAnswers.empty() || folderAnswers.front().isEmpty()) {
            if (!folderAnswers.empty()) folderAnswers.pop_front();
            return false;
        }
        folder = folderAnswers.front(); folderAnswers.pop_front(); return true;
    }
    void ShellOpen(const QString& target) override { opened << target; }
    void PlaySound(const QString& file) override { sounds << file; }
    // Answers later on the main thread, as the system does.
    void PowerOff(std::function<void(bool)> answered) override
    {
        ++powerOffs;
        const bool result = powerOffResult;
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [answered, result] { if (answered) answered(result); }, Qt::QueuedConnection);
    }
    QSize ScreenSize() override { return screen; }
    void SetBusyCursor(bool on) override { busy += on ? 1 : -1; }
};

// Installs a FakeDesktop for the lifetime of the guard and restores the previous services.
class ScopedFakeDesktop {
public:
    ScopedFakeDesktop() : fake_(new FakeDesktop), previous_(SetDesktopServices(std::unique_ptr<IDesktopServices>(fake_))) {}
    ~ScopedFakeDesktop() { SetDesktopServices(std::move(previous_)); }
    FakeDesktop* operator->() { return fake_; }
    FakeDesktop& operator*() { return *fake_; }
private:
    FakeDesktop* fake_;
    std::unique_ptr<IDesktopServices> previous_;
};
