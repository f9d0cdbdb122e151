#pragma once

class frmParam;

// Gives the notification window access to the configuration window, which exists only
// while it is open.
class IParamHost {
  public:
    virtual ~IParamHost() = default;
    // The window's logic; the first touch creates the window and runs its load procedure.
    virtual frmParam& Window() = 0;
    // Shows it modeless, without owner, and brings it forward.
    virtual void Show() = 0;
};
