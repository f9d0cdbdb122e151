#include "platform/win/win_single_instance.h"

namespace {
constexpr wchar_t kClass[] = L"TavorinInstance";

UINT ShowMessage() {
    static const UINT message = RegisterWindowMessageW(L"Tavorin.ShowWindow");
    return message;
}

UINT EndForSetupMessage() {
    static const UINT message = RegisterWindowMessageW(L"Tavorin.EndForSetup");
    return message;
}
}  // namespace

WinSingleInstance::WinSingleInstance(const std::string& programPath)
    : path_(Utf8ToWide(programPath)) {
    const std::wstring name = L"Local\\" + Utf8ToWide(InstanceKey(programPath));
    mutex_ = CreateMutexW(nullptr, FALSE, name.c_str());
}

WinSingleInstance::~WinSingleInstance() {
    if (mutex_) CloseHandle(mutex_);
}

bool WinSingleInstance::Claim() {
    // Without a mutex nothing can be decided: running beats refusing to start.
    bool owner = !mutex_;
    // The running one may be starting (no window yet) or ending (mutex soon free): look
    // for either for a few seconds.
    for (int attempt = 0; !owner && attempt < 100; ++attempt) {
        const DWORD waited = WaitForSingleObject(mutex_, attempt == 0 ? 0 : 50);
        if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) {
            owner = true;
            break;
        }
        if (const HWND running = FindWindowExW(HWND_MESSAGE, nullptr, kClass, path_.c_str())) {
            DWORD process = 0;
            GetWindowThreadProcessId(running, &process);
            // Its window may come to the front although this process started last.
            AllowSetForegroundWindow(process);
            PostMessageW(running, ShowMessage(), 0, 0);
            return false;
        }
    }
    if (!owner) return false;
    Create(kClass, nullptr, 0, 0, HWND_MESSAGE);
    SetWindowTextW(hwnd(), path_.c_str());
    return true;
}

LRESULT WinSingleInstance::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == ShowMessage() && ShowRequested) {
        ShowRequested();
        return 0;
    }
    if (message == EndForSetupMessage() && EndRequested) {
        EndRequested();
        return 0;
    }
    return Win32Window::OnMessage(message, wParam, lParam);
}

std::unique_ptr<SingleInstance> MakeSingleInstance(const std::string& programPath) {
    return std::make_unique<WinSingleInstance>(programPath);
}
