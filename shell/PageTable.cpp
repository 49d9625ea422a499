#include "PageTable.h"

#include <QObject>

namespace {

// Captions that depend on the edition are marked and resolved below.
enum TEditionCaption { ecNone, ecBackIfDownload, ecCancelIfDownload, ecJoinOrConvert };

struct TPageRow {
    const char* Title;
    const char* Back;
    bool BackEnabled;
    const char* Next;
    bool NextEnabled;
    const char* Exit;
    TEditionCaption Rule;
};

const TPageRow PageRows[WizardPageCount] = {
    {"Welcome to %1! What do you want to do?", "Back", false, "Next", true, "Exit", ecNone},
    {"Select the videos you want to convert. Use \"Move Up\" and \"Move Down\" to change the order.",
     "Back", false, "Next", true, "Exit", ecCancelIfDownload},
    {"Select an output mode and specify a path for the output files.", "Back", true, "Convert", true, "Cancel",
     ecJoinOrConvert},
    {"Conversion information.", "Back", false, "Next", false, "Cancel", ecNone},
    {"The conversion is finished.", "Back", false, "Finish", true, "Exit", ecNone},
    {"Copy a YouTube link from your browser address bar and Paste here", "Back", true, "Download", true, "Cancel",
     ecNone},
    {"Downloading information.", "Back", false, "Next", false, "Cancel", ecNone},
    {"The downloading is finished.", "Back", false, "Finish", true, "Exit", ecNone},
};

} // namespace

TPageCaptions PageCaptions(TWizardPage page, bool download, bool merge, const QString& editionTitle)
{
    const TPageRow& row = PageRows[page >= 0 && page < WizardPageCount ? page : 0];
    TPageCaptions c;
    c.Title = QObject::tr(row.Title);
    if (page == wpMode)
        c.Title = c.Title.arg(editionTitle);
    c.Back = QObject::tr(row.Back);
    c.BackEnabled = row.BackEnabled;
    c.Next = QObject::tr(row.Next);
    c.NextEnabled = row.NextEnabled;
    c.Exit = QObject::tr(row.Exit);
    if (row.Rule == ecCancelIfDownload) {
        c.BackEnabled = download;
        c.Exit = download ? QObject::tr("Cancel") : QObject::tr("Exit");
    } else if (row.Rule == ecJoinOrConvert && merge) {
        c.Next = QObject::tr("Join Now");
    }
    return c;
}
