#include "platform/win/win_param_controls.h"
#include "platform/win/win_param_window.h"
// After windows.h:
#include <commctrl.h>

using namespace param_window;

namespace {
std::string WindowText(HWND window) {
    const int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), length + 1)));
    return WideToUtf8(text);
}

// The text of item index of a list box or drop-down list, "" for none.
std::string ItemText(HWND box, bool combo, LRESULT index) {
    if (index < 0) return {};
    const LRESULT length =
        SendMessageW(box, combo ? CB_GETLBTEXTLEN : LB_GETTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length < 0) return {};
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    SendMessageW(box, combo ? CB_GETLBTEXT : LB_GETTEXT, static_cast<WPARAM>(index),
                 reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(length));
    return WideToUtf8(text);
}
}  // namespace

std::string WinParamWindow::Caption(Ctl control) {
    HWND window = Control(control);
    switch (Design(control).kind) {
        case CtlKind::Button:
        case CtlKind::Label:
        case CtlKind::CheckBox:
            return captions_[Index(control)];
        case CtlKind::TextBox:
            return WindowText(window);
        case CtlKind::ComboList:
            return ItemText(window, true, SendMessageW(window, CB_GETCURSEL, 0, 0));
        case CtlKind::ListBox:
            return ItemText(window, false, SendMessageW(window, LB_GETCURSEL, 0, 0));
        case CtlKind::TabControl: {
            wchar_t text[256] = {};
            TCITEMW item{};
            item.mask = TCIF_TEXT;
            item.pszText = text;
            item.cchTextMax = 256;
            SendMessageW(window, TCM_GETITEMW, static_cast<WPARAM>(Tab()),
                         reinterpret_cast<LPARAM>(&item));
            return WideToUtf8(text);
        }
        case CtlKind::Picture:
        case CtlKind::Browser:
        case CtlKind::Line:
            break;
    }
    return {};
}

void WinParamWindow::SetCaption(Ctl control, const std::string& text) {
    HWND window = Control(control);
    switch (Design(control).kind) {
        case CtlKind::Button:
        case CtlKind::CheckBox:
        case CtlKind::Label:
            captions_[Index(control)] = text;
            SetWindowTextW(window, ControlText(text).c_str());
            if (FittedLabel(Design(control))) Place(control);
            break;
        case CtlKind::TextBox:
            SetWindowTextW(window, Utf8ToWide(text).c_str());
            break;
        case CtlKind::ComboList: {
            // A drop-down list only takes one of its own entries.
            const std::wstring wide = Utf8ToWide(text);
            const LRESULT index = SendMessageW(window, CB_FINDSTRINGEXACT, WPARAM(-1),
                                               reinterpret_cast<LPARAM>(wide.c_str()));
            if (index != CB_ERR) SendMessageW(window, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
            break;
        }
        case CtlKind::TabControl:
            SetTabCaption(Tab(), text);
            break;
        case CtlKind::ListBox:
        case CtlKind::Picture:
        case CtlKind::Browser:
        case CtlKind::Line:
            break;
    }
}

void WinParamWindow::SetTabCaption(int tab, const std::string& text) {
    if (tab < 0 || tab >= kTabCount) return;
    std::wstring wide = Utf8ToWide(text);
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = wide.data();
    SendMessageW(Control(Ctl::SSTab1), TCM_SETITEMW, static_cast<WPARAM>(tab),
                 reinterpret_cast<LPARAM>(&item));
}

int WinParamWindow::Tab() {
    return currentTab_;
}

void WinParamWindow::SetTab(int tab) {
    if (tab < 0 || tab >= kTabCount || tab == currentTab_) return;
    // TCM_SETCURSEL tells nobody: the change is reported as a click reports it.
    SendMessageW(Control(Ctl::SSTab1), TCM_SETCURSEL, static_cast<WPARAM>(tab), 0);
    OnTabChanged(tab);
}

void WinParamWindow::ListClear(Ctl list) {
    const bool combo = Design(list).kind == CtlKind::ComboList;
    SendMessageW(Control(list), combo ? CB_RESETCONTENT : LB_RESETCONTENT, 0, 0);
}

void WinParamWindow::ListAdd(Ctl list, const std::string& item) {
    const bool combo = Design(list).kind == CtlKind::ComboList;
    const std::wstring wide = Utf8ToWide(item);
    SendMessageW(Control(list), combo ? CB_ADDSTRING : LB_ADDSTRING, 0,
                 reinterpret_cast<LPARAM>(wide.c_str()));
}

void WinParamWindow::ComboSelect(Ctl combo, int index) {
    const bool isCombo = Design(combo).kind == CtlKind::ComboList;
    const LRESULT count = SendMessageW(Control(combo), isCombo ? CB_GETCOUNT : LB_GETCOUNT, 0, 0);
    const WPARAM chosen = index >= 0 && index < count ? static_cast<WPARAM>(index) : WPARAM(-1);
    SendMessageW(Control(combo), isCombo ? CB_SETCURSEL : LB_SETCURSEL, chosen, 0);
}

int WinParamWindow::CheckValue(Ctl checkBox) {
    switch (SendMessageW(Control(checkBox), BM_GETCHECK, 0, 0)) {
        case BST_CHECKED:
            return vbChecked;
        case BST_INDETERMINATE:
            return 2;  // greyed
        default:
            return vbUnchecked;
    }
}

bool WinParamWindow::Visible(Ctl control) {
    // The control's own flag: controls of the tabs not shown still count as visible.
    return visible_[Index(control)];
}

void WinParamWindow::SetVisible(Ctl control, bool visible) {
    visible_[Index(control)] = visible;
    ShowTabControls();
}

TwipsRect WinParamWindow::Rect(Ctl control) {
    return rects_[Index(control)];
}

void WinParamWindow::Move(Ctl control, const TwipsRect& rect) {
    rects_[Index(control)] = rect;
    Place(control);
}

void WinParamWindow::AutoSize(Ctl label) {
    if (Design(label).kind != CtlKind::Label) return;
    HWND window = Control(label);
    HDC dc = GetDC(window);
    const HGDIOBJ old =
        SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0)));
    RECT needed{0, 0, 0, 0};
    DrawTextW(dc, ControlText(captions_[Index(label)]).c_str(), -1, &needed,
              DT_CALCRECT | DT_NOPREFIX | DT_LEFT);
    SelectObject(dc, old);
    ReleaseDC(window, dc);
    RECT frame{0, 0, needed.right, needed.bottom};
    AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongPtrW(window, GWL_EXSTYLE)));
    TwipsRect& rect = rects_[Index(label)];
    // Rounded up, so that the text never loses its last pixel on the way back.
    rect.Width = MulDiv(frame.right - frame.left, 1440, static_cast<int>(dpi_)) + 1;
    rect.Height = MulDiv(frame.bottom - frame.top, 1440, static_cast<int>(dpi_)) + 1;
    Place(label);
}

bool WinParamWindow::LoadPicture(Ctl picture, const std::string& path) {
    if (Design(picture).kind != CtlKind::Picture) return false;
    ClearPicture();
    InvalidateRect(Control(picture), nullptr, TRUE);
    if (path.empty()) return true;
    const std::wstring wide = Utf8ToWide(path);
    icon_ = static_cast<HICON>(
        LoadImageW(nullptr, wide.c_str(), IMAGE_ICON, kPictureSize, kPictureSize, LR_LOADFROMFILE));
    if (!icon_)
        bitmap_ = static_cast<HBITMAP>(
            LoadImageW(nullptr, wide.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE));
    return icon_ || bitmap_;
}

void WinParamWindow::Show() {
    if (!hwnd()) return;
    ShowWindow(hwnd(), IsIconic(hwnd()) ? SW_RESTORE : SW_SHOW);
    SetForegroundWindow(hwnd());
    BringWindowToTop(hwnd());
    // The tab control under its pages' controls may miss the first paint otherwise.
    RedrawWindow(hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
    // The first showing counts as activation even where the system withholds the focus.
    if (!shown_) {
        shown_ = true;
        if (!activated_ && Activate) Activate();
    }
}

void WinParamWindow::Close() {
    if (hwnd()) SendMessageW(hwnd(), WM_CLOSE, 0, 0);
}
