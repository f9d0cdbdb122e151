#pragma once
#include <cstdint>
#include <functional>
#include <string>

inline constexpr std::int16_t kStateResponseReceived = 8;
inline constexpr std::int16_t kStateError = 11;
inline constexpr std::int16_t kStateResponseCompleted = 12;

// The asynchronous HTTP transfer control (Inet1).
class ITransfer {
  public:
    virtual ~ITransfer() = default;
    // Starts a GET and returns at once; the outcome arrives later through StateChanged,
    // never from inside this call.
    virtual void Execute(const std::string& url) = 0;
    // The next piece of the body, at most size bytes; empty once the body is exhausted.
    virtual std::string GetChunk(int size) = 0;
    std::function<void(std::int16_t state)> StateChanged;
};
