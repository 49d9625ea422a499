#pragma once
// "&Load DVD..." of the input page: binds the plug-in on first use, runs the DVD dialog (made
// once, kept until the window goes) and adds the chosen title as a row of the input list.
#include "DVDSelection.h"

#include <QImage>
#include <QObject>
#include <QString>

#include <memory>

class QLabel;
class QWidget;
class TPageStep1;
class TfrmDVDSelect;

class TDVDLoad : public QObject {
    Q_OBJECT
public:
    // window owns the dialog and the hidden DVD icon; the page gets the rows.
    TDVDLoad(TPageStep1* page, QWidget* window);
    ~TDVDLoad() override;

    QLabel* ImageDVDIcon = nullptr; // hidden; the picture of DVD rows
    QString PlugInFolder;           // the "lib" folder beside the executable
    QString SystemRoot = QStringLiteral("/"); // where drives are looked up

    void ActionLoadDVDExecute();
    bool SelectDVDTitle(TDVDSelection& selection);
    void AddDVDTitleRow(const TDVDSelection& selection);
    // The dialog, made on first use.
    TfrmDVDSelect* Dialog();

private:
    TPageStep1* page_;
    QWidget* window_;
    TfrmDVDSelect* dialog_ = nullptr;
};

// The DVD icon, drawn in code.
QImage DVDIconImage();
