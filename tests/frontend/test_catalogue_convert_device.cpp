// Device presets converted for real.
#include "test_catalogue_convert_support.h"

using catalogue_convert::CatalogueConvert;

TEST_P(CatalogueConvert, EveryPresetConverts)
{
    ConvertAndCheck(GetParam());
}

INSTANTIATE_TEST_SUITE_P(Device, CatalogueConvert, ::testing::Values("iPod", "iPhone", "AppleTV", "PSP", "BlackBerry", "MobilePhone", "iPad"));
