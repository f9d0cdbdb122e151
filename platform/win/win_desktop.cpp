#include "platform/win/win_desktop.h"

namespace {
constexpr UINT_PTR kTimerId = 1;

const wchar_t* OrNull(const std::wstring& text) {
    return text.empty() ? nullptr : text.c_str();
}
}  // namespace

// Not the value of sign-in (the screen device's), which stays after the scaling changes.
int WinDesktop::ScreenWidthTwips() {
    return twips::FromPixels(GetSystemMetrics(SM_CXSCREEN), twips::DpiOf(placed_));
}

int WinDesktop::ScreenHeightTwips() {
    return twips::FromPixels(GetSystemMetrics(SM_CYSCREEN), twips::DpiOf(placed_));
}

void WinDesktop::SetMousePointer(int pointer) {
    SetCursor(LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(
                                       pointer == kMousePointerHourglass ? IDC_WAIT : IDC_ARROW)));
}

WinTimer::WinTimer() {
    Create(L"TavorinTimer", nullptr, 0, 0, HWND_MESSAGE);
}

void WinTimer::Start(int intervalMs) {
    SetTimer(hwnd(), kTimerId, static_cast<UINT>(intervalMs), nullptr);
}

LRESULT WinTimer::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_TIMER && wParam == kTimerId) {
        if (Timer) Timer();
        return 0;
    }
    return Win32Window::OnMessage(message, wParam, lParam);
}

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

int WinMessageBox::MsgBox(const std::string& text, int style) {
    // Modal for the whole program, as a message box of its own windows, and in front.
    const int answer = MessageBoxW(nullptr, Utf8ToWide(text).c_str(), L"Quorvellis",
                                   static_cast<UINT>(style) | MB_TASKMODAL | MB_SETFOREGROUND);
    // A close request from outside ("close this program" tools ask every window) closes a
    // Yes/No box without an answer: that is not a Yes.
    if (answer == IDCANCEL && (static_cast<UINT>(style) & MB_TYPEMASK) == MB_YESNO) return IDNO;
    return answer;
}
