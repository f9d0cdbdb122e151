#include <gtest/gtest.h>

#include "platform/win/win_browser.h"
#include "win_ui_support.h"

namespace {
const OleSession ole;  // as in the program
DWORD EmulationValue(const std::wstring& name) {
    DWORD value = 0, size = sizeof value;
    if (RegGetValueW(HKEY_CURRENT_USER,
                     L"Software\\Microsoft\\Internet Explorer\\Main\\FeatureControl\\"
                     L"FEATURE_BROWSER_EMULATION",
                     name.c_str(), RRF_RT_REG_DWORD, nullptr, &value, &size) != ERROR_SUCCESS)
        return 0;
    return value;
}

// Every use of a browser whose control is missing or failing leaves the program going:
// no event, no crash, the host window still there.
void UseEveryOperation(WinBrowser& browser, int& events) {
    browser.DocumentComplete = [&] { ++events; };
    browser.DocumentContextMenu = [&] { return ++events, false; };
    browser.Move(-40, -40, 7580, 5440);
    browser.Navigate("http://127.0.0.1:9/");
    browser.AttachDocument(true);
    browser.SetHostVisible(false);
    browser.SetHostVisible(true);
    // The largest body a poll takes, shown from memory and brought back after a hide.
    browser.ShowPage("http://127.0.0.1:9/", std::string(16 << 20, '<'));
    browser.SetHostVisible(false);
    browser.SetHostVisible(true);
    browser.Navigate("");
    winui::Pump(300);
    browser.AttachDocument(false);
}
}  // namespace

TEST(WinBrowser, WithoutTheControlEverythingElseGoesOn) {
    winui::HostWindow host;
    ASSERT_TRUE(host.Get());
    const CLSID missing = {0x1b2c3d4e, 0x0, 0x0, {0, 0, 0, 0, 0, 0, 0, 1}};
    WinBrowser browser(host.Get(), &missing);
    int events = 0;
    UseEveryOperation(browser, events);
    EXPECT_FALSE(browser.ControlCreated());
    MSG key{host.Get(), WM_KEYDOWN, VK_TAB, 0, 0, {}};
    EXPECT_FALSE(browser.PreTranslate(key)) << "no control to take the key";
    EXPECT_EQ(events, 0);
    EXPECT_TRUE(IsWindow(host.Get()));
}

TEST(WinBrowser, TheSystemControlIsMadeOnFirstNavigateWithTheNewestDocumentMode) {
    wchar_t path[MAX_PATH];
    std::wstring name(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
    name.erase(0, name.find_last_of(L"\\/") + 1);
    RegDeleteKeyValueW(HKEY_CURRENT_USER,
                       L"Software\\Microsoft\\Internet Explorer\\Main\\FeatureControl\\"
                       L"FEATURE_BROWSER_EMULATION",
                       name.c_str());

    winui::HostWindow host;
    HWND button = CreateWindowExW(0, L"BUTTON", L"_", WS_CHILD | WS_VISIBLE, 0, 0, 25, 25,
                                  host.Get(), nullptr, nullptr, nullptr);
    WinBrowser browser(host.Get());
    browser.Move(0, 0, 3000, 2000);
    EXPECT_FALSE(browser.ControlCreated()) << "the constructor and Move stay cheap";
    EXPECT_EQ(EmulationValue(name), 0u);

    int events = 0;
    UseEveryOperation(browser, events);
    EXPECT_EQ(EmulationValue(name), kBrowserEmulationMode);
    ASSERT_TRUE(browser.ControlCreated()) << "Wine's control exists, with no HTML engine behind it";
    EXPECT_EQ(GetWindow(host.Get(), GW_CHILD), button) << "the page lies under the button";
    browser.Destroy();
    EXPECT_FALSE(browser.ControlCreated());
    EXPECT_TRUE(IsWindow(host.Get()));
}
