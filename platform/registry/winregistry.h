#pragma once

#ifdef _WIN32

#include "platform/registry/registryapi.h"

namespace kv {

// The real registry through advapi32's wide calls. The narrow (ANSI) calls would turn every character
// outside the system code page into '?', so names and string data are converted between UTF-8 and
// the UTF-16 the registry stores; nothing stored differs from what the narrow calls would store for
// text inside the code page. String sizes are reported in UTF-8 bytes, the text the caller sees.
class WinRegistry : public RegistryApi {
  public:
    long openKey(RegHandle parent, const std::string& subKey, RegHandle* result) override;
    long createKey(RegHandle parent, const std::string& subKey, RegHandle* result) override;
    long queryValue(RegHandle key, const std::string& valueName, std::uint32_t* type, std::uint8_t* data,
                    std::uint32_t* size) override;
    long setValue(RegHandle key, const std::string& valueName, std::uint32_t type, const std::uint8_t* data,
                  std::uint32_t size) override;
    long closeKey(RegHandle key) override;
};

}  // namespace kv

#endif
