#include "settings/regmodule.h"

#include <limits>

#include "platform/registry/registryapi.h"

namespace kv {

RegModule::RegModule(RegistryApi& api) : m_api(api) {}

std::string RegModule::ReadRegString(std::uint32_t root, const std::string& keyPath,
                                     const std::string& valueName) const {
    // A failed open leaves the handle 0, on which both queries fail, so its result needs no check.
    RegHandle key = 0;
    m_api.openKey(root, keyPath, &key);

    std::uint32_t type = 0;
    std::uint32_t size = 0;
    m_api.queryValue(key, valueName, &type, nullptr, &size);

    std::string result;
    if (type == kRegSz) {
        std::string buffer(size, ' ');
        if (m_api.queryValue(key, valueName, &type, reinterpret_cast<std::uint8_t*>(buffer.data()), &size) ==
            kRegSuccess) {
            // A value shortened by another program between the two queries reports its new size; the
            // blanks beyond it were never stored and must not be read as text.
            if (size < buffer.size()) {
                buffer.resize(size);
            }
            // Data stored with or without a terminating NUL reads as the same text.
            result = buffer.substr(0, buffer.find('\0'));
        }
    }

    m_api.closeKey(key);
    return result;
}

void RegModule::WriteRegString(std::uint32_t root, const std::string& keyPath, const std::string& valueName,
                               const std::string& data) const {
    RegHandle key = 0;
    m_api.createKey(root, keyPath, &key);
    // The stored length is the text's own bytes, without a terminator.
    if (data.size() <= std::numeric_limits<std::uint32_t>::max()) {
        m_api.setValue(key, valueName, kRegSz, reinterpret_cast<const std::uint8_t*>(data.data()),
                       static_cast<std::uint32_t>(data.size()));
    }
    m_api.closeKey(key);
}

bool RegModule::KeyExists(std::uint32_t root, const std::string& keyPath) const {
    RegHandle key = 0;
    if (m_api.openKey(root, keyPath, &key) != kRegSuccess) {
        return false;
    }
    m_api.closeKey(key);
    return true;
}

}  // namespace kv
