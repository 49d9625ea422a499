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

// The edition in force: title from EditionConfig, Version and Copyright read from the
// edition file in exeDir now, the skin image folder of the edition.
TAboutEdition CurrentAboutEdition(const QString& exeDir);
// Whether the edition gets the simple box (the editions of the short tools wording).
bool UsesSimpleAboutBox(const QString& editionTitle);
// Creates the box, centred over mainWindow (when given), without showing it.
QDialog* CreateAboutBox(QWidget* mainWindow, const TAboutEdition& edition, bool simpleBox);
// Creates the box of the edition, centres it over mainWindow, shows it modally, destroys it.
void ShowAboutBox(QWidget* mainWindow, const TAboutEdition& edition, bool simpleBox);
// The same for the edition in force (program folder = the executable's folder).
void ShowAboutBox(QWidget* mainWindow);
