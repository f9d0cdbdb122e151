#include "platform/win/win_browser_site.h"

#include <exdisp.h>
#include <exdispid.h>
#include <mshtmdid.h>
#include <mshtml.h>
#include <olectl.h>

namespace {
// What the control may fetch and run (the DISPID_AMBIENT_DLCONTROL values): pictures,
// video and sound as usual, always asking the server rather than a cache, no plug-ins
// or Java, and no dialogs of its own.
constexpr DWORD kDlImages = 0x10, kDlVideos = 0x20, kDlBgSounds = 0x40, kDlNoJava = 0x100,
                kDlNoRunActiveX = 0x200, kDlNoDownloadActiveX = 0x400, kDlResynchronize = 0x2000,
                kDlPragmaNoCache = 0x4000, kDlSilent = 0x40000000;
constexpr DWORD kDownloadControl = kDlImages | kDlVideos | kDlBgSounds | kDlNoJava |
                                   kDlNoRunActiveX | kDlNoDownloadActiveX | kDlResynchronize |
                                   kDlPragmaNoCache | kDlSilent;
}  // namespace

namespace ole {
bool SameObject(IUnknown* a, IUnknown* b) {
    if (!a || !b) return false;
    ComPtr<IUnknown> left, right;
    a->QueryInterface(IID_IUnknown, left.OutVoid());
    b->QueryInterface(IID_IUnknown, right.OutVoid());
    return left && left.Get() == right.Get();
}

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
}  // namespace ole

STDMETHODIMP WinBrowser::Site::QueryInterface(REFIID iid, void** out) {
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
    else if (iid == IID_IPropertyNotifySink)
        *out = static_cast<IPropertyNotifySink*>(this);
    else if (iid == IID_IServiceProvider)
        *out = static_cast<IServiceProvider*>(this);
    else if (iid == IID_IInternetSecurityManager)
        *out = static_cast<IInternetSecurityManager*>(this);
    else if (iid == IID_IDispatch || iid == DIID_DWebBrowserEvents2 ||
             iid == ole::kHtmlDocumentEvents2)
        *out = static_cast<IDispatch*>(this);
    else
        return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) WinBrowser::Site::AddRef() {
    return static_cast<ULONG>(++references_);
}

STDMETHODIMP_(ULONG) WinBrowser::Site::Release() {
    const long left = --references_;
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
}

STDMETHODIMP WinBrowser::Site::SaveObject() {
    return E_NOTIMPL;
}

STDMETHODIMP WinBrowser::Site::GetMoniker(DWORD, DWORD, IMoniker** moniker) {
    if (moniker) *moniker = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP WinBrowser::Site::GetContainer(IOleContainer** container) {
    if (container) *container = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP WinBrowser::Site::ShowObject() {
    return S_OK;
}

STDMETHODIMP WinBrowser::Site::OnShowWindow(BOOL) {
    return S_OK;
}

STDMETHODIMP WinBrowser::Site::RequestNewObjectLayout() {
    return E_NOTIMPL;
}

STDMETHODIMP WinBrowser::Site::GetWindow(HWND* window) {
    if (!window) return E_POINTER;
    *window = owner_ ? owner_->parent_ : nullptr;
    return *window ? S_OK : E_FAIL;
}

STDMETHODIMP WinBrowser::Site::ContextSensitiveHelp(BOOL) {
    return E_NOTIMPL;
}

STDMETHODIMP WinBrowser::Site::CanInPlaceActivate() {
    return owner_ ? S_OK : S_FALSE;
}

STDMETHODIMP WinBrowser::Site::OnInPlaceActivate() {
    return S_OK;
}

STDMETHODIMP WinBrowser::Site::OnUIActivate() {
    return S_OK;
}

STDMETHODIMP WinBrowser::Site::GetWindowContext(IOleInPlaceFrame** frame,
                                                IOleInPlaceUIWindow** document, LPRECT position,
                                                LPRECT clip, LPOLEINPLACEFRAMEINFO info) {
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

STDMETHODIMP WinBrowser::Site::Scroll(SIZE) {
    return E_NOTIMPL;
}

STDMETHODIMP WinBrowser::Site::OnUIDeactivate(BOOL) {
    return S_OK;
}

STDMETHODIMP WinBrowser::Site::OnInPlaceDeactivate() {
    return S_OK;
}

STDMETHODIMP WinBrowser::Site::DiscardUndoState() {
    return E_NOTIMPL;
}

STDMETHODIMP WinBrowser::Site::DeactivateAndUndo() {
    return E_NOTIMPL;
}

STDMETHODIMP WinBrowser::Site::OnPosRectChange(LPCRECT) {
    return S_OK;
}

STDMETHODIMP WinBrowser::Site::GetBorder(LPRECT) {
    return INPLACE_E_NOTOOLSPACE;
}

STDMETHODIMP WinBrowser::Site::RequestBorderSpace(LPCBORDERWIDTHS) {
    return INPLACE_E_NOTOOLSPACE;
}

STDMETHODIMP WinBrowser::Site::SetBorderSpace(LPCBORDERWIDTHS) {
    return S_OK;
}

STDMETHODIMP WinBrowser::Site::SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) {
    return S_OK;
}

STDMETHODIMP WinBrowser::Site::InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) {
    return E_NOTIMPL;
}

STDMETHODIMP WinBrowser::Site::SetMenu(HMENU, HOLEMENU, HWND) {
    return S_OK;
}

STDMETHODIMP WinBrowser::Site::RemoveMenus(HMENU) {
    return E_NOTIMPL;
}

STDMETHODIMP WinBrowser::Site::SetStatusText(LPCOLESTR) {
    return S_OK;
}

STDMETHODIMP WinBrowser::Site::EnableModeless(BOOL) {
    return S_OK;
}

STDMETHODIMP WinBrowser::Site::TranslateAccelerator(LPMSG, WORD) {
    return S_FALSE;
}

STDMETHODIMP WinBrowser::Site::ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*) {
    // S_OK: the host has dealt with it, the browser shows no menu of its own.
    return owner_ && owner_->OnShowContextMenu() ? S_FALSE : S_OK;
}

STDMETHODIMP WinBrowser::Site::GetHostInfo(DOCHOSTUIINFO* info) {
    if (!info) return E_POINTER;
    info->dwFlags = DOCHOSTUIFLAG_NO3DBORDER | DOCHOSTUIFLAG_THEME |
                    DOCHOSTUIFLAG_DISABLE_HELP_MENU | DOCHOSTUIFLAG_DPI_AWARE;
    info->dwDoubleClick = DOCHOSTUIDBLCLK_DEFAULT;
    return S_OK;
}

STDMETHODIMP WinBrowser::Site::ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*,
                                      IOleInPlaceFrame*, IOleInPlaceUIWindow*) {
    return S_OK;
}

STDMETHODIMP WinBrowser::Site::HideUI() {
    return S_OK;
}

STDMETHODIMP WinBrowser::Site::UpdateUI() {
    return S_OK;
}

STDMETHODIMP WinBrowser::Site::OnDocWindowActivate(BOOL) {
    return S_OK;
}

STDMETHODIMP WinBrowser::Site::OnFrameWindowActivate(BOOL) {
    return S_OK;
}

STDMETHODIMP WinBrowser::Site::ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) {
    return S_OK;
}

STDMETHODIMP WinBrowser::Site::TranslateAccelerator(LPMSG, const GUID*, DWORD) {
    return S_FALSE;
}

STDMETHODIMP WinBrowser::Site::GetOptionKeyPath(LPOLESTR* key, DWORD) {
    if (key) *key = nullptr;
    return S_FALSE;
}

STDMETHODIMP WinBrowser::Site::GetDropTarget(IDropTarget*, IDropTarget** target) {
    if (target) *target = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP WinBrowser::Site::GetExternal(IDispatch** external) {
    // window.external reaches nothing of ours.
    if (external) *external = nullptr;
    return S_FALSE;
}

STDMETHODIMP WinBrowser::Site::TranslateUrl(DWORD, LPWSTR, LPWSTR* translated) {
    if (translated) *translated = nullptr;
    return S_FALSE;
}

STDMETHODIMP WinBrowser::Site::FilterDataObject(IDataObject*, IDataObject** filtered) {
    if (filtered) *filtered = nullptr;
    return S_FALSE;
}

STDMETHODIMP WinBrowser::Site::ShowMessage(HWND, LPOLESTR, LPOLESTR, DWORD, LPOLESTR, DWORD,
                                           LRESULT* result) {
    if (result) *result = IDCANCEL;
    return S_OK;
}

STDMETHODIMP WinBrowser::Site::ShowHelp(HWND, LPOLESTR, UINT, DWORD, POINT, IDispatch*) {
    return S_OK;
}

STDMETHODIMP WinBrowser::Site::OnChanged(DISPID id) {
    // The owner may go while its handler runs.
    ComPtr<Site> self(this);
    AddRef();
    if (owner_ && id == DISPID_READYSTATE) owner_->OnReadyStateChanged();
    return S_OK;
}

STDMETHODIMP WinBrowser::Site::OnRequestEdit(DISPID) {
    return S_OK;
}

STDMETHODIMP WinBrowser::Site::QueryService(REFGUID service, REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (service != SID_SInternetSecurityManager) return E_NOINTERFACE;
    return QueryInterface(iid, out);
}

STDMETHODIMP WinBrowser::Site::SetSecuritySite(IInternetSecurityMgrSite*) {
    return INET_E_DEFAULT_ACTION;
}

STDMETHODIMP WinBrowser::Site::GetSecuritySite(IInternetSecurityMgrSite** site) {
    if (site) *site = nullptr;
    return INET_E_DEFAULT_ACTION;
}

STDMETHODIMP WinBrowser::Site::MapUrlToZone(LPCWSTR url, DWORD* zone, DWORD) {
    if (!zone || !url || _wcsnicmp(url, L"about:", 6) != 0) return INET_E_DEFAULT_ACTION;
    *zone = URLZONE_INTERNET;
    return S_OK;
}

STDMETHODIMP WinBrowser::Site::GetSecurityId(LPCWSTR, BYTE*, DWORD*, DWORD_PTR) {
    return INET_E_DEFAULT_ACTION;
}

STDMETHODIMP WinBrowser::Site::ProcessUrlAction(LPCWSTR, DWORD, BYTE*, DWORD, BYTE*, DWORD, DWORD,
                                                DWORD) {
    return INET_E_DEFAULT_ACTION;
}

STDMETHODIMP WinBrowser::Site::QueryCustomPolicy(LPCWSTR, REFGUID, BYTE**, DWORD*, BYTE*, DWORD,
                                                 DWORD) {
    return INET_E_DEFAULT_ACTION;
}

STDMETHODIMP WinBrowser::Site::SetZoneMapping(DWORD, LPCWSTR, DWORD) {
    return INET_E_DEFAULT_ACTION;
}

STDMETHODIMP WinBrowser::Site::GetZoneMappings(DWORD, IEnumString** mappings, DWORD) {
    if (mappings) *mappings = nullptr;
    return INET_E_DEFAULT_ACTION;
}

STDMETHODIMP WinBrowser::Site::GetTypeInfoCount(UINT* count) {
    if (count) *count = 0;
    return S_OK;
}

STDMETHODIMP WinBrowser::Site::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
    if (info) *info = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP WinBrowser::Site::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) {
    return E_NOTIMPL;
}

STDMETHODIMP WinBrowser::Site::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params,
                                      VARIANT* result, EXCEPINFO*, UINT*) {
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
                        SUCCEEDED(params->rgvarg[0].pdispVal->QueryInterface(IID_IHTMLEventObj,
                                                                             event.OutVoid()))) {
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
