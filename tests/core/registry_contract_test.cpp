// The settings store's contract, run unchanged against every registry backend of the platform: the
// hive file everywhere, and on Windows (under Wine in the cross build) the real registry as well.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/registry/registryapi.h"
#include "settings/regmodule.h"

#include "platform/registry/fileregistry.h"
#include "registrytempdir.h"

#ifdef _WIN32
#include <windows.h>

#include "platform/registry/winregistry.h"
#endif

namespace kv {
namespace {

// One backend with a key path of its own under the current user that does not exist yet.
class Backend {
  public:
    virtual ~Backend() = default;
    virtual RegistryApi& api() = 0;
    virtual std::string freshKey() = 0;
};

#ifdef _WIN32
class RealRegistryBackend : public Backend {
  public:
    RealRegistryBackend() {
        static int counter = 0;
        m_scratch = "Software\\KestrovanTests\\" + std::to_string(::GetCurrentProcessId()) + "-" +
                    std::to_string(++counter);
    }
    ~RealRegistryBackend() override { ::RegDeleteTreeA(HKEY_CURRENT_USER, m_scratch.c_str()); }
    RegistryApi& api() override { return m_api; }
    std::string freshKey() override { return m_scratch + "\\Kestrovan1.1"; }

  private:
    WinRegistry m_api;
    std::string m_scratch;
};
#endif

class HiveFileBackend : public Backend {
  public:
    HiveFileBackend() : m_api((m_dir.path() / "Kestrovan" / "settings.reg").string()) {}
    RegistryApi& api() override { return m_api; }
    std::string freshKey() override { return "Software\\Kestrovan1.1"; }

  private:
    RegistryTempDir m_dir;
    FileRegistry m_api;
};

struct BackendKind {
    std::string name;
    std::function<std::unique_ptr<Backend>()> make;
};

std::vector<BackendKind> backends() {
    std::vector<BackendKind> kinds = {{"HiveFile", [] { return std::make_unique<HiveFileBackend>(); }}};
#ifdef _WIN32
    kinds.push_back({"RealRegistry", [] { return std::make_unique<RealRegistryBackend>(); }});
#endif
    return kinds;
}

class RegistryContract : public testing::TestWithParam<BackendKind> {
  protected:
    void SetUp() override {
        m_backend = GetParam().make();
        m_key = m_backend->freshKey();
    }

    RegistryApi& api() { return m_backend->api(); }
    RegModule reg() { return RegModule(api()); }

    // Stores a value the way another program could, bypassing the store's own write.
    void storeRaw(const std::string& name, std::uint32_t type, const std::string& bytes) {
        RegHandle key = 0;
        ASSERT_EQ(api().createKey(kHkeyCurrentUser, m_key, &key), kRegSuccess);
        ASSERT_EQ(api().setValue(key, name, type, reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                 static_cast<std::uint32_t>(bytes.size())),
                  kRegSuccess);
        api().closeKey(key);
    }

    std::unique_ptr<Backend> m_backend;
    std::string m_key;
};

using namespace std::string_literals;

struct StoredCase {
    const char* what;
    std::uint32_t type;
    std::string bytes;
    std::string reads;
};

TEST_P(RegistryContract, StoredValueReadsAsText) {
    const StoredCase cases[] = {
        {"string without terminator", kRegSz, "https://a.example/", "https://a.example/"},
        {"string with terminator", kRegSz, "https://a.example/\0"s, "https://a.example/"},
        {"zero length", kRegSz, "", ""},
        {"only a terminator", kRegSz, "\0"s, ""},
        {"inner NUL", kRegSz, "ab\0cd"s, "ab"},
        {"outside the code page, with terminator", kRegSz, "Gr\xC3\xBC\xC3\x9F\x65 \xE6\x97\xA5\0"s,
         "Gr\xC3\xBC\xC3\x9F\x65 \xE6\x97\xA5"},
        {"expandable string", kRegExpandSz, "%USERPROFILE%\\page.html\0"s, ""},
        {"number", kRegDword, "\x2A\0\0\0"s, ""},
        {"binary", kRegBinary, "abc", ""},
        {"multi string", kRegMultiSz, "a\0b\0\0"s, ""},
    };
    for (const StoredCase& c : cases) {
        SCOPED_TRACE(c.what);
        storeRaw("StartPage", c.type, c.bytes);
        EXPECT_EQ(reg().ReadRegString(kHkeyCurrentUser, m_key, "StartPage"), c.reads);
    }
}

TEST_P(RegistryContract, WrittenTextReadsBackExactlyAndStoresNoTerminator) {
    const std::string texts[] = {
        "https://www.example.org/",
        "",
        "  blanks kept  ",
        "quote \" backslash \\ end\\",
        "C:\\Users\\someone\\start.html",
        "tab\there\nnew line\r\n",
        // Outside every ANSI code page at once: the narrow calls would turn these into '?'.
        "Gr\xC3\xBC\xC3\x9F\x65, \xCE\x95\xCE\xBB\xCE\xBB\xCE\xB7\xCE\xBD\xCE\xB9\xCE\xBA\xCE\xAC, "
        "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E, \xF0\x9F\x98\x80",
        std::string(1 << 20, 'x'),
    };
    for (const std::string& text : texts) {
        SCOPED_TRACE(text.substr(0, 40));
        reg().WriteRegString(kHkeyCurrentUser, m_key, "Startpage", text);
        EXPECT_EQ(reg().ReadRegString(kHkeyCurrentUser, m_key, "Startpage"), text);

        RegHandle key = 0;
        ASSERT_EQ(api().openKey(kHkeyCurrentUser, m_key, &key), kRegSuccess);
        std::uint32_t type = 0;
        std::uint32_t size = 0;
        EXPECT_EQ(api().queryValue(key, "Startpage", &type, nullptr, &size), kRegSuccess);
        EXPECT_EQ(type, kRegSz);
        EXPECT_EQ(size, text.size());
        api().closeKey(key);
    }
}

TEST_P(RegistryContract, NamesCompareWithoutRegardToCase) {
    reg().WriteRegString(kHkeyCurrentUser, m_key, "Startpage", "first");
    EXPECT_EQ(reg().ReadRegString(kHkeyCurrentUser, m_key, "StartPage"), "first");

    reg().WriteRegString(kHkeyCurrentUser, m_key, "STARTPAGE", "second");
    EXPECT_EQ(reg().ReadRegString(kHkeyCurrentUser, m_key, "startpage"), "second");

    std::string otherCase = m_key;
    for (char& c : otherCase) {
        c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    }
    EXPECT_EQ(reg().ReadRegString(kHkeyCurrentUser, otherCase, "StartPage"), "second");
    EXPECT_EQ(reg().ReadRegString(kHkeyCurrentUser, m_key, "Start Page"), "");
}

TEST_P(RegistryContract, ReadingAMissingKeyCreatesNothingAndWritingCreatesTheWholePath) {
    const std::string eulaKey = m_key + "\\Eula";
    EXPECT_EQ(reg().ReadRegString(kHkeyCurrentUser, eulaKey, "Eula"), "");
    EXPECT_FALSE(reg().KeyExists(kHkeyCurrentUser, m_key));
    EXPECT_FALSE(reg().KeyExists(kHkeyCurrentUser, eulaKey));

    reg().WriteRegString(kHkeyCurrentUser, eulaKey, "Eula", "Agree");
    EXPECT_TRUE(reg().KeyExists(kHkeyCurrentUser, m_key));
    EXPECT_TRUE(reg().KeyExists(kHkeyCurrentUser, eulaKey));
    EXPECT_EQ(reg().ReadRegString(kHkeyCurrentUser, eulaKey, "Eula"), "Agree");
    EXPECT_EQ(reg().ReadRegString(kHkeyCurrentUser, m_key, "Eula"), "");
}

TEST_P(RegistryContract, WritingOverAValueOfAnotherTypeReplacesIt) {
    storeRaw("Startpage", kRegDword, "\x01\0\0\0"s);
    reg().WriteRegString(kHkeyCurrentUser, m_key, "StartPage", "https://b.example/");
    EXPECT_EQ(reg().ReadRegString(kHkeyCurrentUser, m_key, "Startpage"), "https://b.example/");
}

TEST_P(RegistryContract, CallsBehaveLikeAdvapi32) {
    RegHandle key = 1234;
    EXPECT_NE(api().openKey(kHkeyCurrentUser, m_key, &key), kRegSuccess);
    EXPECT_EQ(key, 0u);

    std::uint32_t type = 0;
    std::uint32_t size = 0;
    EXPECT_NE(api().queryValue(0, "StartPage", &type, nullptr, &size), kRegSuccess);

    storeRaw("StartPage", kRegSz, "abcdef");
    ASSERT_EQ(api().openKey(kHkeyCurrentUser, m_key, &key), kRegSuccess);
    EXPECT_EQ(api().queryValue(key, "Missing", &type, nullptr, &size), kRegFileNotFound);

    std::uint8_t small[3] = {};
    size = sizeof small;
    EXPECT_EQ(api().queryValue(key, "StartPage", &type, small, &size), kRegMoreData);
    EXPECT_EQ(size, 6u);

    std::string buffer(6, ' ');
    EXPECT_EQ(
        api().queryValue(key, "StartPage", &type, reinterpret_cast<std::uint8_t*>(buffer.data()), &size),
        kRegSuccess);
    EXPECT_EQ(buffer, "abcdef");
    EXPECT_EQ(api().closeKey(key), kRegSuccess);
}

INSTANTIATE_TEST_SUITE_P(Backends, RegistryContract, testing::ValuesIn(backends()),
                         [](const testing::TestParamInfo<BackendKind>& info) { return info.param.name; });

}  // namespace
}  // namespace kv
