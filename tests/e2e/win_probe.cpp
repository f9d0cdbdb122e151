// Tells the end-to-end tests under Wine what X11 cannot show of a Win32 window: the number
// of tabs of the tab control in the top-level window of the given title, or its edit's text.
// Usage: win_probe.exe TITLE [edit]   (prints "tabs=N" or the text; "none" without the window)
// Also: win_probe.exe hold FILE   (holds FILE open with no sharing until killed: "held")
#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include <cstdio>
#include <string>

namespace {
BOOL CALLBACK CountTabs(HWND child, LPARAM result) {
    wchar_t name[64] = {};
    GetClassNameW(child, name, 64);
    if (std::wstring(name) != WC_TABCONTROLW) return TRUE;
    *reinterpret_cast<LRESULT*>(result) = SendMessageW(child, TCM_GETITEMCOUNT, 0, 0);
    return FALSE;
}
}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    const std::string title = argv[1];
    if (title == "hold" && argc == 3) {
        if (CreateFileA(argv[2], GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr) ==
            INVALID_HANDLE_VALUE)
            return 1;
        std::puts("held");
        std::fflush(stdout);
        Sleep(INFINITE);
    }
    HWND window = FindWindowW(nullptr, std::wstring(title.begin(), title.end()).c_str());
    if (!window) return std::puts("none"), 1;
    if (argc > 2) {  // another process's control: only WM_GETTEXT asks it
        wchar_t text[4096] = {};
        SendMessageW(FindWindowExW(window, nullptr, L"Edit", nullptr), WM_GETTEXT, 4096,
                     reinterpret_cast<LPARAM>(text));
        return std::printf("%ls\n", text) < 0;
    }
    LRESULT tabs = -1;
    EnumChildWindows(window, CountTabs, reinterpret_cast<LPARAM>(&tabs));
    std::printf("tabs=%d\n", static_cast<int>(tabs));
    return 0;
}
