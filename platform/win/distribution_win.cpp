#include <array>

#include "platform/distribution.h"

namespace {
constexpr std::array<std::string_view, 10> kSystemFiles = {
    "ieframe.dll",  "msinet.ocx",   "msinet.oca",   "MSINET.DEP", "TABCTL32.OCX",
    "TABCTL32.DEP", "COMDLG32.OCX", "COMDLG32.DEP", "wshom.ocx",  "mshtml.tlb",
};
}  // namespace

DistributionText ProgramFilesText() {
    return {"Program Files (Default install : C:\\Program Files\\",
            "Fichiers programmes (installation conseillée dans C:\\Program Files\\"};
}

DistributionText SystemPartsText() {
    return {"Files system (Installation in : C:\\Windows\\System32)",
            "Fichiers systèmes (installation dans C:\\Windows\\System32)"};
}

std::span<const std::string_view> SystemParts() {
    return kSystemFiles;
}

std::span<const std::string_view> ProgramParts() {
    return {};
}
