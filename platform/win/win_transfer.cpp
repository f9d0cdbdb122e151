#include "platform/win/win_transfer.h"

#include "platform/win/ansi.h"
#include "platform/win/win_proxy.h"
// After windows.h:
#include <shlwapi.h>
#include <winhttp.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

namespace {

constexpr UINT kPostedMessage = WM_APP + 1;
constexpr UINT kHopEndedMessage = WM_APP + 2;
constexpr UINT_PTR kDeadlineTimer = 1;
constexpr wchar_t kWindowClass[] = L"TavorinTransfer";
constexpr DWORD kMaxUrl = 2084;  // INTERNET_MAX_URL_LENGTH, which winhttp.h lacks

using Clock = std::chrono::steady_clock;

// Header values are bytes; WinHTTP takes and gives them as wide characters of the same value.
std::wstring Latin1ToWide(const std::string& text) {
    return std::wstring(text.begin(), text.end());
}
std::string WideToLatin1(const std::wstring& text) {
    std::string bytes;
    bytes.reserve(text.size());
    for (const wchar_t c : text) bytes += static_cast<char>(c <= 0xFF ? c : '?');
    return bytes;
}

std::string WinHttpErrorText(DWORD error) {
    switch (error) {
        case ERROR_WINHTTP_TIMEOUT:
            return "no answer in time";
        case ERROR_WINHTTP_CANNOT_CONNECT:
            return "connection refused";
        case ERROR_WINHTTP_NAME_NOT_RESOLVED:
            return "host not found";
        case ERROR_WINHTTP_HEADER_SIZE_OVERFLOW:
        case ERROR_WINHTTP_HEADER_COUNT_EXCEEDED:
            return "response head too large";
        case ERROR_WINHTTP_INVALID_SERVER_RESPONSE:
            return "invalid answer";
        case ERROR_WINHTTP_OPERATION_CANCELLED:
            return "cancelled";
        default:
            return "WinHTTP error " + std::to_string(error);
    }
}

struct HandleCloser {
    void operator()(void* handle) const {
        if (handle) WinHttpCloseHandle(handle);
    }
};
using Handle = std::unique_ptr<void, HandleCloser>;

bool QueryNumber(HINTERNET request, DWORD what, DWORD& value) {
    DWORD size = sizeof value;
    return WinHttpQueryHeaders(request, what | WINHTTP_QUERY_FLAG_NUMBER,
                               WINHTTP_HEADER_NAME_BY_INDEX, &value, &size,
                               WINHTTP_NO_HEADER_INDEX) != FALSE;
}

std::wstring QueryText(HINTERNET request, DWORD what) {
    DWORD size = 0;
    WinHttpQueryHeaders(request, what, WINHTTP_HEADER_NAME_BY_INDEX, WINHTTP_NO_OUTPUT_BUFFER,
                        &size, WINHTTP_NO_HEADER_INDEX);
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0) return {};
    std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
    if (!WinHttpQueryHeaders(request, what, WINHTTP_HEADER_NAME_BY_INDEX, text.data(), &size,
                             WINHTTP_NO_HEADER_INDEX))
        return {};
    text.resize(size / sizeof(wchar_t));
    return text;
}

}  // namespace

struct WinTransfer::Job {
    // Given before the worker starts.
    std::uint64_t id = 0;
    HWND window = nullptr;
    std::shared_ptr<void> session;
    std::wstring url;
    std::wstring headers;
    transfer::Limits limits;
    Clock::time_point deadline;

    // Shared while the worker runs.
    std::mutex mutex;
    bool cancelled = false;
    bool finished = false;
    HINTERNET request = nullptr;  // closed by whichever side is done with it first

    // The worker's results, read once the hop's end message has come.
    transfer::Response answer;
    std::string body;
    std::string failure;
    std::string proxy;         // host:port of the proxy the hop goes through; empty when direct
    bool proxyFailed = false;  // the hop never got past that proxy

    void Run();
    bool Fail(const std::string& reason) {
        failure = reason;
        return false;
    }
    // Bounds the next wait: the idle time-out or what is left of the total.
    bool Budget(HINTERNET handle) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            return Fail("not complete within " + std::to_string(limits.totalTimeoutMs / 1000) +
                        " s");
        const int wait = static_cast<int>(std::min<long long>(left, limits.idleTimeoutMs));
        WinHttpSetTimeouts(handle, wait, wait, wait, wait);
        DWORD response = static_cast<DWORD>(wait);
        WinHttpSetOption(handle, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &response,
                         sizeof response);
        return true;
    }
    bool Exchange(HINTERNET request);
    bool Failed(DWORD error) {
        // Through a proxy, the proxy is the only host looked up and connected to.
        proxyFailed = !proxy.empty() && (error == ERROR_WINHTTP_CANNOT_CONNECT ||
                                         error == ERROR_WINHTTP_NAME_NOT_RESOLVED);
        if (Clock::now() >= deadline)
            return Fail("not complete within " + std::to_string(limits.totalTimeoutMs / 1000) +
                        " s");
        return Fail(WinHttpErrorText(error));
    }
};

void WinTransfer::Job::Run() {
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof parts;
    parts.dwHostNameLength = static_cast<DWORD>(-1);
    parts.dwUrlPathLength = static_cast<DWORD>(-1);
    parts.dwExtraInfoLength = static_cast<DWORD>(-1);
    if (!WinHttpCrackUrl(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts) ||
        parts.dwHostNameLength == 0) {
        Fail("not a usable address");
        return;
    }
    const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
    std::wstring path(parts.lpszUrlPath, parts.dwUrlPathLength);
    path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    if (path.empty() || path[0] != L'/') path.insert(0, L"/");
    const size_t hash = path.find(L'#');
    if (hash != std::wstring::npos) path.resize(hash);

    // The hop's own session carries the proxy the user's settings pick: a request's own proxy
    // option is not honoured by every WinHTTP (Wine ignores it).
    Handle own;
    HINTERNET via = session.get();
    const std::wstring scheme = parts.nScheme == INTERNET_SCHEME_HTTPS ? L"https" : L"http";
    if (const auto chosen = UserProxyFor(via, url, scheme, host)) {
        own.reset(WinHttpOpen(
            Utf8ToWide(transfer::kUserAgent).c_str(),
            chosen->empty() ? WINHTTP_ACCESS_TYPE_NO_PROXY : WINHTTP_ACCESS_TYPE_NAMED_PROXY,
            chosen->empty() ? WINHTTP_NO_PROXY_NAME : chosen->c_str(), WINHTTP_NO_PROXY_BYPASS, 0));
        DWORD decoding = WINHTTP_DECOMPRESSION_FLAG_GZIP | WINHTTP_DECOMPRESSION_FLAG_DEFLATE;
        if (own) {
            WinHttpSetOption(own.get(), WINHTTP_OPTION_DECOMPRESSION, &decoding, sizeof decoding);
            via = own.get();
            proxy = WideToUtf8(*chosen);
        }
    }
    Handle connection(WinHttpConnect(via, host.c_str(), parts.nPort, 0));
    if (!connection) {
        Failed(GetLastError());
        return;
    }
    // WINHTTP_FLAG_REFRESH: no cache between us and the server answers for it either.
    const DWORD flags =
        WINHTTP_FLAG_REFRESH | (parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0);
    HINTERNET opened = WinHttpOpenRequest(connection.get(), L"GET", path.c_str(), nullptr,
                                          WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, flags);
    if (!opened) {
        Failed(GetLastError());
        return;
    }
    {
        std::lock_guard lock(mutex);
        if (cancelled) {
            WinHttpCloseHandle(opened);
            return;
        }
        request = opened;
    }
    Exchange(opened);
    std::lock_guard lock(mutex);
    if (request) WinHttpCloseHandle(request);
    request = nullptr;
}

bool WinTransfer::Job::Exchange(HINTERNET handle) {
    // Redirects are followed by the shared rules, one hop at a time.
    DWORD never = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
    WinHttpSetOption(handle, WINHTTP_OPTION_REDIRECT_POLICY, &never, sizeof never);
    DWORD headBytes = static_cast<DWORD>(limits.maxHeaderBytes);
    WinHttpSetOption(handle, WINHTTP_OPTION_MAX_RESPONSE_HEADER_SIZE, &headBytes, sizeof headBytes);
    if (!headers.empty() &&
        !WinHttpAddRequestHeaders(handle, headers.c_str(), static_cast<DWORD>(headers.size()),
                                  WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE))
        return Failed(GetLastError());
    if (!Budget(handle)) return false;
    if (!WinHttpSendRequest(handle, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0,
                            0))
        return Failed(GetLastError());
    if (!Budget(handle)) return false;
    if (!WinHttpReceiveResponse(handle, nullptr)) return Failed(GetLastError());

    DWORD status = 0;
    if (!QueryNumber(handle, WINHTTP_QUERY_STATUS_CODE, status)) return Fail("no status");
    const std::wstring head = QueryText(handle, WINHTTP_QUERY_RAW_HEADERS_CRLF);
    // Lines of the head: the status line, the fields, and the empty line that ends it.
    std::size_t lines = 0;
    for (std::size_t at = head.find(L"\r\n"); at != std::wstring::npos;
         at = head.find(L"\r\n", at + 2))
        ++lines;
    if (lines > static_cast<std::size_t>(limits.maxHeaderFields) + 2 ||
        head.size() > static_cast<std::size_t>(limits.maxHeaderBytes))
        return Fail("response head too large");
    answer.status = static_cast<int>(status);
    answer.etag = WideToLatin1(QueryText(handle, WINHTTP_QUERY_ETAG));
    answer.lastModified = WideToLatin1(QueryText(handle, WINHTTP_QUERY_LAST_MODIFIED));
    const std::wstring location = QueryText(handle, WINHTTP_QUERY_LOCATION);
    if (!location.empty()) {
        wchar_t resolved[kMaxUrl];
        DWORD size = kMaxUrl;
        if (SUCCEEDED(UrlCombineW(url.c_str(), location.c_str(), resolved, &size, 0)))
            answer.location = WideToUtf8(std::wstring(resolved, size));
    }
    // Only a 2xx body is ours; any other is drained (within the cap) so the connection is
    // not left holding it.
    const bool ours = status >= 200 && status < 300;
    DWORD length = 0;
    if (ours && QueryNumber(handle, WINHTTP_QUERY_CONTENT_LENGTH, length) &&
        static_cast<std::int64_t>(length) > limits.maxBodyBytes)
        return Fail("body larger than " + std::to_string(limits.maxBodyBytes) + " bytes");
    if (ours) body.reserve(length);
    std::string skipped;
    std::int64_t total = 0;
    // A failure while draining a body that is not ours leaves the answer standing.
    const auto stop = [&] {
        if (!ours) failure.clear();
        return !ours;
    };
    for (;;) {
        if (!Budget(handle)) return stop();
        DWORD available = 0;
        if (!WinHttpQueryDataAvailable(handle, &available)) return Failed(GetLastError()) || stop();
        if (available == 0) return true;
        total += available;
        if (total > limits.maxBodyBytes)
            return Fail("body larger than " + std::to_string(limits.maxBodyBytes) + " bytes") ||
                   stop();
        std::string& into = ours ? body : skipped;
        const std::size_t used = ours ? body.size() : 0;
        into.resize(used + available);
        DWORD got = 0;
        if (!WinHttpReadData(handle, into.data() + used, available, &got))
            return Failed(GetLastError()) || stop();
        into.resize(used + got);
        if (got == 0) return true;
    }
}

WinTransfer::WinTransfer() : WinTransfer(transfer::Limits{}) {}

WinTransfer::WinTransfer(const transfer::Limits& limits) : BasicTransfer(limits) {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = reinterpret_cast<WNDPROC>(&WinTransfer::WindowProc);
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kWindowClass;
    RegisterClassExW(&windowClass);  // fails harmlessly when registered already
    window_ = CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance,
                              nullptr);
    if (window_) SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));

    const std::wstring agent = Utf8ToWide(transfer::kUserAgent);
    // Each request takes the proxy the user's settings pick; where there are none, WinHTTP's
    // own choice from them (8.1 and later), else the system's.
    HINTERNET session = WinHttpOpen(agent.c_str(), WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY,
                                    WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
    if (!session)
        session = WinHttpOpen(agent.c_str(), WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                              WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
    if (session) {
        DWORD decoding = WINHTTP_DECOMPRESSION_FLAG_GZIP | WINHTTP_DECOMPRESSION_FLAG_DEFLATE;
        decodes_ = WinHttpSetOption(session, WINHTTP_OPTION_DECOMPRESSION, &decoding,
                                    sizeof decoding) != FALSE;
        session_ = std::shared_ptr<void>(session, [](void* h) { WinHttpCloseHandle(h); });
    }
}

WinTransfer::~WinTransfer() {
    Shutdown();
    if (window_) {
        SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
        DestroyWindow(window_);
    }
}

void WinTransfer::Warn(const std::string& message) {
    std::fprintf(stderr, "%s\n", message.c_str());
}

void WinTransfer::Post(std::function<void()> call) {
    posted_.push_back(std::move(call));
    if (!window_ || !PostMessageW(window_, kPostedMessage, 0, 0)) posted_.pop_back();
}

void WinTransfer::ArmDeadline(int ms) {
    if (window_) SetTimer(window_, kDeadlineTimer, static_cast<UINT>(ms), nullptr);
}

void WinTransfer::Send(const transfer::Hop& hop) {
    if (!window_ || !session_) {
        Post([this] { HopFailed("WinHTTP is not available"); });
        return;
    }
    auto job = std::make_shared<Job>();
    // Unique across transfers: a window handle can come back to another one.
    static std::atomic<std::uint64_t> jobs{0};
    job->id = ++jobs;
    job->window = window_;
    job->session = session_;
    job->url = Utf8ToWide(hop.url);
    for (const auto& [name, value] : hop.headers)
        job->headers += Latin1ToWide(name) + L": " + Latin1ToWide(value) + L"\r\n";
    job->limits = limits();
    job->deadline = Clock::now() + std::chrono::milliseconds(RemainingMs());
    std::thread([job] {
        job->Run();
        {
            std::lock_guard lock(job->mutex);
            job->finished = true;
        }
        PostMessageW(job->window, kHopEndedMessage, static_cast<WPARAM>(job->id), 0);
    }).detach();
    job_ = std::move(job);
}

void WinTransfer::Drop() {
    if (!job_) return;
    const std::shared_ptr<Job> job = std::move(job_);
    std::lock_guard lock(job->mutex);
    job->cancelled = true;
    // Closing the handle ends a blocking call on it early; the worker then ends on its own.
    if (job->request) WinHttpCloseHandle(job->request);
    job->request = nullptr;
}

void WinTransfer::HopEnded(std::uint64_t id) {
    if (!job_ || job_->id != id) return;  // a dropped hop
    {
        std::lock_guard lock(job_->mutex);
        if (!job_->finished) return;
    }
    const std::shared_ptr<Job> job = std::move(job_);
    if (job->proxyFailed) {
        ProxyFailed(job->proxy, job->failure);
        return;
    }
    if (!job->failure.empty()) {
        HopFailed(job->failure);
        return;
    }
    HopDone(job->answer, std::move(job->body));
}

std::intptr_t __stdcall WinTransfer::WindowProc(HWND__* window, unsigned message,
                                                std::uintptr_t wParam, std::intptr_t lParam) {
    auto* self = reinterpret_cast<WinTransfer*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self && message == kPostedMessage && !self->posted_.empty()) {
        const std::function<void()> call = std::move(self->posted_.front());
        self->posted_.pop_front();
        call();
        return 0;
    }
    if (self && message == WM_TIMER && wParam == kDeadlineTimer) {
        KillTimer(window, kDeadlineTimer);
        self->DeadlinePassed();
        return 0;
    }
    if (self && message == kHopEndedMessage) {
        self->HopEnded(static_cast<std::uint64_t>(wParam));
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}
