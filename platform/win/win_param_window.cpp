#include "platform/win/win_param_window.h"

#include <commctrl.h>

#include <vector>

#include "platform/win/win_param_controls.h"
#include "resources/win/resource_ids.h"

using namespace param_window;

namespace {
std::vector<std::string> Lines(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find('\n', start);
        lines.emplace_back(text.substr(start, end == std::string_view::npos ? end : end - start));
        if (end == std::string_view::npos) return lines;
        start = end + 1;
    }
}

bool SingleLine(const CtlDesign& design) {
    return design.rect.Height < 400;
}
}  // namespace

namespace param_window {
std::wstring ControlText(const std::string& text) {
    std::wstring wide = Utf8ToWide(text);
    std::wstring result;
    result.reserve(wide.size());
    for (wchar_t c : wide) {
        if (c == L'\n' && (result.empty() || result.back() != L'\r')) result += L'\r';
        result += c;
    }
    return result;
}

bool PathLabel(const CtlDesign& design) {
    return design.kind == CtlKind::Label && design.border && SingleLine(design);
}

bool FittedLabel(const CtlDesign& design) {
    return design.kind == CtlKind::Label && !PathLabel(design) && design.rect.Width > 0;
}

}  // namespace param_window

WinParamWindow::WinParamWindow(UINT dpi) {
    static const bool controlsReady = [] {
        INITCOMMONCONTROLSEX init{sizeof(INITCOMMONCONTROLSEX), ICC_TAB_CLASSES};
        return InitCommonControlsEx(&init) != FALSE;
    }();
    (void)controlsReady;
    // Its own designed icon, where the program carries it.
    windowIcon_ =
        static_cast<HICON>(LoadImageW(ProgramInstance(), MAKEINTRESOURCEW(IDI_PARAM), IMAGE_ICON,
                                      GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0));
    windowIconSmall_ = static_cast<HICON>(LoadImageW(ProgramInstance(), MAKEINTRESOURCEW(IDI_PARAM),
                                                     IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                                     GetSystemMetrics(SM_CYSMICON), 0));

    dpi_ = dpi ? dpi : twips::DpiOf(nullptr);
    // Labels are fitted among all the controls, those made after them included.
    for (const CtlDesign& design : ParamLayout()) rects_[Index(design.id)] = design.rect;
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
    RECT frame{0, 0, twips::ToPixels(kParamClientWidth, dpi_),
               twips::ToPixels(kParamClientHeight, dpi_)};
    AdjustWindowRectEx(&frame, style, FALSE, 0);
    Create(L"TavorinParam", nullptr, 0, style, nullptr, CW_USEDEFAULT, CW_USEDEFAULT,
           frame.right - frame.left, frame.bottom - frame.top);
    if (!hwnd()) return;
    // The title is the product's name in every language.
    SetWindowTextW(hwnd(), L"Tavorin");
    if (windowIcon_)
        SendMessageW(hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(windowIcon_));
    if (windowIconSmall_)
        SendMessageW(hwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(windowIconSmall_));

    for (const CtlDesign& design : ParamLayout()) CreateControl(design);
    // From the bottom: the tab control, the picture, the labels, then the other controls,
    // so that a label never paints over a control it touches.
    for (const CtlDesign& design : ParamLayout())
        if (design.kind == CtlKind::Label) {
            SetWindowPos(Control(design.id), HWND_BOTTOM, 0, 0, 0, 0,
                         SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
            Place(design.id);
        }
    for (Ctl bottom : {Ctl::Image1, Ctl::SSTab1})
        SetWindowPos(Control(bottom), HWND_BOTTOM, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    ShowTabControls();
    // The name is what the user comes to change first.
    focus_ = Control(Ctl::txtName);
}

WinParamWindow::~WinParamWindow() {
    Click = nullptr;
    TabClick = nullptr;
    Activate = nullptr;
    QueryUnload = nullptr;
    Destroying = nullptr;
    if (hwnd()) DestroyWindow(hwnd());
    ClearPicture();
    for (auto& [key, font] : fonts_) DeleteObject(font);
    for (auto& [colour, brush] : brushes_) DeleteObject(brush);
    if (windowIcon_) DestroyIcon(windowIcon_);
    if (windowIconSmall_) DestroyIcon(windowIconSmall_);
}

void WinParamWindow::CreateControl(const CtlDesign& design) {
    const std::size_t index = Index(design.id);
    const std::wstring caption = ControlText(std::string(design.caption));
    DWORD style = WS_CHILD | WS_CLIPSIBLINGS;
    DWORD exStyle = 0;
    const wchar_t* className = L"STATIC";
    switch (design.kind) {
        case CtlKind::TabControl:
            className = WC_TABCONTROLW;
            style |= TCS_FIXEDWIDTH | WS_TABSTOP;
            break;
        case CtlKind::Button:
            className = L"BUTTON";
            style |= BS_PUSHBUTTON | BS_MULTILINE | WS_TABSTOP;
            break;
        case CtlKind::CheckBox:
            className = L"BUTTON";
            style |= BS_AUTOCHECKBOX | BS_MULTILINE | WS_TABSTOP;
            break;
        case CtlKind::Label:
            style |= SS_NOPREFIX | (design.centred ? SS_CENTER : SS_LEFT);
            // A path too long for its box keeps its last part, the name.
            if (PathLabel(design)) style |= SS_PATHELLIPSIS;
            if (design.border) exStyle |= WS_EX_STATICEDGE;
            break;
        case CtlKind::TextBox:
            className = L"EDIT";
            style |= ES_AUTOHSCROLL | WS_TABSTOP;
            exStyle |= WS_EX_CLIENTEDGE;
            break;
        case CtlKind::Picture:
            style |= SS_OWNERDRAW;
            break;
        case CtlKind::Browser:
            // An empty white pane until the first page test makes the control inside it.
            style |= SS_WHITERECT | WS_CLIPCHILDREN;
            exStyle |= WS_EX_CLIENTEDGE;
            break;
        case CtlKind::ComboList:
            className = L"COMBOBOX";
            style |= CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP;
            break;
        case CtlKind::ListBox:
            className = L"LISTBOX";
            style |= LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_TABSTOP;
            exStyle |= WS_EX_CLIENTEDGE;
            break;
        case CtlKind::Line:
            style |= SS_ETCHEDHORZ;
            break;
    }
    const bool textual = design.kind == CtlKind::Button || design.kind == CtlKind::CheckBox ||
                         design.kind == CtlKind::Label || design.kind == CtlKind::TextBox;
    HWND control =
        CreateWindowExW(exStyle, className, textual ? caption.c_str() : L"", style, 0, 0, 0, 0,
                        hwnd(), reinterpret_cast<HMENU>(index + 100), ProgramInstance(), nullptr);
    controls_[index] = control;
    captions_[index] = std::string(design.caption);
    visible_[index] = design.visible;
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(Font(design.pointSize, design.bold)),
                 FALSE);

    switch (design.kind) {
        case CtlKind::TabControl: {
            for (int tab = 0; tab < kTabCount; ++tab) {
                TCITEMW item{};
                item.mask = TCIF_TEXT;
                item.pszText = const_cast<wchar_t*>(L"");
                SendMessageW(control, TCM_INSERTITEMW, static_cast<WPARAM>(tab),
                             reinterpret_cast<LPARAM>(&item));
            }
            // A little narrower than a third: the row must not need scroll arrows.
            const int width = (twips::ToPixels(design.rect.Width, dpi_) - 8) / kTabCount;
            // The row's height includes the tab's frame.
            const int height = twips::ToPixels(kParamTabHeight, dpi_) - 2;
            SendMessageW(control, TCM_SETITEMSIZE, 0, MAKELPARAM(width, height));
            SendMessageW(control, TCM_SETCURSEL, 0, 0);
            break;
        }
        case CtlKind::TextBox:
            if (design.maxLength > 0)
                SendMessageW(control, EM_SETLIMITTEXT, static_cast<WPARAM>(design.maxLength), 0);
            break;
        case CtlKind::ComboList:
        case CtlKind::ListBox:
            if (!design.caption.empty())
                for (const std::string& item : Lines(design.caption)) ListAdd(design.id, item);
            if (design.kind == CtlKind::ComboList)
                SendMessageW(control, CB_SETCURSEL, WPARAM(-1), 0);
            break;
        default:
            break;
    }
    Place(design.id);
    if (design.kind == CtlKind::Label && design.rect.Width == 0) AutoSize(design.id);
}

void WinParamWindow::ShowTabControls() {
    for (const CtlDesign& design : ParamLayout()) {
        const bool shown =
            visible_[Index(design.id)] && (design.tab < 0 || design.tab == currentTab_);
        ShowWindow(Control(design.id), shown ? SW_SHOWNA : SW_HIDE);
    }
}

void WinParamWindow::OnTabChanged(int index) {
    const int previous = currentTab_;
    currentTab_ = index;
    ShowTabControls();
    if (previous != index && TabClick) TabClick(previous);
}

Ctl WinParamWindow::FromHandle(HWND control) const {
    for (std::size_t i = 0; i < controls_.size(); ++i)
        if (controls_[i] == control) return static_cast<Ctl>(i);
    return Ctl::Count;
}

bool WinParamWindow::PreTranslate(MSG& message) {
    if (!hwnd() || (message.hwnd != hwnd() && !IsChild(hwnd(), message.hwnd))) return false;
    // The preview's page takes its own keys.
    if (IsChild(BrowserHost(), message.hwnd)) return false;
    return IsDialogMessageW(hwnd(), &message) != FALSE;
}

LRESULT WinParamWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            if (HIWORD(wParam) == BN_CLICKED && lParam) {
                const Ctl id = FromHandle(reinterpret_cast<HWND>(lParam));
                if (id != Ctl::Count && Click) Click(id);
                return 0;
            }
            break;
        case WM_NOTIFY: {
            const auto* header = reinterpret_cast<const NMHDR*>(lParam);
            if (header && header->hwndFrom == Control(Ctl::SSTab1) &&
                header->code == static_cast<UINT>(TCN_SELCHANGE)) {
                OnTabChanged(static_cast<int>(SendMessageW(header->hwndFrom, TCM_GETCURSEL, 0, 0)));
                return 0;
            }
            break;
        }
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN:
            if (LRESULT brush =
                    ColourStatic(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam)))
                return brush;
            break;
        case WM_DRAWITEM: {
            const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
            if (item && item->hwndItem == Control(Ctl::Image1)) {
                DrawPicture(*item);
                return TRUE;
            }
            break;
        }
        case WM_ERASEBKGND: {
            RECT client;
            GetClientRect(hwnd(), &client);
            FillRect(reinterpret_cast<HDC>(wParam), &client, GetSysColorBrush(COLOR_BTNFACE));
            return 1;
        }
        case WM_ACTIVATE:
            // The control that had the focus gets it back, as in a dialog.
            if (LOWORD(wParam) == WA_INACTIVE) {
                HWND focus = GetFocus();
                if (focus && IsChild(hwnd(), focus)) focus_ = focus;
                break;
            }
            activated_ = true;
            if (Activate) Activate();
            if (focus_ && IsWindow(focus_) && IsWindowVisible(focus_)) {
                SetFocus(focus_);
                return 0;
            }
            break;
        case WM_CLOSE:
            // The close request never refuses: the window always goes.
            if (QueryUnload) QueryUnload();
            DestroyWindow(hwnd());
            return 0;
        case WM_DESTROY:
            if (Destroying) Destroying();
            return 0;
        default:
            break;
    }
    return Win32Window::OnMessage(message, wParam, lParam);
}
