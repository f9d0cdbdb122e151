#pragma once
// Windows only. What the files of the configuration window share about its controls.
#include <string>

#include "builder/param_layout.h"

namespace param_window {
inline constexpr int kTabCount = 3;
inline constexpr int kBaseFontSize = 8;
inline constexpr int kPictureSize = 32;  // icons carry several images; the box shows this one

// Labels break lines at "\n"; the controls want "\r\n".
std::wstring ControlText(const std::string& text);
// Bordered one-line labels hold paths: those may be longer than any box and keep their end.
bool PathLabel(const CtlDesign& design);
// Labels sized to their text (the period row) need no fitting.
bool FittedLabel(const CtlDesign& design);
}  // namespace param_window
