#pragma once
#include <cstdint>
#include <string>
#include <string_view>

// Interface text id (1 to 38) in the language code "fr" or "en"; empty otherwise.
std::string LookupText(std::int16_t id, std::string_view languageCode);
