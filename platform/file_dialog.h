#pragma once
#include <string>

// The file-open dialog (CommonDialog1). fileName is the dialog's remembered file name:
// a choice replaces it, a cancel leaves it as it was.
class IFileDialog {
  public:
    virtual ~IFileDialog() = default;
    virtual void ShowOpen(const std::string& title, const std::string& filter,
                          std::string& fileName) = 0;
};
