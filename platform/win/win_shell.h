#pragma once
// Windows only.
#include "platform/shell.h"

class WinShell final : public IShell {
  public:
    void ShellExecute(const std::string& operation, const std::string& file,
                      const std::string& parameters, const std::string& directory,
                      int showCommand) override;
    // The process's own windows and hosted controls go with it; nothing runs after.
    void EndProcess(int exitCode) override;
};
