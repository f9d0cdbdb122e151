#include "platform/win/win_param_window.h"

#include <commctrl.h>

#include <algorithm>
#include <vector>

#include "resources/win/resource_ids.h"

namespace {
constexpr int kTabCount = 3;
constexpr int kBaseFontSize = 8;
constexpr int kPictureSize = 32;  // icons carry several images; the box shows this one
constexpr int kDropDownItems = 6;
constexpr wchar_t kFontFace[] = L"MS Sans Serif";

COLORREF ToColorRef(std::uint32_t rgb) {
    return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

// Labels break lines at "\n"; the controls want "\r\n".
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

std::string WindowText(HWND window) {
    const int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), length + 1)));
    return WideToUtf8(text);
}

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

bool SingleLine(const CtlDesign& design) {
    return design.rect.Height < 400;
}

// Bordered one-line labels hold paths: those may be longer than any box and keep their end.
bool PathLabel(const CtlDesign& design) {
    return design.kind == CtlKind::Label && design.border && SingleLine(design);
}

// Labels sized to their text (the period row) need no fitting.
bool FittedLabel(const CtlDesign& design) {
    return design.kind == CtlKind::Label && !PathLabel(design) && design.rect.Width > 0;
}

LONG Area(const RECT& r) {
    return r.right > r.left && r.bottom > r.top ? (r.right - r.left) * (r.bottom - r.top) : 0;
}
}  // namespace

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

HFONT WinParamWindow::Font(int pointSize, bool bold) {
    const int size = pointSize > 0 ? pointSize : kBaseFontSize;
    return PixelFont(MulDiv(size, static_cast<int>(dpi_), 72), bold);
}

HFONT WinParamWindow::PixelFont(int height, bool bold) {
    HFONT& font = fonts_[{height, bold}];
    if (!font) {
        LOGFONTW design{};
        design.lfHeight = -height;
        design.lfWeight = bold ? FW_BOLD : FW_NORMAL;
        design.lfCharSet = DEFAULT_CHARSET;
        wcscpy_s(design.lfFaceName, kFontFace);
        font = CreateFontIndirectW(&design);
    }
    return font;
}

HBRUSH WinParamWindow::Brush(COLORREF colour) {
    HBRUSH& brush = brushes_[colour];
    if (!brush) brush = CreateSolidBrush(colour);
    return brush;
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

RECT WinParamWindow::PixelRect(Ctl control) const {
    const CtlDesign& design = Design(control);
    TwipsRect rect = rects_[Index(control)];
    if (design.tab >= 0) {
        const TwipsRect& tabs = Design(Ctl::SSTab1).rect;
        rect.Left += tabs.Left;
        rect.Top += tabs.Top;
    }
    const int left = twips::ToPixels(rect.Left, dpi_), top = twips::ToPixels(rect.Top, dpi_);
    return {left, top, left + twips::ToPixels(rect.Width, dpi_),
            top + twips::ToPixels(rect.Height, dpi_)};
}

// The one rule for a label's text, which must show whole while the designed layout stays:
// its box is its designed one less the part that other controls of its page overlap (cut
// on the side that keeps most of it); its text wraps at words; when the text needs more
// height, the box grows downward, then upward, into room no control of the page takes;
// only when that room is short too is its font made smaller, a pixel at a time. Growing
// into free room keeps every text at its designed size wherever the window has space.
RECT WinParamWindow::FitLabel(Ctl label) {
    const CtlDesign& design = Design(label);
    HWND window = Control(label);
    const int gap = MulDiv(2, static_cast<int>(dpi_), 96);
    RECT page = PixelRect(Ctl::SSTab1);
    if (design.tab >= 0)
        SendMessageW(Control(Ctl::SSTab1), TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&page));
    InflateRect(&page, -gap, -gap);
    std::vector<RECT> others;
    for (const CtlDesign& other : ParamLayout()) {
        if (other.id == label || other.tab != design.tab || other.kind == CtlKind::TabControl)
            continue;
        RECT r = PixelRect(other.id);
        if (other.kind == CtlKind::Picture) {
            // A picture takes only the square it draws, at its box's right edge.
            const int size = MulDiv(kPictureSize, static_cast<int>(dpi_), 96);
            r.left = std::max(r.left, r.right - size);
            r.bottom = std::min(r.bottom, r.top + size);
        }
        if (other.kind == CtlKind::Line) r.bottom = r.top + 2;
        if (Area(r) > 0) others.push_back(r);
    }

    RECT box = PixelRect(label);
    for (const RECT& other : others) {
        RECT common;
        if (!IntersectRect(&common, &box, &other)) continue;
        RECT cuts[4] = {box, box, box, box};
        cuts[0].right = other.left > box.left ? other.left - gap : box.left;
        cuts[1].bottom = other.top > box.top ? other.top - gap : box.top;
        cuts[2].left = other.right < box.right ? other.right + gap : box.right;
        cuts[3].top = other.bottom < box.bottom ? other.bottom + gap : box.bottom;
        box = *std::max_element(std::begin(cuts), std::end(cuts),
                                [](const RECT& a, const RECT& b) { return Area(a) < Area(b); });
    }
    // How far an edge may move before it meets a control of the page that shares columns.
    auto room = [&](bool below) {
        LONG limit = below ? page.bottom : page.top;
        for (const RECT& other : others) {
            if (other.right <= box.left || other.left >= box.right) continue;
            if (below && other.top >= box.bottom) limit = std::min(limit, other.top - gap);
            if (!below && other.bottom <= box.top) limit = std::max(limit, other.bottom + gap);
        }
        return std::max(0L, below ? limit - box.bottom : box.top - limit);
    };

    RECT frame{0, 0, 0, 0};
    AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongPtrW(window, GWL_EXSTYLE)));
    const std::wstring text = ControlText(captions_[Index(label)]);
    const UINT format = DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX |
                        (design.centred ? DT_CENTER : DT_LEFT);
    const int designed =
        MulDiv(design.pointSize > 0 ? design.pointSize : kBaseFontSize, static_cast<int>(dpi_), 72);
    HDC dc = GetDC(window);
    HFONT font = nullptr;
    for (int height = designed; height >= designed * 2 / 3; --height) {
        font = PixelFont(height, design.bold);
        const HGDIOBJ old = SelectObject(dc, font);
        const LONG width = box.right - box.left - (frame.right - frame.left);
        RECT needed{0, 0, width, 0};
        DrawTextW(dc, text.c_str(), -1, &needed, format);
        SelectObject(dc, old);
        LONG missing = needed.bottom + (frame.bottom - frame.top) - (box.bottom - box.top);
        if (needed.right > width) continue;
        if (missing <= 0) break;
        const LONG down = room(true), up = room(false);
        if (down + up < missing) continue;
        box.bottom += std::min(down, missing);
        box.top -= std::max(0L, missing - down);
        break;
    }
    ReleaseDC(window, dc);
    SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    return box;
}

void WinParamWindow::Place(Ctl control) {
    const CtlDesign& design = Design(control);
    if (FittedLabel(design)) {
        const RECT box = FitLabel(control);
        MoveWindow(Control(control), box.left, box.top, box.right - box.left, box.bottom - box.top,
                   TRUE);
        return;
    }
    const RECT box = PixelRect(control);
    int height = box.bottom - box.top;
    if (design.kind == CtlKind::Line) height = 2;
    // A drop-down list's height includes its opened list.
    if (design.kind == CtlKind::ComboList) {
        const auto item = SendMessageW(Control(control), CB_GETITEMHEIGHT, 0, 0);
        height += static_cast<int>(std::max<LRESULT>(item, 13)) * kDropDownItems;
    }
    MoveWindow(Control(control), box.left, box.top, box.right - box.left, height, TRUE);
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

void WinParamWindow::ClearPicture() {
    if (icon_) DestroyIcon(icon_);
    if (bitmap_) DeleteObject(bitmap_);
    icon_ = nullptr;
    bitmap_ = nullptr;
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

void WinParamWindow::DrawPicture(const DRAWITEMSTRUCT& item) {
    FillRect(item.hDC, &item.rcItem, Brush(PageColour()));
    // Against the right edge: the rectangle starts under the icon caption, which stays readable.
    if (icon_) {
        const int size = MulDiv(kPictureSize, static_cast<int>(dpi_), 96);
        DrawIconEx(item.hDC, item.rcItem.right - size, item.rcItem.top, icon_, size, size, 0,
                   nullptr, DI_NORMAL);
    } else if (bitmap_) {
        BITMAP info{};
        GetObjectW(bitmap_, sizeof info, &info);
        HDC source = CreateCompatibleDC(item.hDC);
        const HGDIOBJ old = SelectObject(source, bitmap_);
        BitBlt(item.hDC, item.rcItem.right - info.bmWidth, item.rcItem.top, info.bmWidth,
               info.bmHeight, source, 0, 0, SRCCOPY);
        SelectObject(source, old);
        DeleteDC(source);
    }
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

COLORREF WinParamWindow::PageColour() {
    if (pageColour_) return *pageColour_;
    // What the tab control paints its pages with, whatever the theme: the controls on a
    // page take the same background.
    HWND tabs = Control(Ctl::SSTab1);
    RECT client{};
    GetClientRect(tabs, &client);
    COLORREF colour = GetSysColor(COLOR_BTNFACE);
    if (client.right > 0 && client.bottom > 0) {
        HDC screen = GetDC(tabs);
        HDC memory = CreateCompatibleDC(screen);
        HBITMAP bitmap = CreateCompatibleBitmap(screen, client.right, client.bottom);
        const HGDIOBJ old = SelectObject(memory, bitmap);
        FillRect(memory, &client, GetSysColorBrush(COLOR_BTNFACE));
        SendMessageW(tabs, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(memory),
                     PRF_CLIENT | PRF_ERASEBKGND);
        const COLORREF sampled = GetPixel(memory, client.right / 2, client.bottom / 2);
        if (sampled != CLR_INVALID) colour = sampled;
        SelectObject(memory, old);
        DeleteObject(bitmap);
        DeleteDC(memory);
        ReleaseDC(tabs, screen);
    }
    pageColour_ = colour;
    return colour;
}

LRESULT WinParamWindow::ColourStatic(HDC dc, HWND control) {
    const Ctl id = FromHandle(control);
    if (id == Ctl::Count) return 0;
    const CtlDesign& design = Design(id);
    if (design.color) SetTextColor(dc, ToColorRef(design.color));
    const COLORREF background = design.background ? ToColorRef(design.background)
                                : design.tab >= 0 ? PageColour()
                                                  : GetSysColor(COLOR_BTNFACE);
    SetBkColor(dc, background);
    return reinterpret_cast<LRESULT>(Brush(background));
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
