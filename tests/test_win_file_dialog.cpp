#include <gtest/gtest.h>

#include <string_view>

#include "platform/win/win_file_dialog.h"
#include "win_ui_support.h"

namespace {
using namespace std::string_view_literals;

// Answers the next open-file dialog of this thread: types a name and confirms, or cancels.
struct DialogDriver {
    static inline std::wstring typed;  // empty: cancel
    static inline std::wstring title;
    static inline bool answered = false;

    static BOOL CALLBACK Find(HWND window, LPARAM) {
        wchar_t name[16] = {};
        GetClassNameW(window, name, 16);
        if (std::wstring_view(name) != L"#32770" || !IsWindowVisible(window)) return TRUE;
        wchar_t caption[128] = {};
        GetWindowTextW(window, caption, 128);
        title = caption;
        if (typed.empty()) {
            PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
        } else {
            // The file name box: a combo box in the explorer-style dialog, else an edit.
            const int box = GetDlgItem(window, 0x47C) ? 0x47C : 0x480;
            SetDlgItemTextW(window, box, typed.c_str());
            PostMessageW(window, WM_COMMAND, IDOK, 0);
        }
        answered = true;
        return FALSE;
    }
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
        if (!answered) EnumThreadWindows(GetCurrentThreadId(), &Find, 0);
    }
};

std::string Show(WinFileDialog& dialog, const std::wstring& typed, std::string name) {
    DialogDriver::typed = typed;
    DialogDriver::answered = false;
    const UINT_PTR timer = SetTimer(nullptr, 0, 100, &DialogDriver::Tick);
    dialog.ShowOpen("Your Tavorin Icon", "Ico file | *.ico", name);
    KillTimer(nullptr, timer);
    return name;
}
}  // namespace

TEST(WinFileDialog, FilterInTheDialogsForm) {
    EXPECT_EQ(WinFileDialog::Filter("Ico file | *.ico"), L"Ico file\0*.ico\0\0"sv);
    EXPECT_EQ(WinFileDialog::Filter("Pictures|*.ico;*.bmp|All|*.*"),
              L"Pictures\0*.ico;*.bmp\0All\0*.*\0\0"sv);
}

TEST(WinFileDialog, ATypedNameComesBackWhetherOrNotTheFileExistsAndACancelKeepsIt) {
    winui::HostWindow owner;
    WinFileDialog dialog(owner.Get());
    const std::string typed = Show(dialog, L"C:\\windows\\no such icon.ico", "");
    EXPECT_TRUE(DialogDriver::answered);
    EXPECT_EQ(DialogDriver::title, L"Your Tavorin Icon");
    EXPECT_EQ(typed, "C:\\windows\\no such icon.ico");
    EXPECT_EQ(Show(dialog, L"", typed), typed);
    EXPECT_EQ(Show(dialog, L"", ""), "");
}
