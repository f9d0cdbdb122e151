#pragma once
// Windows only. CommonDialog1 on GetOpenFileNameW.
#include <string>

#include "platform/file_dialog.h"
#include "platform/win/ansi.h"

class WinFileDialog final : public IFileDialog {
  public:
    explicit WinFileDialog(HWND owner) : owner_(owner) {}
    // Modal to the owner. No flag asks for an existing file: a typed name comes back as is.
    void ShowOpen(const std::string& title, const std::string& filter,
                  std::string& fileName) override;

    // "Ico file | *.ico" (description, bar, patterns; pairs repeat) in the dialog's form:
    // each part trimmed and ended by a NUL, the whole ended by another.
    static std::wstring Filter(const std::string& filter);

  private:
    HWND owner_;
};
