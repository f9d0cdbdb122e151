#include "platform/transfer_core.h"

#include <algorithm>
#include <cctype>
#include <exception>

namespace transfer {
namespace {

std::string Describe(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "unknown exception";
    }
}

bool IsRedirect(int status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

}  // namespace

std::string SchemeOf(std::string_view url) {
    const auto colon = url.find(':');
    if (colon == std::string_view::npos || colon == 0) return {};
    std::string scheme;
    for (const char c : url.substr(0, colon)) {
        const auto u = static_cast<unsigned char>(c);
        if (!std::isalnum(u) && c != '+' && c != '-' && c != '.') return {};
        scheme += static_cast<char>(std::tolower(u));
    }
    return std::isalpha(static_cast<unsigned char>(scheme[0])) ? scheme : std::string();
}

bool Usable(std::string_view url) {
    const std::string scheme = SchemeOf(url);
    if (scheme != "http" && scheme != "https") return false;
    const std::string_view rest = url.substr(scheme.size() + 1);
    if (rest.substr(0, 2) != "//") return false;
    const std::string_view authority = rest.substr(2, rest.find_first_of("/?#", 2) - 2);
    const auto at = authority.rfind('@');
    const std::string_view host =
        at == std::string_view::npos ? authority : authority.substr(at + 1);
    return !host.empty() && host[0] != ':';
}

std::string RedirectRefusal(std::string_view from, std::string_view to, int followed,
                            const Limits& limits) {
    if (!Usable(to)) return "redirect to unusable address \"" + std::string(to) + "\"";
    if (SchemeOf(from) == "https" && SchemeOf(to) == "http") return "redirect from https to http";
    if (followed >= limits.maxRedirects)
        return "more than " + std::to_string(limits.maxRedirects) + " redirects";
    return {};
}

Headers Validators::For(const std::string& url) const {
    Headers headers;
    if (!known_ || url != url_) return headers;
    if (!etag_.empty()) {
        // Apache's compression answers with the file's tag plus a suffix naming the coding,
        // and matches only the file's own tag when it comes back; the file's tag changes
        // with the file, so offering it too finds no other version than the stored one.
        std::string tags = etag_;
        for (const std::string_view suffix : {"-gzip\"", "-br\""}) {
            const std::size_t opening = etag_.find('"');
            if (etag_.ends_with(suffix) && opening != std::string::npos &&
                opening + 1 < etag_.size() - suffix.size()) {
                tags += ", " + etag_.substr(0, etag_.size() - suffix.size()) + '"';
                break;
            }
        }
        headers.emplace_back("If-None-Match", tags);
    }
    if (!lastModified_.empty()) headers.emplace_back("If-Modified-Since", lastModified_);
    return headers;
}

void Validators::Remember(const std::string& url, const Response& answer, Body body) {
    known_ = true;
    url_ = url;
    etag_ = answer.etag;
    lastModified_ = answer.lastModified;
    body_ = std::move(body);
}

Validators::Body Validators::Freshen(const std::string& url, const Response& answer) {
    if (!known_ || url != url_) return nullptr;
    if (!answer.etag.empty()) etag_ = answer.etag;
    if (!answer.lastModified.empty()) lastModified_ = answer.lastModified;
    return body_;
}

BasicTransfer::BasicTransfer(Limits limits) : limits_(limits) {}

BasicTransfer::~BasicTransfer() {
    *alive_ = false;
}

void BasicTransfer::Shutdown() {
    StateChanged = nullptr;
    *alive_ = false;
    if (phase_ == Phase::Running) Drop();
    phase_ = Phase::Idle;
}

bool BasicTransfer::Busy() const {
    return phase_ != Phase::Idle;
}

int BasicTransfer::RemainingMs() const {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline_ - std::chrono::steady_clock::now());
    return static_cast<int>(std::clamp<std::int64_t>(left.count(), 0, limits_.totalTimeoutMs));
}

int BasicTransfer::WaitBudgetMs() const {
    return std::min(std::max(limits_.idleTimeoutMs, 0), RemainingMs());
}

void BasicTransfer::Execute(const std::string& url) {
    // A poll falling due while the previous one runs or is still being handled is dropped.
    if (phase_ != Phase::Idle) return;
    phase_ = Phase::Running;
    ++serial_;
    body_ = nullptr;
    readPos_ = 0;
    redirects_ = 0;
    deadline_ = std::chrono::steady_clock::now() +
                std::chrono::milliseconds(std::max(limits_.totalTimeoutMs, 0));
    ArmDeadline(std::max(limits_.totalTimeoutMs, 0) + std::max(limits_.reportGraceMs, 0));
    try {
        url_ = url;
        hopUrl_ = url;
        if (!Usable(url)) {
            Warn("Transfer refused, not an http(s) address: \"" + url + "\"");
            Conclude(kStateError);
            return;
        }
        Hop hop{url, {{"User-Agent", kUserAgent}}};
        const Headers validators = validators_.For(url);
        conditional_ = !validators.empty();
        hop.headers.insert(hop.headers.end(), validators.begin(), validators.end());
        Send(hop);
    } catch (...) {
        Warn("Transfer of " + url + " not started: " + Describe(std::current_exception()));
        Drop();
        Conclude(kStateError);
    }
}

void BasicTransfer::DeadlinePassed() {
    if (phase_ != Phase::Running) return;
    Warn("Transfer of " + url_ + " failed: no end reported in time");
    Drop();
    Report(kStateError);
}

void BasicTransfer::HopFailed(const std::string& reason) {
    if (phase_ != Phase::Running) return;
    Warn("Transfer of " + url_ + " failed: " + reason);
    Conclude(kStateError);
}

void BasicTransfer::ProxyFailed(const std::string& proxy, const std::string& reason) {
    HopFailed("the proxy " + proxy + " failed, the page's server was not reached: " + reason);
}

void BasicTransfer::HopDone(const Response& answer, std::string body) {
    if (phase_ != Phase::Running) return;
    try {
        const int status = answer.status;
        if (status >= 200 && status < 300) {
            if (static_cast<std::int64_t>(body.size()) > limits_.maxBodyBytes) {
                HopFailed("body larger than " + std::to_string(limits_.maxBodyBytes) + " bytes");
                return;
            }
            body_ = std::make_shared<const std::string>(std::move(body));
            validators_.Remember(url_, answer, body_);
            Conclude(kStateResponseCompleted);
        } else if (status == 304) {
            // Only an answer to our own validators stands for the remembered page.
            body_ = conditional_ ? validators_.Freshen(url_, answer) : nullptr;
            if (body_) {
                Conclude(kStateResponseCompleted);
            } else {
                HopFailed("304 with no page to stand for");
            }
        } else if (IsRedirect(status)) {
            const std::string refusal =
                RedirectRefusal(hopUrl_, answer.location, redirects_, limits_);
            if (!refusal.empty()) {
                HopFailed(refusal);
                return;
            }
            ++redirects_;
            hopUrl_ = answer.location;
            // The validators go along every hop, as the address they belong to is the first.
            Hop hop{hopUrl_, {{"User-Agent", kUserAgent}}};
            const Headers validators = validators_.For(url_);
            hop.headers.insert(hop.headers.end(), validators.begin(), validators.end());
            Send(hop);
        } else {
            // HTTP 400 and above, informational or unusual 3xx: no page to show.
            HopFailed("HTTP status " + std::to_string(status));
        }
    } catch (...) {
        Drop();
        HopFailed(Describe(std::current_exception()));
    }
}

void BasicTransfer::Conclude(std::int16_t state) {
    if (state != kStateResponseCompleted) body_ = nullptr;
    // Always through the event loop: never from inside Execute, and never while the
    // platform's network code is still on the stack when the handler runs its own loop.
    const std::uint64_t serial = serial_;
    Post([this, alive = alive_, state, serial] {
        if (*alive && serial == serial_ && phase_ == Phase::Running) Report(state);
    });
}

void BasicTransfer::Report(std::int16_t state) {
    const std::uint64_t serial = serial_;
    const std::shared_ptr<bool> alive = alive_;
    phase_ = state == kStateResponseCompleted ? Phase::Completed : Phase::Idle;
    readPos_ = 0;
    try {
        if (StateChanged) StateChanged(state);
    } catch (...) {
        if (*alive)
            Warn("Transfer state " + std::to_string(state) +
                 " handler failed: " + Describe(std::current_exception()));
    }
    // The body is read while state 12 is handled. Whatever is left unread once the handler
    // is done (it gave up, or failed) must not hold back the next poll.
    if (*alive && serial == serial_ && phase_ == Phase::Completed) {
        phase_ = Phase::Idle;
        body_ = nullptr;
    }
}

std::string BasicTransfer::GetChunk(int size) {
    if (phase_ != Phase::Completed || size <= 0 || !body_) return {};
    const std::size_t left = body_->size() - readPos_;
    if (left == 0) return {};
    const std::size_t n = std::min<std::size_t>(left, static_cast<std::size_t>(size));
    std::string piece = body_->substr(readPos_, n);
    readPos_ += n;
    return piece;
}

}  // namespace transfer
