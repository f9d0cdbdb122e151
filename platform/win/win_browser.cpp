#include "platform/win/win_browser.h"

#include <exdisp.h>
#include <mshtml.h>
#include <shlwapi.h>

#include <climits>
#include <string_view>

#include "platform/page_address.h"
#include "platform/win/ansi.h"
#include "platform/win/win32_window.h"
#include "platform/win/win_browser_site.h"

namespace {
constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

bool IsUtf8(const std::string& text) {
    return text.size() <= INT_MAX &&
           MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(),
                               static_cast<int>(text.size()), nullptr, 0) > 0;
}

class Bstr {
  public:
    explicit Bstr(const std::string& text) {
        const std::wstring wide = Utf8ToWide(text);
        value_ = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
    }
    ~Bstr() { SysFreeString(value_); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    BSTR Get() const { return value_; }

  private:
    BSTR value_;
};
}  // namespace

OleSession::OleSession() : initialized_(SUCCEEDED(OleInitialize(nullptr))) {}

OleSession::~OleSession() {
    if (initialized_) OleUninitialize();
}

WinBrowser::WinBrowser(HWND parent, const CLSID* clsid)
    : parent_(parent), clsid_(clsid ? *clsid : CLSID_WebBrowser) {}

WinBrowser::~WinBrowser() {
    Destroy();
}

RECT WinBrowser::PixelRect() const {
    RECT rect{};
    if (hasRect_) {
        const UINT dpi = twips::DpiOf(parent_);
        rect.left = twips::ToPixels(rect_.Left, dpi);
        rect.top = twips::ToPixels(rect_.Top, dpi);
        rect.right = rect.left + twips::ToPixels(rect_.Width, dpi);
        rect.bottom = rect.top + twips::ToPixels(rect_.Height, dpi);
    } else if (parent_)
        GetClientRect(parent_, &rect);
    return rect;
}

bool WinBrowser::EnsureControl() {
    if (control_) return true;
    if (failed_ || !parent_ || !IsWindow(parent_)) return false;
    // Read by the system when the control is made; the user may have removed it meanwhile.
    WriteBrowserEmulation();

    failed_ = true;
    site_ = ComPtr<Site>(new Site(this));
    if (FAILED(CoCreateInstance(clsid_, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                                control_.OutVoid()))) {
        Destroy();
        failed_ = true;
        return false;
    }
    control_->SetClientSite(site_.Get());
    OleSetContainedObject(control_.Get(), TRUE);
    RECT rect = PixelRect();
    browser_ = control_.As<IWebBrowser2>(IID_IWebBrowser2);
    if (!browser_ || FAILED(control_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site_.Get(), 0,
                                             parent_, &rect))) {
        Destroy();
        failed_ = true;
        return false;
    }
    inPlace_ = control_.As<IOleInPlaceObject>(IID_IOleInPlaceObject);
    if (inPlace_) {
        inPlace_->SetObjectRects(&rect, &rect);
        // Under the parent's other controls (the minimise button lies over the page).
        HWND window = nullptr;
        if (SUCCEEDED(inPlace_->GetWindow(&window)) && window) {
            SetWindowLongPtrW(window, GWL_STYLE,
                              GetWindowLongPtrW(window, GWL_STYLE) | WS_CLIPSIBLINGS);
            SetWindowPos(window, HWND_BOTTOM, 0, 0, 0, 0,
                         SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_FRAMECHANGED);
        }
    }
    // No script error boxes or other dialogs of the control's own; no files dropped in.
    browser_->put_Silent(VARIANT_TRUE);
    browser_->put_RegisterAsDropTarget(VARIANT_FALSE);
    browserCookie_ =
        ole::Advise(browser_.Get(), DIID_DWebBrowserEvents2, static_cast<IDispatch*>(site_.Get()));
    failed_ = false;
    return true;
}

void WinBrowser::Destroy() {
    StopLoading();
    bodyPending_ = false;
    DetachDocument();
    if (browser_) ole::Unadvise(browser_.Get(), DIID_DWebBrowserEvents2, browserCookie_);
    browserCookie_ = 0;
    if (inPlace_) inPlace_->InPlaceDeactivate();
    if (control_) {
        control_->Close(OLECLOSE_NOSAVE);
        control_->SetClientSite(nullptr);
    }
    inPlace_.Reset();
    browser_.Reset();
    control_.Reset();
    if (site_) site_->Forget();
    site_.Reset();
    failed_ = false;
}

void WinBrowser::GoTo(const std::string& url) {
    if (!EnsureControl()) return;
    const Bstr address(url);
    VARIANT empty;
    VariantInit(&empty);
    browser_->Navigate(address.Get(), &empty, &empty, &empty, &empty);
}

void WinBrowser::Navigate(const std::string& url) {
    url_ = url;
    blanked_ = false;
    body_.clear();
    StopLoading();
    bodyPending_ = false;
    GoTo(url);
}

void WinBrowser::ShowPage(const std::string& url, const std::string& body) {
    url_ = url;
    blanked_ = false;
    body_ = BodyWithBase(body, url);
    // The server's charset does not come along: a body that is valid UTF-8 is marked as such,
    // as the other platforms take it.
    if (!body_.starts_with(kUtf8Mark) && IsUtf8(body_)) body_.insert(0, kUtf8Mark);
    ShowKeptBody();
}

void WinBrowser::ShowKeptBody() {
    StopLoading();
    bodyPending_ = true;
    GoTo("about:blank");
}

bool WinBrowser::LoadBody() {
    ComPtr<IDispatch> document;
    if (FAILED(browser_->get_Document(document.Out())) || !document) return false;
    const auto persist = document.As<IPersistStreamInit>(IID_IPersistStreamInit);
    // A copy the document reads at its pace; ours stays for the next show.
    const ComPtr<IStream> stream(SHCreateMemStream(reinterpret_cast<const BYTE*>(body_.data()),
                                                   static_cast<UINT>(body_.size())));
    if (!persist || !stream || FAILED(persist->InitNew())) return false;
    // Its ready state says when it is complete, whether or not the control reports it.
    loading_ = document.As<IHTMLDocument2>(IID_IHTMLDocument2);
    loadingCookie_ = ole::Advise(loading_.Get(), IID_IPropertyNotifySink,
                                 static_cast<IPropertyNotifySink*>(site_.Get()));
    bodyLoading_ = true;
    if (SUCCEEDED(persist->Load(stream.Get()))) return true;
    StopLoading();
    return false;
}

void WinBrowser::StopLoading() {
    if (loading_) ole::Unadvise(loading_.Get(), IID_IPropertyNotifySink, loadingCookie_);
    loadingCookie_ = 0;
    loading_.Reset();
    bodyLoading_ = false;
}

void WinBrowser::OnReadyStateChanged() {
    if (!bodyLoading_ || !loading_) return;
    BSTR state = nullptr;
    const bool complete = SUCCEEDED(loading_->get_readyState(&state)) && state &&
                          std::wstring_view(state) == L"complete";
    SysFreeString(state);
    if (complete) OnBodyLoaded();
}

void WinBrowser::OnBodyLoaded() {
    // Once: by its ready state or by the control, whichever comes first.
    bodyLoading_ = false;
    if (DocumentComplete) DocumentComplete();
}

void WinBrowser::Move(int left, int top, int width, int height) {
    rect_ = TwipsRect{left, top, width, height};
    hasRect_ = true;
    if (!inPlace_) return;
    const RECT rect = PixelRect();
    inPlace_->SetObjectRects(&rect, &rect);
}

bool WinBrowser::PreTranslate(MSG& message) {
    if (!browser_ || message.message < WM_KEYFIRST || message.message > WM_KEYLAST) return false;
    if (message.hwnd != parent_ && !IsChild(parent_, message.hwnd)) return false;
    const auto active = browser_.As<IOleInPlaceActiveObject>(IID_IOleInPlaceActiveObject);
    return active && active->TranslateAccelerator(&message) == S_OK;
}

void WinBrowser::SetHostVisible(bool visible) {
    if (!visible) {
        if (browser_ && !blanked_ && !url_.empty()) {
            blanked_ = true;
            StopLoading();
            bodyPending_ = false;
            GoTo("about:blank");
        }
    } else if (blanked_) {
        blanked_ = false;
        // Back from the body kept: the server is not asked again.
        if (body_.empty())
            GoTo(url_);
        else
            ShowKeptBody();
    }
}

void WinBrowser::AttachDocument(bool attach) {
    DetachDocument();
    attached_ = attach;
    if (!attach || !browser_) return;
    ComPtr<IDispatch> document;
    if (FAILED(browser_->get_Document(document.Out())) || !document) return;
    document_ = document.As<IHTMLDocument2>(IID_IHTMLDocument2);
    if (document_)
        documentCookie_ = ole::Advise(document_.Get(), ole::kHtmlDocumentEvents2,
                                      static_cast<IDispatch*>(site_.Get()));
}

bool WinBrowser::IsBlankDocument() const {
    ComPtr<IDispatch> document;
    if (FAILED(browser_->get_Document(document.Out())) || !document) return false;
    const auto html = document.As<IHTMLDocument2>(IID_IHTMLDocument2);
    BSTR address = nullptr;
    // Pages shown come from the web: any "about:" one is ours.
    const bool blank = html && SUCCEEDED(html->get_URL(&address)) && address &&
                       _wcsnicmp(address, L"about:", 6) == 0;
    SysFreeString(address);
    return blank;
}

void WinBrowser::DetachDocument() {
    if (document_) ole::Unadvise(document_.Get(), ole::kHtmlDocumentEvents2, documentCookie_);
    documentCookie_ = 0;
    document_.Reset();
}

void WinBrowser::OnDocumentComplete(IDispatch* frame) {
    // Frames complete too; the page is complete when the top-level document is.
    if (!ole::SameObject(frame, browser_.Get())) return;
    if (bodyPending_) {
        // A page left before it completed is no concern: only the blank one takes the body.
        if (!IsBlankDocument()) return;
        bodyPending_ = false;
        if (LoadBody()) return;
        // A control that cannot take it still shows the page, from its address.
        body_.clear();
        GoTo(url_);
        return;
    }
    if (bodyLoading_) {
        OnBodyLoaded();
        return;
    }
    if (DocumentComplete) DocumentComplete();
}

bool WinBrowser::OnShowContextMenu() {
    // Until a document is attached the browser keeps its own menu.
    if (!attached_ || !DocumentContextMenu) return true;
    return DocumentContextMenu();
}

bool WinBrowser::OnDocumentClick() {
    return !attached_ || !DocumentClick || DocumentClick();
}
