#include <algorithm>

#include "platform/win/win_param_controls.h"
#include "platform/win/win_param_window.h"
// After windows.h:
#include <commctrl.h>

using namespace param_window;

namespace {
constexpr int kDropDownItems = 6;
constexpr wchar_t kFontFace[] = L"MS Sans Serif";

COLORREF ToColorRef(std::uint32_t rgb) {
    return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

LONG Area(const RECT& r) {
    return r.right > r.left && r.bottom > r.top ? (r.right - r.left) * (r.bottom - r.top) : 0;
}
}  // namespace

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

void WinParamWindow::ClearPicture() {
    if (icon_) DestroyIcon(icon_);
    if (bitmap_) DeleteObject(bitmap_);
    icon_ = nullptr;
    bitmap_ = nullptr;
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
