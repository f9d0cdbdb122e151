#include "platform/win/ansi.h"
// After windows.h:
#include <chrono>
#include <deque>

#include "platform/win/win_transfer.h"
#include "support/transfer_platform.h"

namespace testsupport {
namespace {

constexpr UINT kLaterMessage = WM_APP + 7;
std::deque<std::function<void()>> later;

}  // namespace

std::unique_ptr<transfer::BasicTransfer> MakeTransfer(const transfer::Limits& limits) {
    return std::make_unique<WinTransfer>(limits);
}

bool Serve(const std::function<bool()>& done, int guardMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(guardMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 2, QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (!message.hwnd && message.message == kLaterMessage && !later.empty()) {
                const std::function<void()> call = std::move(later.front());
                later.pop_front();
                call();
                continue;
            }
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    return true;
}

void Later(std::function<void()> call) {
    later.push_back(std::move(call));
    PostThreadMessageW(GetCurrentThreadId(), kLaterMessage, 0, 0);
}

bool DecodesGzip() {
    return WinTransfer().DecodesCompressed();
}

bool BoundsResponseHead() {
    // Windows ends a head above WINHTTP_OPTION_MAX_RESPONSE_HEADER_SIZE at once; Wine ignores
    // the option and parses every field (10,000 take about 20 s) before the check here.
    return !GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version");
}

}  // namespace testsupport
