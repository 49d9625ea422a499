// MP4, MPEG and RM presets converted for real.
#include "test_catalogue_convert_support.h"

using catalogue_convert::CatalogueConvert;

TEST_P(CatalogueConvert, EveryPresetConverts)
{
    ConvertAndCheck(GetParam());
}

INSTANTIATE_TEST_SUITE_P(VideoPart2, CatalogueConvert, ::testing::Values("MP4", "MPEG", "RM"));
