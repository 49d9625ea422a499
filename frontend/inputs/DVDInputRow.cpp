#include "DVDInputRow.h"

#include "DVDTitleReader.h"

#include <cmath>

TInputFacts DVDTitleFacts(const TDVDSelection& s, const TDVDTitleInfo* info)
{
    TInputFacts facts;
    facts.Row.FileName = DVDInputName(s);
    facts.Row.DVD = s;
    facts.Row.Duration = std::llround(std::max(s.Length, 0.0) * 1e6);
    if (info) {
        facts.Row.Width = info->Width;
        facts.Row.Height = info->Height;
        facts.Row.Aspect = info->Aspect == 1 ? 16.0 / 9.0 : info->Aspect == 0 ? 4.0 / 3.0 : 0.0;
    }
    facts.MinName = QStringLiteral("DVD Root: ") + s.Root + QStringLiteral("; Title: ") + QString::number(s.TitleIndex + 1);
    facts.DurationLine = QStringLiteral("Chapter from %1 to %2").arg(s.FirstChapter + 1).arg(s.LastChapter + 1);
    facts.BitrateLine = QStringLiteral("Audio ID: ") + s.AudioText;
    facts.DimensionLine = QStringLiteral("Subtitle ID: ") + s.SubtitleText;
    return facts;
}
