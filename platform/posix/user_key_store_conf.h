#pragma once
#include <string>
#include <vector>

#include "platform/user_key_store.h"

// A per-user key "Software\<Org>\<App>\<Section>" kept as the file
// <configFolder>/<Org>/<App>.conf, section [<Section>]. A value written
// "dword:" + 8 hex digits is a 32-bit number, as registry exports write it;
// anything else is a string.
class ConfUserKeyStore final : public IUserKeyStore {
  public:
    // The file is small by nature; a runaway one is not worth reading whole.
    static constexpr std::size_t kMaxFileBytes = 16 * 1024 * 1024;
    explicit ConfUserKeyStore(std::string configFolder, std::size_t maxFileBytes = kMaxFileBytes);
    std::int32_t OpenKey(std::string_view path, KeyHandle& handle) override;
    std::int32_t QueryValue(KeyHandle handle, std::string_view name, std::uint32_t* type,
                            unsigned char* data, std::uint32_t* size) override;
    void CloseKey(KeyHandle handle) override;

  private:
    struct OpenKeyData {
        std::string text;  // decoded file content
        std::string section;
        bool open = false;
    };
    std::string configFolder_;
    std::size_t maxFileBytes_;
    std::vector<OpenKeyData> keys_;
};

// $XDG_CONFIG_HOME when set to an absolute path, else ~/.config.
std::string UserConfigFolder();
