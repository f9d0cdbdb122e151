#pragma once
#include <span>
#include <string_view>

// What an installer of a customised copy carries on this system: the Create tab's lists.
struct DistributionText {
    std::string_view english;
    std::string_view french;
};

// Text 24: the folder the program files go to (the copy's name and ")" follow).
DistributionText ProgramFilesText();
// Text 25: the heading of the system part.
DistributionText SystemPartsText();
// The system part, one row each: what an installer must add beside the program files.
std::span<const std::string_view> SystemParts();

// The program's part that shows pages, beside it: only it loads the browser engine (the
// Linux program; on Windows the system's browser control does it).
inline constexpr char kViewerFile[] = "tavorin-viewer";
// What a copy carries beside its program besides Info.ico and Param.ini.
std::span<const std::string_view> ProgramParts();
