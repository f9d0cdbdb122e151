#include "notifier/frmMenu.h"
#include "platform/page_address.h"

namespace {
constexpr int kChunkSize = 1024;
}

void frmMenu::Timer1_Timer() {
    if (ending_) return;
    ++TickCounter;
    if (TickCounter > settings_.ScanTicks) {
        TickCounter = 0;
        ports_.Inet1.Execute(PageAddress(PageUrl));
    }
}

void frmMenu::Inet1_StateChanged(std::int16_t State) {
    if (State == kStateError) {
        ports_.window.SetWindowState(vbMinimized);
    } else if (State == kStateResponseCompleted) {
        ports_.desktop.SetMousePointer(kMousePointerHourglass);
        // Other events run between pieces; the text is only published once complete.
        std::string text, piece;
        // Usually the same page again: one allocation instead of a growing copy, which stalls
        // the event loop for tens of milliseconds on a large page.
        text.reserve(LastPageText.size() + kChunkSize);
        bool complete = true;
        try {
            do {
                text += piece;
                piece = ports_.Inet1.GetChunk(kChunkSize);
                ports_.desktop.DoEvents();
            } while (!piece.empty() && !ending_);
        } catch (...) {
            complete = false;
        }
        if (ending_) {
            // Quit or uninstall was confirmed meanwhile: the process is on its way out.
        } else if (!complete) {
            ports_.window.SetWindowState(vbMinimized);
        } else {
            const bool changed = !(text == LastPageText && !LastPageText.empty());
            if (changed) ShowNotification(text);
            LastPageText = std::move(text);
        }
    }
    ports_.desktop.SetMousePointer(kMousePointerDefault);
}

void frmMenu::ShowNotification(const std::string& text) {
    // The document shown so far goes with its page: until the new one completes, its events
    // (the right click) are the browser's own.
    ports_.WebBrowser1.AttachDocument(false);
    DocInfo = false;
    // What is shown is what was compared, and a server cannot send the browser another page.
    ports_.WebBrowser1.ShowPage(PageAddress(PageUrl), text);
    ports_.window.SetVisible(true);
    ports_.window.SetWindowState(vbNormal);
    ports_.window.SetWindowPos(kHwndTopmost, 0, 0, 0, 0, kSwpNoMove | kSwpNoSize);
}
