#pragma once
// The two about boxes. The edition decides which one is shown: the simple TfrmAbout or the
// tabbed TFormAbout. Both are created when About is chosen, shown modally, then destroyed.
#include <QDialog>
#include <QImage>
#include <QString>

class QLabel;
class QPushButton;
class QTabWidget;

// What the boxes show. The caller reads Version and Copyright from the edition file when
// the box opens; imageDir is the skin image folder (for "leftlogo.png"; may be empty).
struct TAboutEdition {
    QString title;
    QString version;
    QString copyright;
    QString imageDir;
};

// The notice line both boxes show, with the edition's Copyright inserted.
QString AboutCopyrightLine(const QString& copyright);

// Simple box: caption "About <title>", name, home page link, version, notice, legal warning, OK.
class TfrmAbout : public QDialog {
    Q_OBJECT
public:
    explicit TfrmAbout(const TAboutEdition& edition, QWidget* parent = nullptr);
    QImage RenderForScreenshot();

private:
    TAboutEdition edition_;
};

// Tabbed box: left picture (opens the updates link), tabs "About" and "Update", "&OK".
class TFormAbout : public QDialog {
    Q_OBJECT
public:
    explicit TFormAbout(const TAboutEdition& edition, QWidget* parent = nullptr);
    QImage RenderForScreenshot();

private:
    TAboutEdition edition_;
};

// The application logo, drawn (no image file), at the given size.
QImage DrawAppLogo(int size);

// Creates the box of the edition, centres it over mainWindow, shows it modally, destroys it.
// simpleBox: the edition is one of the short-wording editions.
void ShowAboutBox(QWidget* mainWindow, const TAboutEdition& edition, bool simpleBox);
