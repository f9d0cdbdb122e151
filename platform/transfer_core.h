#pragma once
// What every transfer keeps to, whatever carries its bytes: one request at a time, the outcome
// delivered later through the event loop, the body read in pieces while state 12 is handled,
// validators echoed verbatim, the limits, the redirect policy and the User-Agent. A platform
// transfer derives from BasicTransfer and only moves bytes.
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/transfer.h"

namespace transfer {

inline constexpr char kUserAgent[] = "Tavorin/" TAVORIN_VERSION;

struct Limits {
    std::int64_t maxBodyBytes = 16 * 1024 * 1024;
    int idleTimeoutMs = 60 * 1000;    // no byte for this long ends a transfer
    int totalTimeoutMs = 120 * 1000;  // so a trickling server delays one poll at most
    // Past its total allowance, a request whose end the platform has not reported within
    // this much more ends as an error: a lost report must not hold back every later poll.
    int reportGraceMs = 15 * 1000;
    int maxRedirects = 10;
    // A response head beyond these is broken or hostile (Qt's own parser stops at 100 fields).
    int maxHeaderFields = 100;
    int maxHeaderBytes = 64 * 1024;
};

using Headers = std::vector<std::pair<std::string, std::string>>;

// One request the platform sends: a plain GET, no cache, no redirect followed on its own.
struct Hop {
    std::string url;  // absolute http(s)
    Headers headers;  // User-Agent and any validators, to be sent as given
};

// The end of one hop as the platform saw it.
struct Response {
    int status = 0;
    std::string etag;          // verbatim, empty when absent
    std::string lastModified;  // verbatim, empty when absent
    std::string location;      // absolute, resolved against the hop's address; empty when none
};

// Lower-case scheme of an absolute address; empty when it has none.
std::string SchemeOf(std::string_view url);
// An http(s) address with a host; the platform's own parser may still refuse it.
bool Usable(std::string_view url);
// Why a redirect from `from` to `to` after `followed` earlier ones may not be followed; empty
// when it may.
std::string RedirectRefusal(std::string_view from, std::string_view to, int followed,
                            const Limits& limits);

// Validators and body of the last 2xx answer, for conditional requests of the same address.
class Validators {
  public:
    using Body = std::shared_ptr<const std::string>;
    // The headers a request of `url` carries (none unless `url` is the remembered address).
    Headers For(const std::string& url) const;
    void Remember(const std::string& url, const Response& answer, Body body);
    // A 304 for `url`: the remembered body, with the validators it carries taking the place of
    // the stored ones (stored responses are freshened by a 304); null when nothing stands.
    Body Freshen(const std::string& url, const Response& answer);

  private:
    bool known_ = false;
    std::string url_, etag_, lastModified_;
    Body body_;
};

class BasicTransfer : public ITransfer {
  public:
    explicit BasicTransfer(Limits limits);
    ~BasicTransfer() override;

    void Execute(const std::string& url) final;
    std::string GetChunk(int size) final;

    // A request is running, or its outcome is being handled.
    bool Busy() const;
    const Limits& limits() const { return limits_; }

  protected:
    // Starts one hop; reports later through HopDone or HopFailed, never from inside this call.
    virtual void Send(const Hop& hop) = 0;
    // Drops the running hop: no report of it follows.
    virtual void Drop() = 0;
    // Runs `call` later from the thread's event loop.
    virtual void Post(std::function<void()> call) = 0;
    virtual void Warn(const std::string& message) = 0;
    // Calls DeadlinePassed() from the event loop once ms have passed, in place of any earlier
    // arming: a timer of the platform's, which cannot be lost as a posted report can.
    virtual void ArmDeadline(int ms) = 0;
    void DeadlinePassed();
    // Platforms call this from the destructor, before their own members go.
    void Shutdown();

    // The hop ended with an answer; `body` holds the 2xx body read within the limits.
    void HopDone(const Response& answer, std::string body);
    void HopFailed(const std::string& reason);
    // The hop never reached the page's server: the proxy it goes through (host:port) failed.
    void ProxyFailed(const std::string& proxy, const std::string& reason);

    // The running request's address and the time left of its whole allowance.
    const std::string& url() const { return url_; }
    int RemainingMs() const;
    // Bounds one wait for the server: the idle time-out or what is left of the total.
    int WaitBudgetMs() const;

  private:
    enum class Phase {
        Idle,
        Running,   // a hop is alive, or the outcome is queued for delivery
        Completed  // state 12 is being handled; the body can be read
    };
    void Conclude(std::int16_t state);
    void Report(std::int16_t state);

    Limits limits_;
    Phase phase_ = Phase::Idle;
    std::uint64_t serial_ = 0;  // counts requests, so a late report can tell it is stale
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    std::string url_, hopUrl_;
    bool conditional_ = false;
    int redirects_ = 0;
    std::chrono::steady_clock::time_point deadline_;
    Validators::Body body_;
    std::size_t readPos_ = 0;
    Validators validators_;
};

}  // namespace transfer
