#pragma once
#include <functional>
#include <string>

// The items of mnuMenu, top to bottom.
enum class MenuItem { mnuShow, mnuClose, mnuParam, mnuSpace, mnuQuit, mnuSpace2, mnuUni };

class IPopupMenu {
  public:
    virtual ~IPopupMenu() = default;
    virtual void SetCaption(MenuItem item, const std::string& caption) = 0;
    // Opens at the mouse position; returns once the menu has closed and a chosen
    // item's command has run.
    virtual void Popup() = 0;
    std::function<void(MenuItem)> Click;
};
