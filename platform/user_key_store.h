#pragma once
#include <cstdint>
#include <string_view>

// The per-user settings key, seen through the three registry calls the settings
// resolution makes. On Windows these are the advapi32 calls; elsewhere a small
// file stands in for the key.
using KeyHandle = std::uintptr_t;

inline constexpr std::int32_t kErrorSuccess = 0;
inline constexpr std::int32_t kErrorFileNotFound = 2;
inline constexpr std::int32_t kErrorInvalidHandle = 6;
inline constexpr std::int32_t kErrorMoreData = 234;
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegExpandSz = 2;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;

class IUserKeyStore {
  public:
    virtual ~IUserKeyStore() = default;
    // Opens a key under the current user for query; handle is 0 on failure.
    virtual std::int32_t OpenKey(std::string_view path, KeyHandle& handle) = 0;
    // With data null only type and size are reported; otherwise size is the
    // buffer's size on entry and the bytes written on return.
    virtual std::int32_t QueryValue(KeyHandle handle, std::string_view name, std::uint32_t* type,
                                    unsigned char* data, std::uint32_t* size) = 0;
    virtual void CloseKey(KeyHandle handle) = 0;
};

#include <memory>
// The current user's store: the registry on Windows, a settings file elsewhere.
std::unique_ptr<IUserKeyStore> MakeUserKeyStore();
