#pragma once
// Windows only. WebBrowser1 on the system's WebBrowser control (IWebBrowser2), hosted in
// a parent window through the OLE in-place interfaces.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <string>

#include "platform/browser.h"
#include "platform/win/com_ptr.h"
#include "platform/win/win_browser_emulation.h"
#include "platform/window.h"

struct IHTMLDocument2;
struct IOleObject;
struct IOleInPlaceObject;
struct IWebBrowser2;

// OLE for the program's thread from start to end: the browsers' controls, their timers and
// the shell's calls need it for as long as any of them may live. One, made before them all.
class OleSession {
  public:
    OleSession();
    ~OleSession();
    OleSession(const OleSession&) = delete;
    OleSession& operator=(const OleSession&) = delete;

  private:
    bool initialized_;
};

// The control is made at the first Navigate or ShowPage, so a window that never shows a
// page pays nothing for it. When it cannot be made, both do nothing and the parent window
// simply stays empty.
class WinBrowser final : public IBrowser {
  public:
    // clsid: the control to create; tests pass one that does not exist.
    explicit WinBrowser(HWND parent, const CLSID* clsid = nullptr);
    ~WinBrowser() override;
    WinBrowser(const WinBrowser&) = delete;
    WinBrowser& operator=(const WinBrowser&) = delete;

    void Navigate(const std::string& url) override;
    // The body goes into a blank document from memory: the server is not asked again, and the
    // document completes (DocumentComplete) once the body has loaded.
    void ShowPage(const std::string& url, const std::string& body) override;
    // Without a Move the control fills the parent's client area.
    void Move(int left, int top, int width, int height) override;
    void AttachDocument(bool attach) override;

    // The host window was shown or hidden: a hidden window's page gives way to a blank
    // one (its scripts stop, its memory goes back) and comes back as it was shown: from the
    // body kept, or from its address.
    void SetHostVisible(bool visible);
    // Releases the control now (its parent window is going); a later Navigate makes it anew.
    void Destroy();

    // Keys for the page (Tab, arrows, copy) before the message loop dispatches them; a
    // message loop filter.
    bool PreTranslate(MSG& message);

    bool ControlCreated() const { return static_cast<bool>(control_); }
    bool DocumentAttached() const { return attached_; }
    HWND Parent() const { return parent_; }

  private:
    class Site;
    bool EnsureControl();
    void GoTo(const std::string& url);
    void ShowKeptBody();
    bool LoadBody();
    void StopLoading();
    void OnReadyStateChanged();
    void OnBodyLoaded();
    void DetachDocument();
    bool IsBlankDocument() const;
    RECT PixelRect() const;
    void OnDocumentComplete(IDispatch* frame);
    bool OnShowContextMenu();
    bool OnDocumentClick();

    HWND parent_;
    CLSID clsid_;
    ComPtr<Site> site_;
    ComPtr<IOleObject> control_;
    ComPtr<IOleInPlaceObject> inPlace_;
    ComPtr<IWebBrowser2> browser_;
    DWORD browserCookie_ = 0;
    ComPtr<IHTMLDocument2> document_;
    DWORD documentCookie_ = 0;
    bool failed_ = false;
    bool attached_ = false;
    bool hasRect_ = false;
    TwipsRect rect_;
    std::string url_;  // the page to bring back after SetHostVisible(false)
    bool blanked_ = false;
    // The body shown, base element and encoding mark included; empty after a Navigate.
    std::string body_;
    bool bodyPending_ = false;  // waiting for the blank document that takes it
    bool bodyLoading_ = false;  // loaded into loading_, not complete yet
    ComPtr<IHTMLDocument2> loading_;
    DWORD loadingCookie_ = 0;
};
