#pragma once
// Shutdown countdown after a conversion run. The dialog only asks; ShutdownComputer does
// the power-off through the desktop services.
#include <QDialog>
#include <QImage>
#include <QString>

#include <functional>

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

class TFormShutdown : public QDialog {
    Q_OBJECT
public:
    static constexpr int CountdownSeconds = 30;

    // The countdown starts at creation. tickIntervalMs is one "second" of the countdown
    // (tests shorten it).
    explicit TFormShutdown(const QString& editionTitle, QWidget* parent = nullptr, int tickIntervalMs = 1000);

    int SecondsLeft() const { return secondsLeft_; }
    // One tick of TimerShutdown: counts down; below 0 the dialog closes with Accepted (OK).
    void TimerShutdownTimer();

    QImage RenderForScreenshot();

private:
    QLabel* LabelTimeOut = nullptr;
    QProgressBar* ProgressTimeLeft = nullptr;
    QTimer* TimerShutdown = nullptr;
    int secondsLeft_ = CountdownSeconds;
};

// The description under "Warning!": three lines, the edition title in the middle.
QString ShutdownDescription(const QString& editionTitle);

// Asks the system to power off (privilege on, request, privilege off) without waiting for
// it; `answered` runs on the main thread once the system has decided (false: refused).
void ShutdownComputer(std::function<void(bool accepted)> answered);

enum TShutdownOutcome { soCancelled, soPoweringOff };

// Shows the countdown modally, centred over mainWindow. When it runs out the power-off is
// requested and the call returns at once. A refusal, whenever it comes, is reported to the
// user (the machine would otherwise stay on unseen) and then to `refused`.
TShutdownOutcome RunShutdownCountdown(QWidget* mainWindow, const QString& editionTitle, int tickIntervalMs = 1000,
                                      std::function<void()> refused = {});
