#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "platform/registry/hive.h"
#include "platform/registry/registryapi.h"

namespace kv {
namespace {

using namespace std::string_literals;

const std::vector<std::string> kKey = {"HKEY_CURRENT_USER", "Software", "Kestrovan1.1"};
const std::string kHeader = "Windows Registry Editor Version 5.00\n";

struct ParseCase {
    const char* what;
    std::string text;
    std::string name;
    std::uint32_t type;
    std::string data;
};

TEST(Hive, ReadsWhatTheRegistryExportWrites) {
    const ParseCase cases[] = {
        {"plain string",
         kHeader + "\n[HKEY_CURRENT_USER\\Software\\Kestrovan1.1]\n\"StartPage\"=\"a\\\"b\\\\c\"\n",
         "startpage", kRegSz, "a\"b\\c"},
        {"CRLF, BOM, comments, spacing",
         "\xEF\xBB\xBF" + kHeader +
             "\r\n; note\r\n[HKEY_CURRENT_USER\\Software\\Kestrovan1.1]\r\n  \"A\" = \"x\"  \r\n",
         "a", kRegSz, "x"},
        {"unnamed value", kHeader + "[hkey_current_user\\software\\kestrovan1.1]\n@=\"d\"\n", "", kRegSz,
         "d"},
        {"dword", kHeader + "[HKEY_CURRENT_USER\\Software\\Kestrovan1.1]\n\"N\"=dword:0000012A\n", "N",
         kRegDword, "\x2A\x01\0\0"s},
        {"typed bytes over continued lines",
         kHeader + "[HKEY_CURRENT_USER\\Software\\Kestrovan1.1]\n\"E\"=hex(2):25,00,\\\n  41,\\\n  0\n", "E",
         kRegExpandSz, "%\0A\0"s},
        {"empty binary", kHeader + "[HKEY_CURRENT_USER\\Software\\Kestrovan1.1]\n\"B\"=hex:\n", "B",
         kRegBinary, ""},
        {"later line of a repeated section wins",
         kHeader + "[HKEY_CURRENT_USER\\Software\\Kestrovan1.1]\n\"V\"=\"1\"\n[HKEY_CURRENT_"
                   "USER\\SOFTWARE\\Kestrovan1.1]\n\"v\"=\"2\"\n",
         "V", kRegSz, "2"},
    };
    for (const ParseCase& c : cases) {
        SCOPED_TRACE(c.what);
        const auto hive = Hive::parse(c.text);
        ASSERT_TRUE(hive.has_value());
        const Hive::Value* v = hive->findValue(kKey, c.name);
        ASSERT_NE(v, nullptr);
        EXPECT_EQ(v->type, c.type);
        EXPECT_EQ(v->data, c.data);
    }
}

TEST(Hive, RefusesTextItCannotReadExactly) {
    const std::string section = "[HKEY_CURRENT_USER\\Software]\n";
    const std::string cases[] = {
        "garbage\n",
        "REGEDIT4\n" + section,
        kHeader + "\"A\"=\"value before any section\"\n",
        kHeader + "[HKEY_NOWHERE\\Software]\n",
        kHeader + "[-HKEY_CURRENT_USER\\Software]\n",
        kHeader + "[HKEY_CURRENT_USER\\\\Software]\n",
        kHeader + section + "\"A\"=-\n",
        kHeader + section + "\"A\"=\"unknown escape \\n\"\n",
        kHeader + section + "\"A\"=\"unterminated\n",
        kHeader + section + "\"A\"=\"text\" trailing\n",
        kHeader + section + "\"A\"=\"\xFF not UTF-8\"\n",
        kHeader + section + "\"A\"=hex:0g\n",
        kHeader + section + "\"A\"=hex:01,,02\n",
        kHeader + section + "\"A\"=hex:01,\\\n",
        kHeader + section + "\"A\"=dword:123456789\n",
        kHeader + section + "A=\"unquoted name\"\n",
    };
    for (const std::string& text : cases) {
        EXPECT_FALSE(Hive::parse(text).has_value()) << text;
    }
    EXPECT_TRUE(Hive::parse("").has_value());
}

TEST(Hive, FormatsPlainStringsAsTextAndEverythingElseExactly) {
    struct Row {
        std::uint32_t type;
        std::string data;
        std::string line;
    };
    const Row rows[] = {
        {kRegSz, "https://x.example/?a=\"1\"\\", "\"V\"=\"https://x.example/?a=\\\"1\\\"\\\\\""},
        {kRegSz, "Gr\xC3\xBC\xC3\x9F\x65", "\"V\"=\"Gr\xC3\xBC\xC3\x9F\x65\""},
        {kRegSz, "", "\"V\"=\"\""},
        {kRegSz, "ab\0"s, "\"V\"=hex(1):61,62,00"},
        {kRegSz, "a\nb", "\"V\"=hex(1):61,0a,62"},
        {kRegSz, "\xC3", "\"V\"=hex(1):c3"},
        {kRegDword, "\x2A\0\0\0"s, "\"V\"=dword:0000002a"},
        {kRegDword, "\x2A"s, "\"V\"=hex(4):2a"},
        {kRegExpandSz, "%A%", "\"V\"=hex(2):25,41,25"},
        {kRegBinary, "", "\"V\"=hex:"},
        {kRegQword, "\x01", "\"V\"=hex(b):01"},
    };
    for (const Row& row : rows) {
        Hive hive;
        hive.createKey(kKey);
        hive.setValue(kKey, "V", row.type, row.data);
        const std::string text = hive.format();
        EXPECT_NE(text.find("\n[HKEY_CURRENT_USER\\Software\\Kestrovan1.1]\n" + row.line + "\n"),
                  std::string::npos)
            << text;
        const auto back = Hive::parse(text);
        ASSERT_TRUE(back.has_value()) << text;
        ASSERT_NE(back->findValue(kKey, "V"), nullptr);
        EXPECT_EQ(back->findValue(kKey, "V")->type, row.type);
        EXPECT_EQ(back->findValue(kKey, "V")->data, row.data);
    }
}

TEST(Hive, ArbitraryValuesSurviveFormatAndParse) {
    std::mt19937 rng(7);
    Hive hive;
    std::vector<Hive::Value> expected;
    for (int i = 0; i < 200; ++i) {
        const std::uint32_t types[] = {kRegSz, kRegExpandSz, kRegBinary, kRegDword, kRegMultiSz, 0x12345};
        std::string data(rng() % (i == 0 ? 300000 : 40), '\0');
        for (char& c : data) {
            c = static_cast<char>(rng() % 4 == 0 ? 'a' + rng() % 26 : rng() % 256);
        }
        Hive::Value v{"Value \"" + std::to_string(i) + "\\", types[rng() % 6], data};
        const std::vector<std::string> path = {"HKEY_CURRENT_USER", "Software", "K" + std::to_string(i % 7)};
        hive.createKey(path);
        hive.setValue(path, v.name, v.type, v.data);
        expected.push_back(v);
    }
    const auto back = Hive::parse(hive.format());
    ASSERT_TRUE(back.has_value());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const std::vector<std::string> path = {"HKEY_CURRENT_USER", "Software", "K" + std::to_string(i % 7)};
        const Hive::Value* v = back->findValue(path, expected[i].name);
        ASSERT_NE(v, nullptr) << i;
        EXPECT_EQ(v->type, expected[i].type) << i;
        EXPECT_EQ(v->data, expected[i].data) << i;
    }
}

}  // namespace
}  // namespace kv
