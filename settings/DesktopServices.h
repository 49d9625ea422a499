#pragma once
// Everything that would show a modal window or touch the desktop goes through this
// interface. The program installs the real implementation (widgets, in windows/);
// tests install a scripted fake. Core code never includes a widget header.
#include <QString>
#include <QStringList>
#include <QSize>
#include <functional>
#include <memory>

enum class TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };

// Buttons of a message dialog, as a bit set; the result of a dialog is one of them
// (mrNone when it was closed without a button).
enum TMsgDlgBtn : unsigned {
    mbYes = 1u << 0, mbNo = 1u << 1, mbOK = 1u << 2, mbCancel = 1u << 3,
    mbAbort = 1u << 4, mbRetry = 1u << 5, mbIgnore = 1u << 6,
};
using TMsgDlgButtons = unsigned;
enum TModalResult { mrNone = 0, mrOk, mrCancel, mrAbort, mrRetry, mrIgnore, mrYes, mrNo };

struct TOpenDialogRequest {
    QString title;
    QString initialDir;
    QString filter;        // "Text|*.ext;*.ext2|All|*.*" pairs, as the windows give them
    int filterIndex = 1;
    bool multiSelect = false;
};

struct TSaveDialogRequest {
    QString title;
    QString initialDir;
    QString fileName;
    QString filter;
    QString defaultExt;
};

class IDesktopServices {
public:
    virtual ~IDesktopServices() = default;

    // Modal message dialog; buttonCaptions replace the standard captions in order when non-empty.
    virtual TModalResult ShowMessage(const QString& message, const QString& caption, TMsgDlgType kind,
                                     TMsgDlgButtons buttons, const QStringList& buttonCaptions = {}) = 0;
    // Open dialog: the chosen files (empty on cancel).
    virtual QStringList OpenFiles(const TOpenDialogRequest& request) = 0;
    // Save dialog: the chosen file (empty on cancel).
    virtual QString SaveFile(const TSaveDialogRequest& request) = 0;
    // Folder browser: false on cancel.
    virtual bool BrowseForFolder(const QString& title, const QString& root, QString& folder) = 0;
    // Open a file, folder or web address with its associated program.
    virtual void ShellOpen(const QString& target) = 0;
    // Play a wave file without waiting for its end.
    virtual void PlaySound(const QString& waveFile) = 0;
    // Asks the system to power the machine off and returns at once; `answered` runs later on
    // the main thread with false when the system refused.
    virtual void PowerOff(std::function<void(bool accepted)> answered) = 0;
    virtual QSize ScreenSize() = 0;
    // Busy cursor on / off for the whole application.
    virtual void SetBusyCursor(bool busy) = 0;
};

// The services in force. Never null: without an installed implementation a silent
// one answers (cancel / no / nothing), so core code and tests never block.
IDesktopServices& Desktop();
// Installs services (ownership passes); returns the previous ones.
std::unique_ptr<IDesktopServices> SetDesktopServices(std::unique_ptr<IDesktopServices> services);
