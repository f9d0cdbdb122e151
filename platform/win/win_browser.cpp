#include "platform/win/win_browser.h"

#include <exdisp.h>
#include <exdispid.h>
#include <mshtmdid.h>
#include <mshtmhst.h>
#include <mshtml.h>
#include <ole2.h>

#include "platform/win/ansi.h"
#include "platform/win/win32_window.h"

namespace {
// Not in every SDK's uuid library.
constexpr GUID kHtmlDocumentEvents2 = {
    0x3050f613, 0x98b5, 0x11cf, {0xbb, 0x82, 0x00, 0xaa, 0x00, 0xbd, 0xce, 0x0b}};

// What the control may fetch and run (the DISPID_AMBIENT_DLCONTROL values): pictures,
// video and sound as usual, always asking the server rather than a cache, no plug-ins
// or Java, and no dialogs of its own.
constexpr DWORD kDlImages = 0x10, kDlVideos = 0x20, kDlBgSounds = 0x40, kDlNoJava = 0x100,
                kDlNoRunActiveX = 0x200, kDlNoDownloadActiveX = 0x400, kDlResynchronize = 0x2000,
                kDlPragmaNoCache = 0x4000, kDlSilent = 0x40000000;
constexpr DWORD kDownloadControl = kDlImages | kDlVideos | kDlBgSounds | kDlNoJava |
                                   kDlNoRunActiveX | kDlNoDownloadActiveX | kDlResynchronize |
                                   kDlPragmaNoCache | kDlSilent;

constexpr wchar_t kEmulationKey[] =
    L"Software\\Microsoft\\Internet Explorer\\Main\\FeatureControl\\FEATURE_BROWSER_EMULATION";

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

bool SameObject(IUnknown* a, IUnknown* b) {
    if (!a || !b) return false;
    ComPtr<IUnknown> left, right;
    a->QueryInterface(IID_IUnknown, left.OutVoid());
    b->QueryInterface(IID_IUnknown, right.OutVoid());
    return left && left.Get() == right.Get();
}

// Connects sink to source's connection point iid; 0 when that fails.
DWORD Advise(IUnknown* source, REFIID iid, IUnknown* sink) {
    ComPtr<IConnectionPointContainer> container;
    if (!source ||
        FAILED(source->QueryInterface(IID_IConnectionPointContainer, container.OutVoid())))
        return 0;
    ComPtr<IConnectionPoint> point;
    if (FAILED(container->FindConnectionPoint(iid, point.Out()))) return 0;
    DWORD cookie = 0;
    if (FAILED(point->Advise(sink, &cookie))) return 0;
    return cookie;
}

void Unadvise(IUnknown* source, REFIID iid, DWORD cookie) {
    if (!source || !cookie) return;
    ComPtr<IConnectionPointContainer> container;
    if (FAILED(source->QueryInterface(IID_IConnectionPointContainer, container.OutVoid()))) return;
    ComPtr<IConnectionPoint> point;
    if (SUCCEEDED(container->FindConnectionPoint(iid, point.Out()))) point->Unadvise(cookie);
}
}  // namespace

bool WriteBrowserEmulation() {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return false;
    std::wstring name(path, length);
    name.erase(0, name.find_last_of(L"\\/") + 1);
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kEmulationKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        &key, nullptr) != ERROR_SUCCESS)
        return false;
    const DWORD mode = kBrowserEmulationMode;
    const LONG result = RegSetValueExW(key, name.c_str(), 0, REG_DWORD,
                                       reinterpret_cast<const BYTE*>(&mode), sizeof mode);
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

// The control's one site: client site, in-place site and frame, document host (its UI and
// its message boxes) and the sink of the browser's and the document's events, handed out
// from QueryInterface.
class WinBrowser::Site final : public IOleClientSite,
                               public IOleInPlaceSite,
                               public IOleInPlaceFrame,
                               public IDocHostUIHandler,
                               public IDocHostShowUI,
                               public IDispatch {
  public:
    explicit Site(WinBrowser* owner) : owner_(owner) {}
    void Forget() { owner_ = nullptr; }

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (iid == IID_IUnknown || iid == IID_IOleClientSite)
            *out = static_cast<IOleClientSite*>(this);
        else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceSite)
            *out = static_cast<IOleInPlaceSite*>(this);
        else if (iid == IID_IOleInPlaceUIWindow || iid == IID_IOleInPlaceFrame)
            *out = static_cast<IOleInPlaceFrame*>(this);
        else if (iid == IID_IDocHostUIHandler)
            *out = static_cast<IDocHostUIHandler*>(this);
        else if (iid == __uuidof(IDocHostShowUI))
            *out = static_cast<IDocHostShowUI*>(this);
        else if (iid == IID_IDispatch || iid == DIID_DWebBrowserEvents2 ||
                 iid == kHtmlDocumentEvents2)
            *out = static_cast<IDispatch*>(this);
        else
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(++references_); }
    STDMETHODIMP_(ULONG) Release() override {
        const long left = --references_;
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

    // IOleClientSite
    STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** moniker) override {
        if (moniker) *moniker = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetContainer(IOleContainer** container) override {
        if (container) *container = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP ShowObject() override { return S_OK; }
    STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
    STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

    // IOleWindow
    STDMETHODIMP GetWindow(HWND* window) override {
        if (!window) return E_POINTER;
        *window = owner_ ? owner_->parent_ : nullptr;
        return *window ? S_OK : E_FAIL;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

    // IOleInPlaceSite
    STDMETHODIMP CanInPlaceActivate() override { return owner_ ? S_OK : S_FALSE; }
    STDMETHODIMP OnInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnUIActivate() override { return S_OK; }
    STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document,
                                  LPRECT position, LPRECT clip,
                                  LPOLEINPLACEFRAMEINFO info) override {
        if (frame) {
            *frame = this;
            AddRef();
        }
        if (document) *document = nullptr;
        const RECT rect = owner_ ? owner_->PixelRect() : RECT{};
        if (position) *position = rect;
        if (clip) *clip = rect;
        if (info) {
            info->fMDIApp = FALSE;
            info->hwndFrame = owner_ ? owner_->parent_ : nullptr;
            info->haccel = nullptr;
            info->cAccelEntries = 0;
        }
        return S_OK;
    }
    STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
    STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
    STDMETHODIMP OnInPlaceDeactivate() override { return S_OK; }
    STDMETHODIMP DiscardUndoState() override { return E_NOTIMPL; }
    STDMETHODIMP DeactivateAndUndo() override { return E_NOTIMPL; }
    STDMETHODIMP OnPosRectChange(LPCRECT) override { return S_OK; }

    // IOleInPlaceUIWindow, IOleInPlaceFrame: no toolbars, menus or status bar to share.
    STDMETHODIMP GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
    STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override { return S_OK; }
    STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
    STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
    STDMETHODIMP RemoveMenus(HMENU) override { return E_NOTIMPL; }
    STDMETHODIMP SetStatusText(LPCOLESTR) override { return S_OK; }
    STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
    STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

    // IDocHostUIHandler
    STDMETHODIMP ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*) override {
        // S_OK: the host has dealt with it, the browser shows no menu of its own.
        return owner_ && owner_->OnShowContextMenu() ? S_FALSE : S_OK;
    }
    STDMETHODIMP GetHostInfo(DOCHOSTUIINFO* info) override {
        if (!info) return E_POINTER;
        info->dwFlags = DOCHOSTUIFLAG_NO3DBORDER | DOCHOSTUIFLAG_THEME |
                        DOCHOSTUIFLAG_DISABLE_HELP_MENU | DOCHOSTUIFLAG_DPI_AWARE;
        info->dwDoubleClick = DOCHOSTUIDBLCLK_DEFAULT;
        return S_OK;
    }
    STDMETHODIMP ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*, IOleInPlaceFrame*,
                        IOleInPlaceUIWindow*) override {
        return S_OK;
    }
    STDMETHODIMP HideUI() override { return S_OK; }
    STDMETHODIMP UpdateUI() override { return S_OK; }
    STDMETHODIMP OnDocWindowActivate(BOOL) override { return S_OK; }
    STDMETHODIMP OnFrameWindowActivate(BOOL) override { return S_OK; }
    STDMETHODIMP ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return S_OK; }
    STDMETHODIMP TranslateAccelerator(LPMSG, const GUID*, DWORD) override { return S_FALSE; }
    STDMETHODIMP GetOptionKeyPath(LPOLESTR* key, DWORD) override {
        if (key) *key = nullptr;
        return S_FALSE;
    }
    STDMETHODIMP GetDropTarget(IDropTarget*, IDropTarget** target) override {
        if (target) *target = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetExternal(IDispatch** external) override {
        // window.external reaches nothing of ours.
        if (external) *external = nullptr;
        return S_FALSE;
    }
    STDMETHODIMP TranslateUrl(DWORD, LPWSTR, LPWSTR* translated) override {
        if (translated) *translated = nullptr;
        return S_FALSE;
    }
    STDMETHODIMP FilterDataObject(IDataObject*, IDataObject** filtered) override {
        if (filtered) *filtered = nullptr;
        return S_FALSE;
    }

    // IDocHostShowUI: a page's alert and confirm boxes stay shut (confirm answers no).
    STDMETHODIMP ShowMessage(HWND, LPOLESTR, LPOLESTR, DWORD, LPOLESTR, DWORD,
                             LRESULT* result) override {
        if (result) *result = IDCANCEL;
        return S_OK;
    }
    STDMETHODIMP ShowHelp(HWND, LPOLESTR, UINT, DWORD, POINT, IDispatch*) override { return S_OK; }

    // IDispatch: the ambient properties of the site and the events of both sources.
    STDMETHODIMP GetTypeInfoCount(UINT* count) override {
        if (count) *count = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
        if (info) *info = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO*, UINT*) override {
        // The owner may go while one of its handlers runs.
        ComPtr<Site> self(this);
        AddRef();
        switch (id) {
            case DISPID_AMBIENT_DLCONTROL:
                if (!result) return E_POINTER;
                VariantInit(result);
                result->vt = VT_I4;
                result->lVal = static_cast<LONG>(kDownloadControl);
                return S_OK;
            case DISPID_DOCUMENTCOMPLETE:
                if (owner_ && params && params->cArgs == 2 && params->rgvarg[1].vt == VT_DISPATCH)
                    owner_->OnDocumentComplete(params->rgvarg[1].pdispVal);
                return S_OK;
            case DISPID_NEWWINDOW2:
            case DISPID_NEWWINDOW3:
                // Pages open no windows of their own.
                if (params)
                    for (UINT i = 0; i < params->cArgs; ++i)
                        if (params->rgvarg[i].vt == (VT_BYREF | VT_BOOL))
                            *params->rgvarg[i].pboolVal = VARIANT_TRUE;
                return S_OK;
            case DISPID_HTMLDOCUMENTEVENTS2_ONCLICK:
                if (owner_ && !owner_->OnDocumentClick()) {
                    if (params && params->cArgs >= 1 && params->rgvarg[0].vt == VT_DISPATCH) {
                        ComPtr<IHTMLEventObj> event;
                        if (params->rgvarg[0].pdispVal &&
                            SUCCEEDED(params->rgvarg[0].pdispVal->QueryInterface(
                                IID_IHTMLEventObj, event.OutVoid()))) {
                            VARIANT no;
                            VariantInit(&no);
                            no.vt = VT_BOOL;
                            no.boolVal = VARIANT_FALSE;
                            event->put_returnValue(no);
                        }
                    }
                    if (result) {
                        VariantInit(result);
                        result->vt = VT_BOOL;
                        result->boolVal = VARIANT_FALSE;
                    }
                }
                return S_OK;
            default:
                return DISP_E_MEMBERNOTFOUND;
        }
    }

  private:
    ~Site() = default;
    long references_ = 1;
    WinBrowser* owner_;
};

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
        Advise(browser_.Get(), DIID_DWebBrowserEvents2, static_cast<IDispatch*>(site_.Get()));
    failed_ = false;
    return true;
}

void WinBrowser::Destroy() {
    DetachDocument();
    if (browser_) Unadvise(browser_.Get(), DIID_DWebBrowserEvents2, browserCookie_);
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
    GoTo(url);
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
            GoTo("about:blank");
        }
    } else if (blanked_) {
        blanked_ = false;
        GoTo(url_);
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
        documentCookie_ =
            Advise(document_.Get(), kHtmlDocumentEvents2, static_cast<IDispatch*>(site_.Get()));
}

void WinBrowser::DetachDocument() {
    if (document_) Unadvise(document_.Get(), kHtmlDocumentEvents2, documentCookie_);
    documentCookie_ = 0;
    document_.Reset();
}

void WinBrowser::OnDocumentComplete(IDispatch* frame) {
    // Frames complete too; the page is complete when the top-level document is.
    if (!SameObject(frame, browser_.Get())) return;
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
