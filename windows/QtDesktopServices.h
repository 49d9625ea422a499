#pragma once
// The real desktop: message boxes, file dialogs, folder browser, opening files and links,
// sounds, power-off and the busy cursor. Install it once at start:
//   SetDesktopServices(std::make_unique<QtDesktopServices>());
#include "DesktopServices.h"

#include <QStringList>
#include <memory>

class QSoundEffect;
class QWidget;

class QtDesktopServices : public IDesktopServices {
public:
    QtDesktopServices();
    ~QtDesktopServices() override;

    TModalResult ShowMessage(const QString& message, const QString& caption, TMsgDlgType kind,
                             TMsgDlgButtons buttons, const QStringList& buttonCaptions = {}) override;
    QStringList OpenFiles(const TOpenDialogRequest& request) override;
    QString SaveFile(const TSaveDialogRequest& request) override;
    bool BrowseForFolder(const QString& title, const QString& root, QString& folder) override;
    void ShellOpen(const QString& target) override;
    void PlaySound(const QString& waveFile) override;
    void PowerOff(std::function<void(bool accepted)> answered) override;
    QSize ScreenSize() override;
    void SetBusyCursor(bool busy) override;

    // "Text|*.a;*.b|All|*.*" pairs -> Qt name filters ("Text (*.a *.b)", "All (*)").
    // Upper-case patterns also match lower-case names; "*.*" means every file.
    static QStringList ConvertFilter(const QString& pairs);

    // The D-Bus connection the power-off request goes to; the system bus unless changed
    // (tests point it at a private bus).
    void SetPowerOffBus(const QString& connectionName);

private:
    static QWidget* DialogOwner();

    std::unique_ptr<QSoundEffect> sound_;
    QString powerOffBus_;
    int busyDepth_ = 0;
};
