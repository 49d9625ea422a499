// WMV, MOV and 3GP presets converted for real.
#include "test_catalogue_convert_support.h"

using catalogue_convert::CatalogueConvert;

TEST_P(CatalogueConvert, EveryPresetConverts)
{
    ConvertAndCheck(GetParam());
}

INSTANTIATE_TEST_SUITE_P(VideoPart3, CatalogueConvert, ::testing::Values("WMV", "MOV", "3GP"));
