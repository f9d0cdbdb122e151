#pragma once
// Windows only: Inet1 on WinHTTP. Each hop runs as blocking WinHTTP calls on a worker thread of
// its own; its end reaches the transfer as a message to a message-only window, so every report
// comes through the thread's message loop. The rules it keeps are BasicTransfer's.
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>

#include "platform/transfer_core.h"

struct HWND__;

class WinTransfer final : public transfer::BasicTransfer {
  public:
    WinTransfer();
    explicit WinTransfer(const transfer::Limits& limits);
    ~WinTransfer() override;
    WinTransfer(const WinTransfer&) = delete;
    WinTransfer& operator=(const WinTransfer&) = delete;

    // Whether WinHTTP here asks for and decodes gzip and deflate bodies (Windows 8.1 and later).
    bool DecodesCompressed() const { return decodes_; }

    struct Job;  // one hop, shared with its worker thread

  private:
    void Send(const transfer::Hop& hop) override;
    void Drop() override;
    void Post(std::function<void()> call) override;
    void Warn(const std::string& message) override;
    void ArmDeadline(int ms) override;

    static std::intptr_t __stdcall WindowProc(HWND__* window, unsigned message,
                                              std::uintptr_t wParam, std::intptr_t lParam);
    void HopEnded(std::uint64_t id);

    HWND__* window_ = nullptr;
    std::shared_ptr<void> session_;
    bool decodes_ = false;
    std::shared_ptr<Job> job_;
    std::deque<std::function<void()>> posted_;
};
