#pragma once
// A DVD title as a row of the input list: the four lines the row shows and the values the
// conversion run reads. Shared by the Step1 page and the command-line converter.
#include "DVDTitleInfo.h"
#include "InputFacts.h"

// info (may be null) gives the picture geometry; the selection's chapter range the duration.
TInputFacts DVDTitleFacts(const TDVDSelection& selection, const TDVDTitleInfo* info);
