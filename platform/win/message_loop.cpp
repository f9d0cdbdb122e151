#include "platform/win/message_loop.h"

int MessageLoop::Run() {
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) Dispatch(message);
    return static_cast<int>(message.wParam);
}

void MessageLoop::ServePending() {
    // Bounded: messages posted while these are served wait for the next pass.
    for (int served = 0; served < 256; ++served) {
        MSG message;
        if (!PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) return;
        if (message.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        Dispatch(message);
    }
}

void MessageLoop::Dispatch(MSG& message) {
    for (auto& filter : filters_)
        if (filter(message)) return;
    TranslateMessage(&message);
    DispatchMessageW(&message);
}
