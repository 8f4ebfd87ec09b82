#pragma once

#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <system_error>

#include "settings/settingskeys.h"

namespace kv {

inline std::string readFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void writeFile(const std::filesystem::path& p, const std::string& text) {
    std::ofstream(p, std::ios::binary) << text;
}

// Seconds taken by `run`, for the checks that something does not wait.
template <typename F>
double secondsFor(F&& run) {
    const auto start = std::chrono::steady_clock::now();
    run();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Seconds of the processor's time that `run` took (on Linux; Windows' clock counts the wall's), for
// the checks that work grows in step with the text and not faster: another program's load on the
// machine does not lengthen them.
template <typename F>
double processorSecondsFor(F&& run) {
    const std::clock_t start = std::clock();
    run();
    return static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
}

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
