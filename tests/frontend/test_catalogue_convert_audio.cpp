// Audio presets converted for real: audio streams only.
#include "test_catalogue_convert_support.h"

using catalogue_convert::CatalogueConvert;

TEST_P(CatalogueConvert, EveryPresetConverts)
{
    ConvertAndCheck(GetParam());
}

INSTANTIATE_TEST_SUITE_P(Audio, CatalogueConvert, ::testing::Values("WAV", "MP3", "WMA", "OGG", "AAC", "M4A", "FLAC", "MP2"));
