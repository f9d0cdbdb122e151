#pragma once
// Recording fakes for the platform interfaces. Every fake writes its calls, as
// readable strings, into one CallLog shared by reference, so that a test can check
// the order of steps across facilities. Queries that only read state (Width(),
// Visible(), ProgramFolder()...) are not logged; they would drown the steps.
// Events are fired by calling the std::function member the code under test set.

#include <array>
#include <cstdint>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/browser.h"
#include "platform/desktop.h"
#include "platform/file_system.h"
#include "platform/message_box.h"
#include "platform/paths.h"
#include "platform/popup_menu.h"
#include "platform/shell.h"
#include "platform/timer.h"
#include "platform/transfer.h"
#include "platform/tray.h"
#include "platform/user_key_store.h"
#include "platform/window.h"

using CallLog = std::vector<std::string>;

namespace fakes {

inline void Append(std::ostringstream&) {}
template <typename First, typename... Rest>
void Append(std::ostringstream& out, const First& first, const Rest&... rest) {
    out << first;
    if constexpr (sizeof...(rest) > 0) {
        out << ',';
        Append(out, rest...);
    }
}

// "name(a,b,c)"; bools print as true/false.
template <typename... Args>
std::string Call(std::string_view name, const Args&... args) {
    std::ostringstream out;
    out << std::boolalpha << name << '(';
    Append(out, args...);
    out << ')';
    return out.str();
}

// The entries of log that start with prefix, in order.
inline CallLog Only(const CallLog& log, std::string_view prefix) {
    CallLog out;
    for (const auto& entry : log)
        if (entry.compare(0, prefix.size(), prefix) == 0) out.push_back(entry);
    return out;
}

// The entries of log that start with none of the prefixes, in order.
inline CallLog Without(const CallLog& log, std::initializer_list<std::string_view> prefixes) {
    CallLog out;
    for (const auto& entry : log) {
        bool skip = false;
        for (auto prefix : prefixes) skip = skip || entry.compare(0, prefix.size(), prefix) == 0;
        if (!skip) out.push_back(entry);
    }
    return out;
}

inline const char* MenuItemName(MenuItem item) {
    switch (item) {
        case MenuItem::mnuShow:
            return "mnuShow";
        case MenuItem::mnuClose:
            return "mnuClose";
        case MenuItem::mnuParam:
            return "mnuParam";
        case MenuItem::mnuSpace:
            return "mnuSpace";
        case MenuItem::mnuQuit:
            return "mnuQuit";
        case MenuItem::mnuSpace2:
            return "mnuSpace2";
        case MenuItem::mnuUni:
            return "mnuUni";
    }
    return "?";
}

}  // namespace fakes

// Does not raise Activate by itself when made visible: the test fires window.Activate()
// where the toolkit would, so that an activation the code runs itself stays visible.
class FakeWindow final : public IWindow {
  public:
    explicit FakeWindow(CallLog& log) : log_(log) {}

    int Width() override { return width; }
    int Height() override { return height; }
    void SetSize(int w, int h) override {
        log_.push_back(fakes::Call("window.SetSize", w, h));
        width = w;
        height = h;
    }
    void Move(int l, int t) override {
        log_.push_back(fakes::Call("window.Move", l, t));
        if (moveThrows) throw std::runtime_error("window.Move failed");
        left = l;
        top = t;
    }
    bool Visible() override { return visible; }
    void SetVisible(bool v) override {
        log_.push_back(fakes::Call("window.SetVisible", v));
        visible = v;
    }
    int WindowState() override { return windowState; }
    void SetWindowState(int state) override {
        log_.push_back(fakes::Call("window.SetWindowState", state));
        windowState = state;
    }
    void SetWindowPos(std::intptr_t insertAfter, int x, int y, int cx, int cy,
                      unsigned flags) override {
        log_.push_back(fakes::Call("window.SetWindowPos", insertAfter, x, y, cx, cy, flags));
        if (setWindowPosThrows) throw std::runtime_error("SetWindowPos failed");
    }
    std::uintptr_t Handle() override { return handle; }
    bool LoadIcon(const std::string& path) override {
        log_.push_back(fakes::Call("window.LoadIcon", path));
        if (!iconDecodes) return false;
        iconHandle = loadedIconHandle;
        return true;
    }
    std::uintptr_t IconHandle() override { return iconHandle; }
    TwipsRect MiniButton() override { return miniButton; }
    void MoveMiniButton(const TwipsRect& r) override {
        log_.push_back(fakes::Call("window.MoveMiniButton", r.Left, r.Top, r.Width, r.Height));
        miniButton = r;
    }

    int width = 0, height = 0, left = 0, top = 0;
    bool visible = false;
    int windowState = vbNormal;
    std::uintptr_t handle = 0x10A0;
    std::uintptr_t iconHandle = 0x51;  // the stored icon
    std::uintptr_t loadedIconHandle = 0x52;
    bool iconDecodes = true;
    bool moveThrows = false;
    bool setWindowPosThrows = false;
    TwipsRect miniButton{0, 0, 375, 375};  // as designed, before start-up moves it

  private:
    CallLog& log_;
};

class FakeBrowser final : public IBrowser {
  public:
    explicit FakeBrowser(CallLog& log) : log_(log) {}
    void Navigate(const std::string& url) override {
        log_.push_back(fakes::Call("browser.Navigate", url));
        if (onNavigate) onNavigate();
    }
    void ShowPage(const std::string& url, const std::string& body) override {
        shownBody = body;
        Navigate(url);
    }
    void Move(int left, int top, int width, int height) override {
        log_.push_back(fakes::Call("browser.Move", left, top, width, height));
    }
    void AttachDocument(bool attach) override {
        log_.push_back(fakes::Call("browser.AttachDocument", attach));
        attached = attach;
    }

    bool attached = false;
    std::optional<std::string> shownBody;  // the body handed over with the last show
    std::function<void()> onNavigate;

  private:
    CallLog& log_;
};

class FakeTransfer final : public ITransfer {
  public:
    explicit FakeTransfer(CallLog& log) : log_(log) {}
    void Execute(const std::string& url) override {
        log_.push_back(fakes::Call("inet.Execute", url));
    }
    // Serves the queued pieces in order, then "" for ever; a queued nullopt throws.
    std::string GetChunk(int size) override {
        log_.push_back(fakes::Call("inet.GetChunk", size));
        if (chunks.empty()) return {};
        std::optional<std::string> next = std::move(chunks.front());
        chunks.pop_front();
        if (!next) throw std::runtime_error("connection reset during GetChunk");
        return *next;
    }

    // Queues a body: the pieces, then the empty piece that ends it.
    void Serve(std::initializer_list<std::string> pieces) {
        for (const auto& piece : pieces) chunks.emplace_back(piece);
        chunks.emplace_back(std::string());
    }

    std::deque<std::optional<std::string>> chunks;

  private:
    CallLog& log_;
};

class FakeTimer final : public ITimer {
  public:
    explicit FakeTimer(CallLog& log) : log_(log) {}
    void Start(int intervalMs) override { log_.push_back(fakes::Call("timer.Start", intervalMs)); }

  private:
    CallLog& log_;
};

class FakeTray final : public ITray {
  public:
    explicit FakeTray(CallLog& log) : log_(log) {}
    bool NotifyIcon(std::uint32_t message, const TrayIconData& data) override {
        log_.push_back(fakes::Call("tray.NotifyIcon", message));
        records.emplace_back(message, data);
        return result;
    }

    std::vector<std::pair<std::uint32_t, TrayIconData>> records;
    bool result = true;

  private:
    CallLog& log_;
};

class FakePopupMenu final : public IPopupMenu {
  public:
    explicit FakePopupMenu(CallLog& log) : log_(log) {}
    void SetCaption(MenuItem item, const std::string& caption) override {
        log_.push_back(fakes::Call("menu.SetCaption", fakes::MenuItemName(item), caption));
        captions[item] = caption;
    }
    // onPopup stands for what the user does while the menu is open (e.g. Click(item)).
    void Popup() override {
        log_.push_back("menu.Popup()");
        if (onPopup) onPopup();
    }

    std::map<MenuItem, std::string> captions;
    std::function<void()> onPopup;

  private:
    CallLog& log_;
};

class FakeMessageBox final : public IMessageBox {
  public:
    explicit FakeMessageBox(CallLog& log) : log_(log) {}
    int MsgBox(const std::string& text, int style) override {
        log_.push_back(fakes::Call("msgbox.MsgBox", text, style));
        shown.emplace_back(text, style);
        if (onShow) onShow();
        if (answers.empty()) return defaultAnswer;
        const int answer = answers.front();
        answers.pop_front();
        return answer;
    }

    std::deque<int> answers;
    int defaultAnswer = vbNo;
    std::vector<std::pair<std::string, int>> shown;
    // What happens while the box is open (its modal loop serves other events).
    std::function<void()> onShow;

  private:
    CallLog& log_;
};

class FakeShell final : public IShell {
  public:
    explicit FakeShell(CallLog& log) : log_(log) {}
    void ShellExecute(const std::string& operation, const std::string& file,
                      const std::string& parameters, const std::string& directory,
                      int showCommand) override {
        log_.push_back(
            fakes::Call("shell.ShellExecute", operation, file, parameters, directory, showCommand));
    }
    void EndProcess(int code) override {
        log_.push_back(fakes::Call("shell.EndProcess", code));
        exitCode = code;
    }

    std::optional<int> exitCode;

  private:
    CallLog& log_;
};

class FakeFileSystem final : public IFileSystem {
  public:
    explicit FakeFileSystem(CallLog& log) : log_(log) {}
    std::string ProgramFolder() override { return programFolder; }
    std::string ExeName() override { return exeName; }
    bool FileExists(const std::string& path) override {
        log_.push_back(fakes::Call("fs.FileExists", path));
        return existing.count(path) != 0;
    }
    bool IsLink(const std::string& path) override { return links.count(path) != 0; }
    std::string FindFirstFile(const std::string& folder, const std::string& prefix,
                              const std::string& suffix) override {
        log_.push_back(fakes::Call("fs.FindFirstFile", folder, prefix, suffix));
        return firstMatch;
    }
    std::string BuilderBaseFolder() override { return baseFolder; }
    bool FolderExists(const std::string& path) override {
        log_.push_back(fakes::Call("fs.FolderExists", path));
        return folders.count(path) != 0;
    }
    // One level, as the real one: the parent must exist.
    bool CreateFolder(const std::string& path, std::string& reason) override {
        log_.push_back(fakes::Call("fs.CreateFolder", path));
        if (const auto preset = failures.find(path); preset != failures.end()) {
            reason = preset->second;
            return false;
        }
        if (folders.count(path.substr(0, path.find_last_of("/\\"))) == 0) {
            reason = "No such file or directory";
            return false;
        }
        folders.insert(path);
        return true;
    }
    bool CopyFile(const std::string& from, const std::string& to, std::string& reason) override {
        log_.push_back(fakes::Call("fs.CopyFile", from, to));
        if (const auto preset = failures.find(to); preset != failures.end()) {
            reason = preset->second;
            return false;
        }
        if (existing.count(from) == 0) {
            reason = "No such file or directory";
            return false;
        }
        existing.insert(to);
        return true;
    }

    std::string programFolder = "/opt/tavorin";
    std::string exeName = "Tavorin";
    std::set<std::string> existing;
    std::set<std::string> links;
    std::string firstMatch;  // FindFirstFile's answer; empty = none
    std::string baseFolder = "/home/user/Tavorin";
    std::set<std::string> folders{"/home/user"};
    // Destination (folder or copy target) -> the reason its creation fails.
    std::map<std::string, std::string> failures;

  private:
    CallLog& log_;
};

class FakeDesktop final : public IDesktop {
  public:
    explicit FakeDesktop(CallLog& log) : log_(log) {}
    int ScreenWidthTwips() override { return screenWidth; }
    int ScreenHeightTwips() override { return screenHeight; }
    void SetMousePointer(int pointer) override {
        log_.push_back(fakes::Call("desktop.SetMousePointer", pointer));
        mousePointer = pointer;
    }
    // onDoEvents stands for the events that were pending (a timer tick, a click).
    void DoEvents() override {
        log_.push_back("desktop.DoEvents()");
        if (onDoEvents) onDoEvents();
    }

    int screenWidth = 28800, screenHeight = 16200;  // 1920 x 1080 at 15 twips per pixel
    int mousePointer = kMousePointerDefault;
    std::function<void()> onDoEvents;

  private:
    CallLog& log_;
};

// The per-user key as RegOpenKeyEx / RegQueryValueEx / RegCloseKey behave: one key
// with named values of a type and raw bytes.
class FakeUserKeyStore final : public IUserKeyStore {
  public:
    struct Value {
        std::uint32_t type = kRegSz;
        std::string bytes;
    };

    explicit FakeUserKeyStore(CallLog& log) : log_(log) {}

    // A failed open leaves the handle as the caller initialised it.
    std::int32_t OpenKey(std::string_view path, KeyHandle& handle) override {
        log_.push_back(fakes::Call("keys.OpenKey", path));
        if (!keyExists) return kErrorFileNotFound;
        handle = openHandle;
        return kErrorSuccess;
    }
    std::int32_t QueryValue(KeyHandle handle, std::string_view name, std::uint32_t* type,
                            unsigned char* data, std::uint32_t* size) override {
        if (data)
            log_.push_back(fakes::Call("keys.QueryValue", handle, name, size ? *size : 0));
        else
            log_.push_back(fakes::Call("keys.QueryValue", handle, name, "null"));
        if (!keyExists || handle != openHandle) return kErrorInvalidHandle;
        const auto found = values.find(std::string(name));
        if (found == values.end()) return kErrorFileNotFound;
        const Value& value = found->second;
        if (data && failDataQuery) return dataQueryError;
        if (type) *type = value.type;
        const auto needed = static_cast<std::uint32_t>(value.bytes.size());
        if (data && size && *size < needed) {
            *size = needed;
            return kErrorMoreData;
        }
        if (data) std::memcpy(data, value.bytes.data(), needed);
        if (size) *size = needed;
        return kErrorSuccess;
    }
    void CloseKey(KeyHandle handle) override {
        log_.push_back(fakes::Call("keys.CloseKey", handle));
    }

    void SetString(const std::string& name, const std::string& text, bool withNul = true) {
        values[name] = {kRegSz, withNul ? text + '\0' : text};
    }
    void SetDword(const std::string& name, std::int32_t number) {
        const auto raw = static_cast<std::uint32_t>(number);
        std::string bytes;
        for (int shift = 0; shift < 32; shift += 8) bytes += static_cast<char>(raw >> shift);
        values[name] = {kRegDword, bytes};
    }
    void SetRaw(const std::string& name, std::uint32_t type, std::string bytes) {
        values[name] = {type, std::move(bytes)};
    }

    std::map<std::string, Value> values;
    bool keyExists = true;
    KeyHandle openHandle = 0x5150;
    bool failDataQuery = false;       // the second query (with a buffer) fails
    std::int32_t dataQueryError = 5;  // ERROR_ACCESS_DENIED

  private:
    CallLog& log_;
};
