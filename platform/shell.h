#pragma once
#include <string>

class IShell {
  public:
    virtual ~IShell() = default;
    // ShellExecute: hands file to the desktop's handler for operation ("open").
    virtual void ShellExecute(const std::string& operation, const std::string& file,
                              const std::string& parameters, const std::string& directory,
                              int showCommand) = 0;
    // Ends the process at once with the exit code, leaving no helper process behind.
    virtual void EndProcess(int exitCode) = 0;
};
