#pragma once
// Windows only: the program's one message loop, on its one thread.
#include <functional>
#include <vector>

#include "platform/win/ansi.h"

class MessageLoop {
  public:
    // Sees each message before it is dispatched; true when it took the message (dialog
    // keys, a hosted control's accelerators).
    using Filter = std::function<bool(MSG&)>;
    void AddFilter(Filter filter) { filters_.push_back(std::move(filter)); }

    // Until WM_QUIT; returns its exit code.
    int Run();
    // Serves the messages waiting now, then returns (DoEvents). A WM_QUIT met here is put
    // back for Run.
    void ServePending();

  private:
    void Dispatch(MSG& message);
    std::vector<Filter> filters_;
};
