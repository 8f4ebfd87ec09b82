// What the hive file adds to the store's contract: the text a person reads, no caching, corrupt
// files kept, failures kept silent, and several programs writing at once.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "platform/registry/fileregistry.h"
#include "platform/registry/hivefile.h"
#include "registrytempdir.h"
#include "settings/regmodule.h"

namespace kv {
namespace {

const std::string& kKey = kSettingsKey;

class HiveFile : public testing::Test {
  protected:
    std::filesystem::path hivePath() const { return m_dir.path() / "Kestrovan" / "settings.reg"; }

    RegistryTempDir m_dir;
    FileRegistry m_api{hivePath().string()};
    RegModule m_reg{m_api};
};

TEST_F(HiveFile, IsTextAPersonCanReadKeepingTheCaseThatCreatedEachName) {
    m_reg.WriteRegString(kHkeyCurrentUser, kKey, "Startpage", "https://start.example/");
    m_reg.WriteRegString(kHkeyCurrentUser, kKey + "\\Eula", "Eula", "Agree");
    m_reg.WriteRegString(kHkeyCurrentUser, "SOFTWARE\\KESTROVAN1.1", "STARTPAGE", "https://other.example/");

    EXPECT_EQ(readFile(hivePath()),
              "Windows Registry Editor Version 5.00\n"
              "\n"
              "; Kestrovan settings. \"Name\"=\"text\" is a string value of exactly this UTF-8 text, stored "
              "without\n"
              "; a terminating NUL; hex(N): lists the exact bytes of a value of type N.\n"
              "\n"
              "[HKEY_CURRENT_USER\\Software\\Kestrovan1.1]\n"
              "\"Startpage\"=\"https://other.example/\"\n"
              "\n"
              "[HKEY_CURRENT_USER\\Software\\Kestrovan1.1\\Eula]\n"
              "\"Eula\"=\"Agree\"\n");
}

TEST_F(HiveFile, EveryReadSeesTheFileAsItIsNow) {
    m_reg.WriteRegString(kHkeyCurrentUser, kKey, "Startpage", "https://a.example/");
    writeFile(hivePath(),
              "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Kestrovan1.1]\n"
              "\"StartPage\"=\"edited by hand\"\n");
    EXPECT_EQ(m_reg.ReadRegString(kHkeyCurrentUser, kKey, "StartPage"), "edited by hand");
}

TEST_F(HiveFile, ACorruptFileReadsEmptyAndIsKeptAsideByTheNextWrite) {
    std::filesystem::create_directories(hivePath().parent_path());
    const std::string garbage = "not a hive \"StartPage\"=\"https://lost.example/\"\n\x01\x02";
    writeFile(hivePath(), garbage);

    EXPECT_EQ(m_reg.ReadRegString(kHkeyCurrentUser, kKey, "StartPage"), "");
    EXPECT_FALSE(m_reg.KeyExists(kHkeyCurrentUser, kKey));
    EXPECT_EQ(readFile(hivePath()), garbage);  // reading never touches the file

    m_reg.WriteRegString(kHkeyCurrentUser, kKey, "Startpage", "https://new.example/");
    EXPECT_EQ(m_reg.ReadRegString(kHkeyCurrentUser, kKey, "StartPage"), "https://new.example/");
    int kept = 0;
    for (const auto& entry : std::filesystem::directory_iterator(hivePath().parent_path())) {
        if (entry.path().filename().string().rfind("settings.reg.corrupt-", 0) == 0) {
            ++kept;
            EXPECT_EQ(readFile(entry.path()), garbage);
        }
    }
    EXPECT_EQ(kept, 1);
}

TEST_F(HiveFile, AFolderThatCannotBeCreatedMakesWritesFailSilently) {
    // A regular file where the folder should be: root may write anywhere, but not below a file.
    writeFile(m_dir.path() / "blocked", "");
    FileRegistry api((m_dir.path() / "blocked" / "Kestrovan" / "settings.reg").string());
    RegModule reg(api);
    reg.WriteRegString(kHkeyCurrentUser, kKey, "Startpage", "https://a.example/");
    EXPECT_EQ(reg.ReadRegString(kHkeyCurrentUser, kKey, "Startpage"), "");
    EXPECT_FALSE(reg.KeyExists(kHkeyCurrentUser, kKey));
}

TEST_F(HiveFile, TwoProgramsWritingAtOnceLoseNothingAndTheLastWriteWins) {
    constexpr int kWrites = 100;
    m_reg.WriteRegString(kHkeyCurrentUser, kKey, "Shared", "start");
    const auto writeMany = [this](const std::string& who) {
        FileRegistry api(hivePath().string());
        RegModule reg(api);
        for (int i = 0; i < kWrites; ++i) {
            reg.WriteRegString(kHkeyCurrentUser, kKey, who + std::to_string(i),
                               who + " " + std::to_string(i));
            reg.WriteRegString(kHkeyCurrentUser, kKey, "Shared", who + " " + std::to_string(i));
            // Programs change a setting now and then, not in a tight loop: a writer that waits for the
            // lock (it tries every 10 ms, for 2 s) finds it free between two of the other's writes,
            // however slow a busy machine makes each write.
            std::this_thread::sleep_for(std::chrono::milliseconds(15));
        }
    };
#ifdef _WIN32
    // Without fork, a second thread with a registry of its own: it takes the file lock through its own
    // handle, which excludes the first as a second program's would.
    std::thread other([&] { writeMany("child"); });
    writeMany("parent");
    other.join();
#else
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        writeMany("child");
        ::_exit(0);
    }
    writeMany("parent");
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
#endif

    for (const std::string who : {"child", "parent"}) {
        for (int i = 0; i < kWrites; ++i) {
            EXPECT_EQ(m_reg.ReadRegString(kHkeyCurrentUser, kKey, who + std::to_string(i)),
                      who + " " + std::to_string(i));
        }
    }
    const std::string shared = m_reg.ReadRegString(kHkeyCurrentUser, kKey, "Shared");
    EXPECT_TRUE(shared == "child 99" || shared == "parent 99") << shared;
    for (const auto& entry : std::filesystem::directory_iterator(hivePath().parent_path())) {
        const std::string name = entry.path().filename().string();
        EXPECT_TRUE(name == "settings.reg" || name == "settings.reg.lock") << "left behind: " << name;
    }
}

struct IdentityCase {
    const char* what;
    hivefile::FileIdentity last;
    hivefile::FileIdentity now;
    bool same;
};

TEST(HiveFileIdentity, OnlyAnIdenticalIdentityWithAFileNumberIsTheSameFile) {
    const hivefile::FileIdentity base = {3, 77, 120, 1000, 2000, 0, 0, 0};
    const auto with = [&](std::size_t at, std::uint64_t v) {
        hivefile::FileIdentity id = base;
        id[at] = v;
        return id;
    };
    const IdentityCase cases[] = {
        {"identical", base, base, true},
        {"other device", base, with(0, 4), false},
        {"other file number", base, with(1, 78), false},
        {"other size", base, with(2, 121), false},
        {"written since", base, with(3, 1001), false},
        {"changed since", base, with(4, 2001), false},
        {"no file number, all else equal", with(1, 0), with(1, 0), false},
    };
    for (const IdentityCase& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(hivefile::sameFile(c.last, c.now), c.same);
    }
}

// What the platform reports for a real file: each replacement, even of the same size at once, is a
// file not read before, and an untouched file is the one read before.
TEST(HiveFileIdentity, EveryReplacementIsSeenAndAnUntouchedFileIsRecognised) {
    const RegistryTempDir dir;
    const std::string path = (dir.path() / "settings.reg").string();
    const auto never = [](const hivefile::FileIdentity&) { return false; };
    hivefile::FileIdentity last{};
    std::string text;
    ASSERT_TRUE(hivefile::replace(path, "same size 0", false));
    ASSERT_EQ(hivefile::read(path, 1024, never, last, text), hivefile::ReadResult::Ok);
    for (int i = 1; i < 20; ++i) {
        SCOPED_TRACE(i);
        ASSERT_TRUE(hivefile::replace(path, "same size " + std::to_string(i % 10), false));
        hivefile::FileIdentity now{};
        text.clear();
        const auto wasRead = [&](const hivefile::FileIdentity& id) { return hivefile::sameFile(last, id); };
        ASSERT_EQ(hivefile::read(path, 1024, wasRead, now, text), hivefile::ReadResult::Ok);
        EXPECT_EQ(text, "same size " + std::to_string(i % 10));
        const auto isNow = [&](const hivefile::FileIdentity& id) { return hivefile::sameFile(now, id); };
        hivefile::FileIdentity again{};
        EXPECT_EQ(hivefile::read(path, 1024, isNow, again, text), hivefile::ReadResult::Unchanged);
        last = now;
    }
}

#ifndef _WIN32
TEST(HiveFileLocation, FollowsXdgConfigHome) {
    const char* savedXdg = std::getenv("XDG_CONFIG_HOME");
    const std::string xdg = savedXdg != nullptr ? savedXdg : "";
    const char* savedHome = std::getenv("HOME");
    const std::string home = savedHome != nullptr ? savedHome : "";

    ::setenv("HOME", "/home/someone", 1);
    ::setenv("XDG_CONFIG_HOME", "/xdg/config", 1);
    EXPECT_EQ(FileRegistry::userHivePath(), "/xdg/config/Kestrovan/settings.reg");
    ::setenv("XDG_CONFIG_HOME", "relative/ignored", 1);
    EXPECT_EQ(FileRegistry::userHivePath(), "/home/someone/.config/Kestrovan/settings.reg");
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(FileRegistry::userHivePath(), "/home/someone/.config/Kestrovan/settings.reg");

    savedXdg != nullptr ? ::setenv("XDG_CONFIG_HOME", xdg.c_str(), 1) : ::unsetenv("XDG_CONFIG_HOME");
    savedHome != nullptr ? ::setenv("HOME", home.c_str(), 1) : ::unsetenv("HOME");
}

#endif

}  // namespace
}  // namespace kv
