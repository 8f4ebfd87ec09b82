#pragma once

#include <cstdint>
#include <string>

namespace kv {

class RegistryApi;

// The root every caller passes: the current user's branch. (Never spelled HKEY_CURRENT_USER, which
// is a macro wherever windows.h has been included.)
inline constexpr std::uint32_t kHkeyCurrentUser = 0x80000001u;

// The settings store: text values read and written at the moment they are needed, with no cache
// and no defaults. Callers treat empty text as "not set"; failures are never reported.
class RegModule {
  public:
    explicit RegModule(RegistryApi& api);

    std::string ReadRegString(std::uint32_t root, const std::string& keyPath,
                              const std::string& valueName) const;
    void WriteRegString(std::uint32_t root, const std::string& keyPath, const std::string& valueName,
                        const std::string& data) const;
    // Whether the key exists (open for reading succeeds); creates nothing. Used to recognise a first start.
    bool KeyExists(std::uint32_t root, const std::string& keyPath) const;

  private:
    RegistryApi& m_api;
};

}  // namespace kv
