#include "Shutdown.h"

#include "ModalRunner.h"
#include "UtilFuncs.h"
#include "WindowStyle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <memory>

namespace {

QString TimeLeftText(int seconds)
{
    return QStringLiteral("Time left: %1").arg(seconds);
}

QPixmap DrawPowerIcon(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(WindowStyle::Warning);
    painter.drawEllipse(QRectF(0, 0, size, size));
    QPen pen(Qt::white, size * 0.1, Qt::SolidLine, Qt::RoundCap);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    const qreal m = size * 0.27;
    painter.drawArc(QRectF(m, m, size - 2 * m, size - 2 * m), 120 * 16, 300 * 16);
    painter.drawLine(QPointF(size / 2.0, size * 0.2), QPointF(size / 2.0, size * 0.5));
    painter.end();
    return QPixmap::fromImage(image);
}

} // namespace

QString ShutdownDescription(const QString& editionTitle)
{
#ifdef Q_OS_WIN
    const QString format = QStringLiteral("If you don't press cancel now, \n%1\nwill shutdown Windows.");
#else
    const QString format = QStringLiteral("If you don't press cancel now, \n%1\nwill shutdown the computer.");
#endif
    return format.arg(editionTitle);
}

TFormShutdown::TFormShutdown(const QString& editionTitle, QWidget* parent, int tickIntervalMs) : QDialog(parent)
{
    setObjectName(QStringLiteral("FormShutdown"));
    setWindowTitle(QStringLiteral("Shutdown"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setModal(true);

    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("ImagePower"));
    icon->setPixmap(DrawPowerIcon(28));

    auto* LabelWarning = new QLabel(QStringLiteral("Warning!"), this);
    LabelWarning->setObjectName(QStringLiteral("LabelWarning"));
    QFont warningFont(QStringLiteral("Arial"));
    warningFont.setPixelSize(19);
    warningFont.setBold(true);
    LabelWarning->setFont(warningFont);
    QPalette red = LabelWarning->palette();
    red.setColor(QPalette::WindowText, WindowStyle::Warning);
    LabelWarning->setPalette(red);

    auto* LabelShutdownDescription = new QLabel(ShutdownDescription(editionTitle), this);
    LabelShutdownDescription->setObjectName(QStringLiteral("LabelShutdownDescription"));
    LabelShutdownDescription->setTextFormat(Qt::PlainText);
    LabelShutdownDescription->setAlignment(Qt::AlignHCenter);

    LabelTimeOut = new QLabel(TimeLeftText(secondsLeft_), this);
    LabelTimeOut->setObjectName(QStringLiteral("LabelTimeOut"));
    LabelTimeOut->setAlignment(Qt::AlignHCenter);
    QFont bold = LabelTimeOut->font();
    bold.setBold(true);
    LabelTimeOut->setFont(bold);

    ProgressTimeLeft = new QProgressBar(this);
    ProgressTimeLeft->setObjectName(QStringLiteral("ProgressTimeLeft"));
    ProgressTimeLeft->setRange(0, CountdownSeconds);
    ProgressTimeLeft->setValue(secondsLeft_);
    ProgressTimeLeft->setTextVisible(false);
    ProgressTimeLeft->setFixedHeight(6);
    ProgressTimeLeft->setStyleSheet(
        QStringLiteral("QProgressBar { border: none; background: %1; border-radius: 3px; }"
                       "QProgressBar::chunk { background: %2; border-radius: 3px; }")
            .arg(WindowStyle::BandLine.name(), WindowStyle::Warning.name()));

    auto* ButtonCancel = new QPushButton(QStringLiteral("&Cancel"), this);
    ButtonCancel->setObjectName(QStringLiteral("ButtonCancel"));
    ButtonCancel->setMinimumWidth(88);
    WindowStyle::StyleDefaultButton(ButtonCancel);   // Enter and Esc both cancel
    connect(ButtonCancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* head = new QHBoxLayout;
    head->addStretch(1);
    head->addWidget(icon);
    head->addSpacing(6);
    head->addWidget(LabelWarning);
    head->addStretch(1);

    auto* body = new QVBoxLayout;
    body->setContentsMargins(14, 12, 14, 10);
    body->setSpacing(6);
    body->addLayout(head);
    body->addWidget(LabelShutdownDescription);
    body->addWidget(LabelTimeOut);
    body->addWidget(ProgressTimeLeft);

    auto* band = new QWidget(this);
    band->setObjectName(QStringLiteral("PanelBottom"));
    WindowStyle::StyleBottomBand(band);
    auto* bandLayout = new QHBoxLayout(band);
    bandLayout->setContentsMargins(10, 7, 10, 7);
    bandLayout->addStretch(1);
    bandLayout->addWidget(ButtonCancel);
    bandLayout->addStretch(1);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addLayout(body, 1);
    layout->addWidget(band);

    ensurePolished();
    const QSize hint = sizeHint();
    setFixedSize(std::max(234, hint.width()), std::max(149, hint.height()));

    TimerShutdown = new QTimer(this);
    TimerShutdown->setObjectName(QStringLiteral("TimerShutdown"));
    TimerShutdown->setInterval(std::max(1, tickIntervalMs));
    connect(TimerShutdown, &QTimer::timeout, this, &TFormShutdown::TimerShutdownTimer);
    TimerShutdown->start();
}

void TFormShutdown::TimerShutdownTimer()
{
    if (secondsLeft_ < 0)
        return;   // already closed with OK; a late tick must not close it twice
    --secondsLeft_;
    if (secondsLeft_ < 0) {
        TimerShutdown->stop();
        accept();
        return;
    }
    LabelTimeOut->setText(TimeLeftText(secondsLeft_));
    ProgressTimeLeft->setValue(secondsLeft_);
}

QImage TFormShutdown::RenderForScreenshot()
{
    return WindowStyle::RenderWidget(this);
}

void ShutdownComputer(std::function<void(bool accepted)> answered)
{
    const QString privilege = QStringLiteral("SeShutdownPrivilege");
    if (!SetProcessPrivilege(privilege, true)) {
        if (answered)
            answered(false);
        return;
    }
    Desktop().PowerOff(std::move(answered));
    SetProcessPrivilege(privilege, false);
}

TShutdownOutcome RunShutdownCountdown(QWidget* mainWindow, const QString& editionTitle, int tickIntervalMs,
                                      std::function<void()> refused)
{
    std::unique_ptr<TFormShutdown> dialog(new TFormShutdown(editionTitle, mainWindow, tickIntervalMs));
    if (mainWindow) {
        const QRect main = mainWindow->frameGeometry();
        dialog->move(main.left() + (main.width() - dialog->width()) / 2,
                     main.top() + (main.height() - dialog->height()) / 2);
    }
    const int result = RunModal(*dialog);
    dialog.reset();
    if (result != QDialog::Accepted)
        return soCancelled;
    const QString caption = editionTitle.isEmpty() ? WindowStyle::CaptionTitle() : editionTitle;
    ShutdownComputer([caption, refused](bool accepted) {
        if (accepted)
            return;
        ShowMessageDialog(QStringLiteral("The computer could not be shut down: the system refused the request."),
                          caption, TMsgDlgType::mtWarning, {}, mbOK);
        if (refused)
            refused();
    });
    return soPoweringOff;
}
