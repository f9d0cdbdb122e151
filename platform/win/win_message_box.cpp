#include "platform/win/win_message_box.h"

#include "platform/win/ansi.h"

int WinMessageBox::MsgBox(const std::string& text, int style) {
    // Modal for the whole program, as a message box of its own windows, and in front.
    const int answer = MessageBoxW(nullptr, Utf8ToWide(text).c_str(), L"Quorvellis",
                                   static_cast<UINT>(style) | MB_TASKMODAL | MB_SETFOREGROUND);
    // A close request from outside ("close this program" tools ask every window) closes a
    // Yes/No box without an answer: that is not a Yes.
    if (answer == IDCANCEL && (static_cast<UINT>(style) & MB_TYPEMASK) == MB_YESNO) return IDNO;
    return answer;
}
