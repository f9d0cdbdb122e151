#pragma once
// Windows only. The configuration window on Win32 controls built from ParamLayout().
#include <array>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>

#include "builder/param_layout.h"
#include "builder/param_view.h"
#include "platform/win/win32_window.h"

// A fixed-size top-level window. Positions of controls on a tab count from the top-left
// corner of the tab control, tab row included, as the layout gives them; the controls of
// the tabs not selected are hidden. Closing it (close box or Close) runs QueryUnload and
// destroys the window; the object stays until its owner lets it go.
// Labels lie beneath the controls they touch and show their whole text (FitLabel).
class WinParamWindow final : public Win32Window, public IParamView {
  public:
    // dpi 0: the system's.
    explicit WinParamWindow(UINT dpi = 0);
    ~WinParamWindow() override;

    HWND Control(Ctl control) const { return controls_[Index(control)]; }
    // Where the preview's browser goes.
    HWND BrowserHost() const { return Control(Ctl::WebBrowser1); }
    bool Closed() const { return hwnd() == nullptr; }
    // Dialog keys (Tab, arrows, Enter) for the window's controls; a message loop filter.
    bool PreTranslate(MSG& message);
    // Raised while the window is being destroyed; its controls still exist.
    std::function<void()> Destroying;

    std::string Caption(Ctl control) override;
    void SetCaption(Ctl control, const std::string& text) override;
    void SetTabCaption(int tab, const std::string& text) override;
    int Tab() override;
    void SetTab(int tab) override;
    void ListClear(Ctl list) override;
    void ListAdd(Ctl list, const std::string& item) override;
    void ComboSelect(Ctl combo, int index) override;
    int CheckValue(Ctl checkBox) override;
    bool Visible(Ctl control) override;
    void SetVisible(Ctl control, bool visible) override;
    TwipsRect Rect(Ctl control) override;
    void Move(Ctl control, const TwipsRect& rect) override;
    void AutoSize(Ctl label) override;
    bool LoadPicture(Ctl picture, const std::string& path) override;
    void Show() override;
    void Close() override;

  protected:
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

  private:
    static std::size_t Index(Ctl control) { return static_cast<std::size_t>(control); }
    void CreateControl(const CtlDesign& design);
    void Place(Ctl control);
    RECT PixelRect(Ctl control) const;
    RECT FitLabel(Ctl label);
    void ShowTabControls();
    void OnTabChanged(int index);
    HFONT Font(int pointSize, bool bold);
    HFONT PixelFont(int height, bool bold);
    HBRUSH Brush(COLORREF colour);
    Ctl FromHandle(HWND control) const;
    COLORREF PageColour();
    LRESULT ColourStatic(HDC dc, HWND control);
    void DrawPicture(const DRAWITEMSTRUCT& item);
    void ClearPicture();

    UINT dpi_ = 96;
    std::array<HWND, static_cast<std::size_t>(Ctl::Count)> controls_{};
    // Captions of labels, buttons and the check box as set, for reading back unchanged.
    std::array<std::string, static_cast<std::size_t>(Ctl::Count)> captions_;
    std::array<TwipsRect, static_cast<std::size_t>(Ctl::Count)> rects_{};
    // Each control's own visibility; the tab shown decides the rest.
    std::array<bool, static_cast<std::size_t>(Ctl::Count)> visible_{};
    int currentTab_ = 0;
    bool shown_ = false;
    bool activated_ = false;
    HWND focus_ = nullptr;  // the control to give the focus back to on activation
    std::map<std::pair<int, bool>, HFONT> fonts_;
    std::map<COLORREF, HBRUSH> brushes_;
    std::optional<COLORREF> pageColour_;
    HICON icon_ = nullptr;      // Image1's picture: an icon or a bitmap
    HBITMAP bitmap_ = nullptr;  //
    HICON windowIcon_ = nullptr;
    HICON windowIconSmall_ = nullptr;
};
