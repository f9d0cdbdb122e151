#pragma once
#include <functional>
#include <string>

// The embedded browser (WebBrowser1) and the document it shows. The document's
// events (DocInfo) reach the window only once it has been attached with
// AttachDocument after a DocumentComplete.
class IBrowser {
  public:
    virtual ~IBrowser() = default;
    virtual void Navigate(const std::string& url) = 0;
    // Shows body as the page at url (its links and pictures resolve against url) without
    // fetching it again; a browser that cannot loads url afresh.
    virtual void ShowPage(const std::string& url, const std::string& body) {
        static_cast<void>(body);
        Navigate(url);
    }
    // Container placement, twips, relative to the window's client area.
    virtual void Move(int left, int top, int width, int height) = 0;
    // Takes the current top-level document as DocInfo (true) or releases it (false).
    virtual void AttachDocument(bool attach) = 0;
    std::function<void()> DocumentComplete;
    // Return false to cancel the browser's own action.
    std::function<bool()> DocumentContextMenu;
    std::function<bool()> DocumentClick;
    // The page itself asks to go elsewhere (a link, a form, a script, its history), whether
    // or not a document is attached; return false to stay. Unset: allowed.
    std::function<bool()> PageNavigation;
};
