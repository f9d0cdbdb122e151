#pragma once
#include <cstdint>
#include <string>

// Written once by start-up, read afterwards.
struct SharedSettings {
    std::string IniPath;
    std::string LanguageCode;
    std::int16_t ScanTicks = 0;
    std::int16_t WindowWidth = 0;
    std::int16_t WindowHeight = 0;
};
