#pragma once
// The summary page's badge as a user sees it: the outcome read back from the painted pixels,
// so a page that claims one outcome and paints another is caught.
#include "PageSummary.h"

#include <QImage>
#include <QPixmap>

inline TSummaryPage::TOutcome BadgeSeen(TSummaryPage& page)
{
    // Inside the disc, clear of the white sign: the left part of the badge.
    const QColor c = page.grab().toImage().pixelColor(30, 49);
    if (c.green() > c.red())
        return TSummaryPage::TOutcome::Success;
    return c.green() >= 100 ? TSummaryPage::TOutcome::Mixed : TSummaryPage::TOutcome::Failure;
}

inline const char* OutcomeName(TSummaryPage::TOutcome outcome)
{
    switch (outcome) {
    case TSummaryPage::TOutcome::Success:
        return "success";
    case TSummaryPage::TOutcome::Mixed:
        return "mixed";
    case TSummaryPage::TOutcome::Failure:
        return "failure";
    }
    return "?";
}
