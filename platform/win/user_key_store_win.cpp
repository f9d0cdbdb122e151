#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/user_key_store.h"
#include "platform/win/ansi.h"

namespace {

bool IsStringType(DWORD type) {
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

HKEY AsHkey(KeyHandle handle) {
    return reinterpret_cast<HKEY>(handle);
}

// The registry under HKEY_CURRENT_USER through the advapi32 "A" calls. String data comes
// back in the ANSI code page and leaves here as UTF-8; its size is the converted size, the
// same for the size query and the data query, so a caller sizing its buffer from the first
// gets exactly what the second gives.
class RegistryUserKeyStore final : public IUserKeyStore {
  public:
    std::int32_t OpenKey(std::string_view path, KeyHandle& handle) override {
        HKEY key = nullptr;
        const LONG status =
            RegOpenKeyExA(HKEY_CURRENT_USER, Utf8ToAnsi(path).c_str(), 0, KEY_QUERY_VALUE, &key);
        handle = status == ERROR_SUCCESS ? reinterpret_cast<KeyHandle>(key) : 0;
        return static_cast<std::int32_t>(status);
    }

    std::int32_t QueryValue(KeyHandle handle, std::string_view name, std::uint32_t* type,
                            unsigned char* data, std::uint32_t* size) override {
        const std::string ansiName = Utf8ToAnsi(name);
        DWORD valueType = 0;
        DWORD rawSize = 0;
        LONG status = RegQueryValueExA(AsHkey(handle), ansiName.c_str(), nullptr, &valueType,
                                       nullptr, &rawSize);
        if (status != ERROR_SUCCESS) return static_cast<std::int32_t>(status);

        if (!IsStringType(valueType)) {
            if (type) *type = valueType;
            if (!data) {
                if (size) *size = rawSize;
                return kErrorSuccess;
            }
            DWORD dataSize = size ? *size : 0;
            status = RegQueryValueExA(AsHkey(handle), ansiName.c_str(), nullptr, &valueType, data,
                                      &dataSize);
            if (type) *type = valueType;
            if (size) *size = dataSize;
            return static_cast<std::int32_t>(status);
        }

        std::string text;
        status = ReadRaw(handle, ansiName, valueType, rawSize, text);
        if (status != ERROR_SUCCESS) return static_cast<std::int32_t>(status);
        if (IsStringType(valueType)) text = AnsiToUtf8(text);
        if (type) *type = valueType;
        const auto needed = static_cast<std::uint32_t>(text.size());
        if (data && (!size || *size < needed)) {
            if (size) *size = needed;
            return kErrorMoreData;
        }
        if (data) std::memcpy(data, text.data(), needed);
        if (size) *size = needed;
        return kErrorSuccess;
    }

    void CloseKey(KeyHandle handle) override { RegCloseKey(AsHkey(handle)); }

  private:
    // The whole stored string, in the ANSI code page, exactly as many bytes as stored: a
    // value kept without its terminating NUL comes back without one.
    static LONG ReadRaw(KeyHandle handle, const std::string& ansiName, DWORD& valueType,
                        DWORD sizeHint, std::string& raw) {
        std::vector<unsigned char> buffer(sizeHint + 1);
        for (int attempt = 0; attempt < 8; ++attempt) {
            DWORD got = static_cast<DWORD>(buffer.size());
            const LONG status = RegQueryValueExA(AsHkey(handle), ansiName.c_str(), nullptr,
                                                 &valueType, buffer.data(), &got);
            if (status == ERROR_MORE_DATA) {  // the value grew since it was sized
                buffer.resize(std::max<std::size_t>(got, buffer.size() * 2));
                continue;
            }
            if (status == ERROR_SUCCESS) raw.assign(buffer.begin(), buffer.begin() + got);
            return status;
        }
        return ERROR_MORE_DATA;
    }
};

}  // namespace

std::unique_ptr<IUserKeyStore> MakeUserKeyStore() {
    return std::make_unique<RegistryUserKeyStore>();
}
