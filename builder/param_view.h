#pragma once
#include <functional>
#include <string>

#include "builder/param_layout.h"
#include "platform/window.h"

inline constexpr int vbUnchecked = 0;
inline constexpr int vbChecked = 1;

// The configuration window's controls as the builder's logic sees them. Captions of
// labels, buttons and the check box, and the text of text boxes and of the drop-down
// list, all go through Caption/SetCaption.
class IParamView {
  public:
    virtual ~IParamView() = default;
    virtual std::string Caption(Ctl control) = 0;
    virtual void SetCaption(Ctl control, const std::string& text) = 0;
    virtual void SetTabCaption(int tab, const std::string& text) = 0;
    virtual int Tab() = 0;
    // Selecting another tab raises TabClick with the tab selected before, as a click does.
    virtual void SetTab(int tab) = 0;
    virtual void ListClear(Ctl list) = 0;
    virtual void ListAdd(Ctl list, const std::string& item) = 0;
    virtual void ComboSelect(Ctl combo, int index) = 0;
    virtual int CheckValue(Ctl checkBox) = 0;
    virtual bool Visible(Ctl control) = 0;
    virtual void SetVisible(Ctl control, bool visible) = 0;
    virtual TwipsRect Rect(Ctl control) = 0;
    virtual void Move(Ctl control, const TwipsRect& rect) = 0;
    // A label fits its width to its caption.
    virtual void AutoSize(Ctl label) = 0;
    // False (picture cleared) when the file cannot be decoded as a picture.
    virtual bool LoadPicture(Ctl picture, const std::string& path) = 0;
    virtual void Show() = 0;
    // Closes the window: QueryUnload runs, then the window and its controls go.
    virtual void Close() = 0;

    std::function<void(Ctl)> Click;
    std::function<void(int previousTab)> TabClick;
    std::function<void()> Activate;
    std::function<void()> QueryUnload;
};
