#pragma once

#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace kv::test {

// A fresh folder removed with everything in it when the test ends. base "/dev/shm" gives one on the
// second filesystem the cross-device cases need.
class TempDir {
  public:
    explicit TempDir(const std::string& base = "/tmp") {
        std::string templ = base + "/kvfs-XXXXXX";
        m_path = mkdtemp(templ.data()) ? templ : std::string();
    }
    ~TempDir() {
        if (!m_path.empty()) {
            nftw(
                m_path.c_str(),
                [](const char* p, const struct stat*, int, FTW*) {
                    chmod(p, 0700);  // a test may have locked a folder
                    return ::remove(p);
                },
                64, FTW_DEPTH | FTW_PHYS);
        }
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return m_path; }
    std::string operator/(const std::string& rel) const { return m_path + "/" + rel; }

  private:
    std::string m_path;
};

inline void writeFile(const std::string& path, const std::string& data) {
    std::ofstream(path, std::ios::binary) << data;
}

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

inline bool exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

inline dev_t deviceOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_dev : 0;
}

}  // namespace kv::test
