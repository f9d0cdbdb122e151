#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "builder/frmParam.h"
#include "fakes/fakes.h"
#include "fakes/param_fakes.h"
#include "platform/win/win_browser.h"
#include "platform/win/win_param_host.h"
#include "platform/win/win_param_window.h"
#include "win_ui_support.h"
// After windows.h, which it needs.
#include <commctrl.h>

namespace {
std::wstring ClassOf(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

std::wstring TextOf(HWND window) {
    wchar_t text[1024] = {};
    GetWindowTextW(window, text, 1024);
    return text;
}

std::wstring TabText(HWND tabs, int tab) {
    wchar_t text[128] = {};
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = text;
    item.cchTextMax = 128;
    SendMessageW(tabs, TCM_GETITEMW, static_cast<WPARAM>(tab), reinterpret_cast<LPARAM>(&item));
    return text;
}

LOGFONTW FontOf(HWND window) {
    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0)), sizeof font, &font);
    return font;
}

// A click on a tab, as the user makes it.
void ClickTab(HWND tabs, int tab) {
    RECT item{};
    SendMessageW(tabs, TCM_GETITEMRECT, static_cast<WPARAM>(tab), reinterpret_cast<LPARAM>(&item));
    const LPARAM at = MAKELPARAM((item.left + item.right) / 2, (item.top + item.bottom) / 2);
    SendMessageW(tabs, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageW(tabs, WM_LBUTTONUP, 0, at);
}

class WinParamWindowTest : public ::testing::Test {
  protected:
    WinParamWindowTest() { settings.LanguageCode = "en"; }
    void TearDown() override { winui::Pump(20); }

    HWND Open() {
        host.Show();
        winui::Pump();
        return host.window() ? host.window()->hwnd() : nullptr;
    }
    HWND Control(Ctl control) { return host.window()->Control(control); }
    frmParam& Form() { return host.Window(); }

    CallLog log;
    FakeMessageBox messageBox{log};
    FakeShell shell{log};
    FakeFileSystem files{log};
    SharedSettings settings;
    WinParamHost host{settings, messageBox, shell, files};
};
}  // namespace

TEST_F(WinParamWindowTest, BuiltFromTheLayoutWithItsCaptionsFontsAndLimits) {
    HWND window = Open();
    ASSERT_TRUE(window);
    EXPECT_EQ(TextOf(window), L"Tavorin");
    RECT client{};
    GetClientRect(window, &client);
    const UINT dpi = twips::DpiOf(window);
    EXPECT_EQ(client.right, twips::ToPixels(kParamClientWidth, dpi));
    EXPECT_EQ(client.bottom, twips::ToPixels(kParamClientHeight, dpi));

    struct Expected {
        Ctl control;
        const wchar_t* className;
        const wchar_t* text;  // null: not checked
    };
    const Expected controls[] = {
        {Ctl::SSTab1, WC_TABCONTROLW, nullptr},
        {Ctl::cmdUndo, L"Button", L"Close"},
        {Ctl::txtName, L"Edit", L"MyTavorin"},
        {Ctl::lblWeb, L"Static", L"url Web page"},
        {Ctl::cmbDelai, L"ComboBox", nullptr},
        {Ctl::lstInstall, L"ListBox", nullptr},
        {Ctl::chkAddSyst, L"Button", nullptr},
        {Ctl::lblStep1, L"Static", L"2"},
        {Ctl::lblInfo2, L"Static",
         L"This config menu is only avalable in this Version. \r\nWith an another name of "
         L"application, this menu is not present in your Tavorin.\r\nYour Pro version is without "
         L"advertising, this give you more place for your information (or your advertising)"},
    };
    for (const Expected& expected : controls) {
        SCOPED_TRACE(Design(expected.control).name);
        EXPECT_STREQ(ClassOf(Control(expected.control)).c_str(), expected.className);
        if (expected.text) {
            EXPECT_EQ(TextOf(Control(expected.control)), expected.text);
        }
    }

    HWND tabs = Control(Ctl::SSTab1);
    ASSERT_EQ(SendMessageW(tabs, TCM_GETITEMCOUNT, 0, 0), 3);
    EXPECT_EQ(TabText(tabs, 0), L"Config");
    EXPECT_EQ(TabText(tabs, 1), L"Create");
    EXPECT_EQ(TabText(tabs, 2), L"By your Pro version");

    // The name takes at most 15 typed characters.
    HWND name = Control(Ctl::txtName);
    EXPECT_EQ(SendMessageW(name, EM_GETLIMITTEXT, 0, 0), 15);
    SendMessageW(name, EM_SETSEL, 0, -1);
    for (wchar_t c : std::wstring(L"ABCDEFGHIJKLMNOPQRST")) SendMessageW(name, WM_CHAR, c, 0);
    EXPECT_EQ(TextOf(name), L"ABCDEFGHIJKLMNO");

    EXPECT_EQ(SendMessageW(Control(Ctl::cmbDelai), CB_GETCOUNT, 0, 0), 4);
    EXPECT_EQ(host.window()->Caption(Ctl::cmbDelai), "15");
    EXPECT_EQ(SendMessageW(Control(Ctl::lstInstall), LB_GETCOUNT, 0, 0), 5);

    const LOGFONTW base = FontOf(Control(Ctl::lblWeb));
    const LOGFONTW step = FontOf(Control(Ctl::lblStep0));
    EXPECT_STREQ(base.lfFaceName, L"MS Sans Serif");
    EXPECT_EQ(base.lfHeight, -MulDiv(8, static_cast<int>(dpi), 72));
    EXPECT_EQ(step.lfHeight, -MulDiv(18, static_cast<int>(dpi), 72));
    EXPECT_EQ(step.lfWeight, FW_BOLD);

    // The period sentence is closed up on screen as well as in twips.
    RECT before{}, period{}, after{};
    GetWindowRect(Control(Ctl::lblEvery0), &before);
    GetWindowRect(Control(Ctl::cmbDelai), &period);
    GetWindowRect(Control(Ctl::lblEvery1), &after);
    EXPECT_GT(before.right, before.left + 50) << "sized to its text";
    EXPECT_LE(std::abs(period.left - before.right), 1);
    EXPECT_LE(std::abs(after.left - period.right), 1);

    // Only the selected tab's controls show, and hidden ones stay hidden.
    EXPECT_TRUE(IsWindowVisible(Control(Ctl::txtName)));
    EXPECT_FALSE(IsWindowVisible(Control(Ctl::lstProgr)));
    EXPECT_FALSE(IsWindowVisible(Control(Ctl::cmdPayPro)));
    EXPECT_TRUE(IsWindowVisible(Control(Ctl::cmdUndo)));
}

TEST_F(WinParamWindowTest, TabClicksReportTheTabLeftAndShowTheirControls) {
    ASSERT_TRUE(Open());
    WinParamWindow& window = *host.window();
    HWND tabs = Control(Ctl::SSTab1);

    // Entering the creation tab from the configuration tab builds the files list.
    ClickTab(tabs, 1);
    EXPECT_EQ(window.Tab(), 1);
    EXPECT_EQ(SendMessageW(Control(Ctl::lstProgr), LB_GETCOUNT, 0, 0), 3);
    EXPECT_TRUE(IsWindowVisible(Control(Ctl::lstProgr)));
    EXPECT_FALSE(IsWindowVisible(Control(Ctl::txtName)));
    EXPECT_FALSE(IsWindowVisible(Control(Ctl::cmdShowFiles))) << "never shown";
    EXPECT_FALSE(IsWindowVisible(Control(Ctl::lstSyst))) << "until the box is ticked";

    // The check box shows the system files, on its own tab only.
    SendMessageW(Control(Ctl::chkAddSyst), BM_CLICK, 0, 0);
    EXPECT_EQ(window.CheckValue(Ctl::chkAddSyst), vbChecked);
    EXPECT_TRUE(IsWindowVisible(Control(Ctl::lstSyst)));

    std::vector<int> left;
    window.TabClick = [&](int previous) { left.push_back(previous); };
    ClickTab(tabs, 2);
    window.SetTab(0);
    window.SetTab(0);  // no change, no click
    ClickTab(tabs, 0);
    EXPECT_EQ(left, (std::vector<int>{1, 2}));
    EXPECT_FALSE(IsWindowVisible(Control(Ctl::lstSyst)));
    EXPECT_TRUE(window.Visible(Ctl::lstSyst)) << "its own flag stays";
}

TEST_F(WinParamWindowTest, CloseRunsQueryUnloadAndTheNextTouchBuildsTheWindowAnew) {
    ASSERT_TRUE(Open());
    frmParam& form = Form();
    form.DocInfo = true;
    SetWindowTextW(Control(Ctl::txtName), L"Changed");
    host.window()->ComboSelect(Ctl::cmbDelai, 3);
    ClickTab(Control(Ctl::SSTab1), 2);

    SendMessageW(Control(Ctl::cmdUndo), BM_CLICK, 0, 0);
    EXPECT_FALSE(form.DocInfo) << "the close request released the document";
    EXPECT_EQ(host.window(), nullptr);

    ASSERT_TRUE(Open());
    WinParamWindow& again = *host.window();
    EXPECT_EQ(again.Caption(Ctl::txtName), "MyTavorin");
    EXPECT_EQ(again.Caption(Ctl::cmbDelai), "15");
    EXPECT_EQ(again.Tab(), 0);
    EXPECT_EQ(SendMessageW(again.Control(Ctl::SSTab1), TCM_GETCURSEL, 0, 0), 0);

    // The close box takes the same road.
    Form().DocInfo = true;
    SendMessageW(again.hwnd(), WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(host.window(), nullptr);
}

TEST_F(WinParamWindowTest, PicturesThatCannotBeDecodedLeaveTheWindowUsable) {
    ASSERT_TRUE(Open());
    WinParamWindow& window = *host.window();
    const std::string data = TAVORIN_TEST_DATA;
    EXPECT_TRUE(window.LoadPicture(Ctl::Image1, data + "/Info.ico"));
    EXPECT_FALSE(window.LoadPicture(Ctl::Image1, data + "/broken.ico"));
    EXPECT_FALSE(window.LoadPicture(Ctl::Image1, data + "/no such file.ico"));
    EXPECT_TRUE(window.LoadPicture(Ctl::Image1, ""));
    winui::Pump();
    EXPECT_TRUE(IsWindow(window.hwnd()));
}

TEST_F(WinParamWindowTest, ThePreviewBrowserLivesInItsPaneAndGoesWithTheWindow) {
    ASSERT_TRUE(Open());
    WinBrowser* browser = host.browser();
    ASSERT_NE(browser, nullptr);
    EXPECT_EQ(browser->Parent(), Control(Ctl::WebBrowser1));
    EXPECT_FALSE(browser->ControlCreated()) << "made at the first page test";
    SetWindowTextW(Control(Ctl::txtWebPage), L"http://127.0.0.1:9/");
    SendMessageW(Control(Ctl::cmdTestWebPage), BM_CLICK, 0, 0);
    winui::Pump(200);
    EXPECT_TRUE(browser->ControlCreated());
    host.window()->Close();
    EXPECT_FALSE(browser->ControlCreated()) << "released while its window went";
}

// In both languages and at two scalings: every label shows its whole text, and no text
// reaches into another control of its page (a picture counts by the icon it draws).
TEST_F(WinParamWindowTest, LabelTextsFitAndStayClearOfTheControlsTheyTouch) {
    for (const char* language : {"en", "fr"})
        for (UINT dpi : {96U, 144U}) {
            SCOPED_TRACE(std::string(language) + " at " + std::to_string(dpi) + " dpi");
            settings.LanguageCode = language;
            FakeBrowser browser{log};
            FakeFileDialog dialog{log};
            WinParamWindow window(dpi);
            ASSERT_TRUE(window.hwnd());
            frmParam form(settings, ParamPorts{window, browser, dialog, messageBox, shell, files});
            form.Form_Load();
            window.SetCaption(Ctl::txtName, "VillageNewsDesk");  // the longest name, on tab 1
            window.SetTab(1);
            window.SetCaption(Ctl::lblFolder, "C:\\Tavorin\\VillageNewsDesk");
            for (const CtlDesign& label : ParamLayout()) {
                if (label.kind != CtlKind::Label) continue;
                HWND control = window.Control(label.id);
                RECT text{}, client{};
                GetClientRect(control, &client);
                HDC dc = GetDC(control);
                SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
                const bool path = GetWindowLongPtrW(control, GWL_STYLE) & SS_PATHELLIPSIS;
                text.right = client.right;
                DrawTextW(dc, TextOf(control).c_str(), -1, &text,
                          DT_CALCRECT | DT_NOPREFIX | (path ? DT_SINGLELINE : DT_WORDBREAK));
                ReleaseDC(control, dc);
                EXPECT_TRUE(text.right <= client.right && text.bottom <= client.bottom)
                    << label.name;
                MapWindowPoints(control, window.hwnd(), reinterpret_cast<POINT*>(&text), 2);
                for (const CtlDesign& other : ParamLayout()) {
                    RECT area{}, common{};
                    GetWindowRect(window.Control(other.id), &area);
                    MapWindowPoints(nullptr, window.hwnd(), reinterpret_cast<POINT*>(&area), 2);
                    if (other.kind == CtlKind::Picture)
                        area.left = area.right - MulDiv(32, static_cast<int>(dpi), 96);
                    EXPECT_TRUE(other.id == label.id || other.tab != label.tab ||
                                other.kind == CtlKind::TabControl || other.kind == CtlKind::Line ||
                                !IntersectRect(&common, &text, &area))
                        << label.name << " over " << other.name;
                }
            }
        }
}
