#pragma once
// Windows only: one running program per copy, and the setup's request to end it.
#include <functional>
#include <memory>
#include <string>

#include "platform/single_instance.h"
#include "platform/win/win32_window.h"

// A named mutex decides who runs (an abandoned one, left by a crashed instance, is taken
// over); the one that runs owns a message-only window of class TavorinInstance titled with
// its executable's full path, which later starts and the setup find and post to.
class WinSingleInstance final : public SingleInstance, private Win32Window {
  public:
    explicit WinSingleInstance(const std::string& programPath);
    ~WinSingleInstance() override;
    bool Claim() override;
    // The setup asks the program to end now, without the quit question, so that it can
    // replace or remove its files.
    std::function<void()> EndRequested;

  private:
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    std::wstring path_;
    HANDLE mutex_ = nullptr;
};
