// AVI, FLV and SWF presets converted for real.
#include "test_catalogue_convert_support.h"

using catalogue_convert::CatalogueConvert;

TEST_P(CatalogueConvert, EveryPresetConverts)
{
    ConvertAndCheck(GetParam());
}

INSTANTIATE_TEST_SUITE_P(VideoPart1, CatalogueConvert, ::testing::Values("AVI", "FLV", "SWF"));
