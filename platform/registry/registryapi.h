#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace kv {

// A key handle as advapi32 hands them out. The predefined roots keep their 32-bit values
// (0x80000001 is the current user's branch); 0 is never a valid handle, so a failed open leaves a
// handle that makes every later call fail, as the settings store's read relies on.
using RegHandle = std::uintptr_t;
inline constexpr RegHandle kRegCurrentUser = 0x80000001u;

// Result codes, with the values of the Windows error codes they stand for.
inline constexpr long kRegSuccess = 0;
inline constexpr long kRegFileNotFound = 2;
inline constexpr long kRegAccessDenied = 5;
inline constexpr long kRegInvalidHandle = 6;
inline constexpr long kRegInvalidParameter = 87;
inline constexpr long kRegBadPathname = 161;
inline constexpr long kRegMoreData = 234;
inline constexpr long kRegKeyDeleted = 1018;

// Value types, with the registry's numbers.
inline constexpr std::uint32_t kRegNone = 0;
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegExpandSz = 2;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;
inline constexpr std::uint32_t kRegMultiSz = 7;
inline constexpr std::uint32_t kRegQword = 11;

// The advapi32 calls the settings store is written against, shaped like RegOpenKey, RegCreateKey,
// RegQueryValueEx, RegSetValueEx and RegCloseKey. Names, paths and string data are UTF-8; a backend
// that stores another encoding converts, and reports sizes in UTF-8 bytes.
class RegistryApi {
  public:
    virtual ~RegistryApi() = default;

    // Opens an existing key below `parent`; creates nothing. On failure *result is 0.
    virtual long openKey(RegHandle parent, const std::string& subKey, RegHandle* result) = 0;

    // Opens the key, creating it and every missing key above it first. On failure *result is 0.
    virtual long createKey(RegHandle parent, const std::string& subKey, RegHandle* result) = 0;

    // With data null, reports type and size only. With a buffer, *size is its capacity on entry and the
    // value's size on return; a buffer that is too small gives kRegMoreData and the size needed.
    virtual long queryValue(RegHandle key, const std::string& valueName, std::uint32_t* type,
                            std::uint8_t* data, std::uint32_t* size) = 0;

    // Stores exactly `size` bytes; no terminator is added.
    virtual long setValue(RegHandle key, const std::string& valueName, std::uint32_t type,
                          const std::uint8_t* data, std::uint32_t size) = 0;

    virtual long closeKey(RegHandle key) = 0;
};

// The current user's settings: on Windows the real registry, elsewhere the hive file
// $XDG_CONFIG_HOME/Kestrovan/settings.reg (~/.config when XDG_CONFIG_HOME is unset).
std::unique_ptr<RegistryApi> makeUserRegistry();

}  // namespace kv
