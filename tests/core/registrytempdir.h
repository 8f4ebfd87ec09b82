#pragma once

#include <filesystem>
#include <random>
#include <string>
#include <system_error>

namespace kv {

// A fresh folder for one test's hive file, removed with everything in it afterwards.
class RegistryTempDir {
  public:
    RegistryTempDir() {
        static int counter = 0;
        const auto base = std::filesystem::temp_directory_path();
        for (;;) {
            m_path = base / ("kv-registry-" + std::to_string(std::random_device{}()) + "-" +
                             std::to_string(++counter));
            std::error_code ec;
            if (std::filesystem::create_directory(m_path, ec)) {
                break;
            }
        }
    }
    ~RegistryTempDir() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    RegistryTempDir(const RegistryTempDir&) = delete;
    RegistryTempDir& operator=(const RegistryTempDir&) = delete;

    const std::filesystem::path& path() const { return m_path; }

  private:
    std::filesystem::path m_path;
};

}  // namespace kv
