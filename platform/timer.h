#pragma once
#include <functional>

class ITimer {
  public:
    virtual ~ITimer() = default;
    virtual void Start(int intervalMs) = 0;
    std::function<void()> Timer;  // each tick
};
