#include "DesktopServices.h"

#include <mutex>

namespace {

// Answers like a user who cancels everything; used until the program installs its own.
class SilentDesktop final : public IDesktopServices {
public:
    TModalResult ShowMessage(const QString&, const QString&, TMsgDlgType, TMsgDlgButtons buttons,
                             const QStringList&) override
    {
        if (buttons & mbCancel) return mrCancel;
        if (buttons & mbNo) return mrNo;
        if (buttons & mbOK) return mrOk;
        return mrNone;
    }
    QStringList OpenFiles(const TOpenDialogRequest&) override { return {}; }
    QString SaveFile(const TSaveDialogRequest&) override { return {}; }
    bool BrowseForFolder(const QString&, const QString&, QString&) override { return false; }
    void ShellOpen(const QString&) override {}
    void PlaySound(const QString&) override {}
    void PowerOff(std::function<void(bool)> answered) override
    {
        if (answered)
            answered(false);
    }
    QSize ScreenSize() override { return {1024, 768}; }
    void SetBusyCursor(bool) override {}
};

std::mutex servicesLock;
std::unique_ptr<IDesktopServices> services = std::make_unique<SilentDesktop>();

} // namespace

IDesktopServices& Desktop()
{
    std::lock_guard lock(servicesLock);
    return *services;
}

std::unique_ptr<IDesktopServices> SetDesktopServices(std::unique_ptr<IDesktopServices> next)
{
    std::lock_guard lock(servicesLock);
    if (!next)
        next = std::make_unique<SilentDesktop>();
    std::swap(services, next);
    return next;
}
