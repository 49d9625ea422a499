#include "DVDDecPrivate.h"

#include <cstring>

namespace {

struct TLanguage {
    const char* Code;
    const char* Name;
};

// The languages DVD authoring tools offer most; others show their code only.
constexpr TLanguage Languages[] = {
    {"ar", "Arabic"},    {"bg", "Bulgarian"}, {"ca", "Catalan"},    {"cs", "Czech"},     {"da", "Danish"},
    {"de", "German"},    {"el", "Greek"},     {"en", "English"},    {"es", "Spanish"},   {"et", "Estonian"},
    {"fa", "Persian"},   {"fi", "Finnish"},   {"fr", "French"},     {"ga", "Irish"},     {"he", "Hebrew"},
    {"hi", "Hindi"},     {"hr", "Croatian"},  {"hu", "Hungarian"},  {"id", "Indonesian"}, {"is", "Icelandic"},
    {"it", "Italian"},   {"ja", "Japanese"},  {"ko", "Korean"},     {"lt", "Lithuanian"}, {"lv", "Latvian"},
    {"nl", "Dutch"},     {"no", "Norwegian"}, {"pl", "Polish"},     {"pt", "Portuguese"}, {"ro", "Romanian"},
    {"ru", "Russian"},   {"sk", "Slovak"},    {"sl", "Slovenian"},  {"sr", "Serbian"},   {"sv", "Swedish"},
    {"th", "Thai"},      {"tr", "Turkish"},   {"uk", "Ukrainian"},  {"vi", "Vietnamese"}, {"zh", "Chinese"},
};

} // namespace

const char* DVDLanguageName(const char* code)
{
    for (const TLanguage& language : Languages)
        if (std::strncmp(language.Code, code, 2) == 0 && code[0] && code[1])
            return language.Name;
    return "Unknown";
}
