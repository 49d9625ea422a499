#pragma once
// The wizard's pages in their fixed order, and what the frame shows on each: the title
// line and the captions and enabled state of Back, Next and Exit.
#include <QString>

enum TWizardPage : int { wpMode, wpStep1, wpStep2, wpStep3, wpStep4, wpStep5, wpStep6, wpStep7 };
inline constexpr int WizardPageCount = 8;

struct TPageCaptions {
    QString Title;
    QString Back;
    bool BackEnabled = false;
    QString Next;
    bool NextEnabled = false;
    QString Exit;   // Exit is enabled on every page
};

// download, merge: the edition's keys; editionTitle fills the Mode page's "%s".
TPageCaptions PageCaptions(TWizardPage page, bool download, bool merge, const QString& editionTitle);
