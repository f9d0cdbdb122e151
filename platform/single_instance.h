#pragma once
#include <functional>
#include <memory>
#include <string>
#include <string_view>

// One running program per copy. A copy is its executable's full path, so copies in other
// folders or under other names run side by side. A later start of the same copy asks the
// running one to show its window and ends; a crashed instance leaves nothing that blocks.
class SingleInstance {
  public:
    virtual ~SingleInstance() = default;
    // True when no other process of this copy runs: this one answers later starts from now
    // on. False when one does; it has then been asked to show its window.
    virtual bool Claim() = 0;
    // A later start of this copy asked for the window.
    std::function<void()> ShowRequested;
};

// The name a copy's lock and channel carry on every platform: a fixed prefix and a hash of
// the executable's full path (compared without regard to ASCII case on Windows).
std::string InstanceKey(std::string_view programPath);

// Implemented by each platform layer.
std::unique_ptr<SingleInstance> MakeSingleInstance(const std::string& programPath);
