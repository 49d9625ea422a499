#pragma once
// Every modal window of windows/ (about boxes, countdown, failed files, and the message
// boxes and file dialogs of QtDesktopServices) runs through RunModal. By default that is
// QDialog::exec(); tests install a runner that inspects or answers the dialog without
// entering a modal loop.
#include <functional>

class QDialog;

using TModalRunner = std::function<int(QDialog&)>;

int RunModal(QDialog& dialog);
// Installs a runner (empty = exec()); returns the previous one.
TModalRunner SetModalRunner(TModalRunner runner);

class ScopedModalRunner {
public:
    explicit ScopedModalRunner(TModalRunner runner) : previous_(SetModalRunner(std::move(runner))) {}
    ~ScopedModalRunner() { SetModalRunner(std::move(previous_)); }
    ScopedModalRunner(const ScopedModalRunner&) = delete;
    ScopedModalRunner& operator=(const ScopedModalRunner&) = delete;

private:
    TModalRunner previous_;
};
