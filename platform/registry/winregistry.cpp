#ifdef _WIN32

#include "platform/registry/winregistry.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

namespace kv {

namespace {

// The predefined roots are 32-bit values that a 64-bit HKEY carries sign-extended.
HKEY toHkey(RegHandle h) {
    if (h >= 0x80000000u && h <= 0x800000FFu) {
        return reinterpret_cast<HKEY>(
            static_cast<ULONG_PTR>(static_cast<LONG>(static_cast<std::uint32_t>(h))));
    }
    return reinterpret_cast<HKEY>(h);
}

std::wstring toWide(const char* s, std::size_t len) {
    if (len == 0) {
        return {};
    }
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, s, static_cast<int>(len), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, s, static_cast<int>(len), out.data(), n);
    return out;
}

std::wstring toWide(const std::string& s) {
    return toWide(s.data(), s.size());
}

std::string toUtf8(const wchar_t* s, std::size_t len) {
    if (len == 0) {
        return {};
    }
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, s, static_cast<int>(len), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, s, static_cast<int>(len), out.data(), n, nullptr, nullptr);
    return out;
}

bool isStringType(DWORD type) {
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

}  // namespace

long WinRegistry::openKey(RegHandle parent, const std::string& subKey, RegHandle* result) {
    if (result == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    HKEY key = nullptr;
    // MAXIMUM_ALLOWED is the access RegOpenKey asks for.
    const LONG rc = ::RegOpenKeyExW(toHkey(parent), toWide(subKey).c_str(), 0, MAXIMUM_ALLOWED, &key);
    *result = rc == ERROR_SUCCESS ? reinterpret_cast<RegHandle>(key) : 0;
    return rc;
}

long WinRegistry::createKey(RegHandle parent, const std::string& subKey, RegHandle* result) {
    if (result == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    HKEY key = nullptr;
    const LONG rc = ::RegCreateKeyExW(toHkey(parent), toWide(subKey).c_str(), 0, nullptr,
                                      REG_OPTION_NON_VOLATILE, MAXIMUM_ALLOWED, nullptr, &key, nullptr);
    *result = rc == ERROR_SUCCESS ? reinterpret_cast<RegHandle>(key) : 0;
    return rc;
}

long WinRegistry::queryValue(RegHandle key, const std::string& valueName, std::uint32_t* type,
                             std::uint8_t* data, std::uint32_t* size) {
    if (data != nullptr && size == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    const HKEY hkey = toHkey(key);
    const std::wstring name = toWide(valueName);
    DWORD storedType = REG_NONE;
    DWORD storedSize = 0;
    LONG rc = ::RegQueryValueExW(hkey, name.c_str(), nullptr, &storedType, nullptr, &storedSize);
    // The UTF-8 size of a string depends on its content, so even a size query reads the data; a value
    // that grows between the two calls is read again.
    std::vector<BYTE> raw;
    while (rc == ERROR_SUCCESS) {
        raw.resize(storedSize);
        rc = ::RegQueryValueExW(hkey, name.c_str(), nullptr, &storedType, raw.data(), &storedSize);
        if (rc != ERROR_MORE_DATA) {
            break;
        }
        rc = ERROR_SUCCESS;
    }
    if (rc != ERROR_SUCCESS) {
        return rc;
    }
    raw.resize(storedSize);

    std::string bytes;
    if (isStringType(storedType)) {
        std::wstring wide(raw.size() / sizeof(wchar_t), L'\0');
        std::memcpy(wide.data(), raw.data(), wide.size() * sizeof(wchar_t));
        bytes = toUtf8(wide.data(), wide.size());
    } else {
        bytes.assign(reinterpret_cast<const char*>(raw.data()), raw.size());
    }

    if (type != nullptr) {
        *type = storedType;
    }
    const auto needed = static_cast<std::uint32_t>(bytes.size());
    if (data != nullptr) {
        if (*size < needed) {
            *size = needed;
            return ERROR_MORE_DATA;
        }
        std::memcpy(data, bytes.data(), needed);
    }
    if (size != nullptr) {
        *size = needed;
    }
    return ERROR_SUCCESS;
}

long WinRegistry::setValue(RegHandle key, const std::string& valueName, std::uint32_t type,
                           const std::uint8_t* data, std::uint32_t size) {
    if (data == nullptr && size != 0) {
        return ERROR_INVALID_PARAMETER;
    }
    const std::wstring name = toWide(valueName);
    if (isStringType(type)) {
        std::wstring wide = toWide(reinterpret_cast<const char*>(data), size);
        const auto bytes = static_cast<DWORD>(wide.size() * sizeof(wchar_t));
        // advapi32 counts a terminator the caller left out when the character after the data is NUL
        // (a string's own terminator always is); a non-NUL guard after the data keeps the stored
        // length exactly the one asked for.
        wide.push_back(L'?');
        return ::RegSetValueExW(toHkey(key), name.c_str(), 0, type,
                                reinterpret_cast<const BYTE*>(wide.data()), bytes);
    }
    return ::RegSetValueExW(toHkey(key), name.c_str(), 0, type, data, size);
}

long WinRegistry::closeKey(RegHandle key) {
    return ::RegCloseKey(toHkey(key));
}

}  // namespace kv

#endif
