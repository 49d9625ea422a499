#pragma once
// The dialog that lists the files the input list could not add, with the reason for each.
#include <QDialog>
#include <QImage>
#include <QList>
#include <QString>
#include <QStringList>

class QTreeWidget;

struct TFailedFile {
    QString FileName;   // may be empty when only the reason is known
    QString Reason;
};

// Splits a probe message ("<file>: <reason>") into file and reason. When knownFileName is
// given and the message starts with it, that is the split; otherwise the longest prefix
// before ": " that names an existing file, else an absolute path up to the first ": ";
// failing all, the whole text is the reason.
TFailedFile SplitFailedEntry(const QString& message, const QString& knownFileName = QString());

class TFormFailedAddFile : public QDialog {
    Q_OBJECT
public:
    explicit TFormFailedAddFile(const QString& editionTitle, QWidget* parent = nullptr);

    void AddFailedFile(const TFailedFile& entry);
    // A probe message as the input list collects it.
    void AddFailedEntry(const QString& message);
    void SetFailedEntries(const QStringList& messages);

    QList<TFailedFile> FailedFiles() const { return entries_; }

    // "More Information...": the edition's support page.
    void ButtonMoreInformationClick();

    QImage RenderForScreenshot();

private:
    QString editionTitle_;
    QTreeWidget* ListViewFiles = nullptr;
    QList<TFailedFile> entries_;
};

// Shows the dialog modally, centred over mainWindow, one row per entry in list order.
// Nothing is shown for an empty list.
void ShowFailedAddFiles(QWidget* mainWindow, const QString& editionTitle, const QStringList& messages);
