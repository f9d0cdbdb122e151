#include "platform/win/win_shell.h"

#include "platform/win/win32_window.h"

namespace {
const wchar_t* OrNull(const std::wstring& text) {
    return text.empty() ? nullptr : text.c_str();
}
}  // namespace

void WinShell::ShellExecute(const std::string& operation, const std::string& file,
                            const std::string& parameters, const std::string& directory,
                            int showCommand) {
    const std::wstring verb = Utf8ToWide(operation), target = Utf8ToWide(file),
                       arguments = Utf8ToWide(parameters), folder = Utf8ToWide(directory);
    ShellExecuteW(nullptr, OrNull(verb), target.c_str(), OrNull(arguments), OrNull(folder),
                  showCommand);
}

void WinShell::EndProcess(int exitCode) {
    // Not ExitProcess: it takes the loader's and the C runtime's locks, which a download's
    // worker thread may hold right now, and would then wait for ever. Nothing is left to
    // flush: settings are written and closed when they change, the icon is already gone.
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(exitCode));
    ExitProcess(static_cast<UINT>(exitCode));  // only if termination was refused
}
