#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "platform/registry/hive.h"
#include "platform/registry/registryapi.h"
#include "registrytempdir.h"

namespace kv {
namespace {

using namespace std::string_literals;

const std::vector<std::string> kKeyPath = {"HKEY_CURRENT_USER", "Software", "Kestrovan1.1"};
const std::string kHiveHeader = "Windows Registry Editor Version 5.00\n";

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
         kHiveHeader + "\n[HKEY_CURRENT_USER\\Software\\Kestrovan1.1]\n\"StartPage\"=\"a\\\"b\\\\c\"\n",
         "startpage", kRegSz, "a\"b\\c"},
        {"CRLF, BOM, comments, spacing",
         "\xEF\xBB\xBF" + kHiveHeader +
             "\r\n; note\r\n[HKEY_CURRENT_USER\\Software\\Kestrovan1.1]\r\n  \"A\" = \"x\"  \r\n",
         "a", kRegSz, "x"},
        {"unnamed value", kHiveHeader + "[hkey_current_user\\software\\kestrovan1.1]\n@=\"d\"\n", "", kRegSz,
         "d"},
        {"dword", kHiveHeader + "[HKEY_CURRENT_USER\\Software\\Kestrovan1.1]\n\"N\"=dword:0000012A\n", "N",
         kRegDword, "\x2A\x01\0\0"s},
        {"typed bytes over continued lines",
         kHiveHeader + "[HKEY_CURRENT_USER\\Software\\Kestrovan1.1]\n\"E\"=hex(2):25,00,\\\n  41,\\\n  0\n",
         "E", kRegExpandSz, "%\0A\0"s},
        {"empty binary", kHiveHeader + "[HKEY_CURRENT_USER\\Software\\Kestrovan1.1]\n\"B\"=hex:\n", "B",
         kRegBinary, ""},
        {"later line of a repeated section wins",
         kHiveHeader + "[HKEY_CURRENT_USER\\Software\\Kestrovan1.1]\n\"V\"=\"1\"\n[HKEY_CURRENT_"
                       "USER\\SOFTWARE\\Kestrovan1.1]\n\"v\"=\"2\"\n",
         "V", kRegSz, "2"},
    };
    for (const ParseCase& c : cases) {
        SCOPED_TRACE(c.what);
        const auto hive = Hive::parse(c.text);
        ASSERT_TRUE(hive.has_value());
        const Hive::Value* v = hive->findValue(kKeyPath, c.name);
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
        kHiveHeader + "\"A\"=\"value before any section\"\n",
        kHiveHeader + "[HKEY_NOWHERE\\Software]\n",
        kHiveHeader + "[-HKEY_CURRENT_USER\\Software]\n",
        kHiveHeader + "[HKEY_CURRENT_USER\\\\Software]\n",
        kHiveHeader + section + "\"A\"=-\n",
        kHiveHeader + section + "\"A\"=\"unknown escape \\n\"\n",
        kHiveHeader + section + "\"A\"=\"unterminated\n",
        kHiveHeader + section + "\"A\"=\"text\" trailing\n",
        kHiveHeader + section + "\"A\"=\"\xFF not UTF-8\"\n",
        kHiveHeader + section + "\"A\"=hex:0g\n",
        kHiveHeader + section + "\"A\"=hex:01,,02\n",
        kHiveHeader + section + "\"A\"=hex:01,\\\n",
        kHiveHeader + section + "\"A\"=dword:123456789\n",
        kHiveHeader + section + "A=\"unquoted name\"\n",
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
        hive.createKey(kKeyPath);
        hive.setValue(kKeyPath, "V", row.type, row.data);
        const std::string text = hive.format();
        EXPECT_NE(text.find("\n[HKEY_CURRENT_USER\\Software\\Kestrovan1.1]\n" + row.line + "\n"),
                  std::string::npos)
            << text;
        const auto back = Hive::parse(text);
        ASSERT_TRUE(back.has_value()) << text;
        ASSERT_NE(back->findValue(kKeyPath, "V"), nullptr);
        EXPECT_EQ(back->findValue(kKeyPath, "V")->type, row.type);
        EXPECT_EQ(back->findValue(kKeyPath, "V")->data, row.data);
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

// A section "\n[HKEY_CURRENT_USER\k\k\...]" naming a key `depth` levels deep, the root included.
std::string deepSection(std::size_t depth) {
    std::string section = "\n[HKEY_CURRENT_USER";
    for (std::size_t i = 1; i < depth; ++i) {
        section += "\\k";
    }
    return section + "]\n";
}

TEST(Hive, NestingIsBoundedAsTheRegistryBoundsIt) {
    struct Row {
        std::size_t depth;
        bool parses;
    };
    // A million levels is a 2 MB file; it must be refused without exhausting the stack.
    const Row rows[] = {{2, true}, {512, true}, {513, false}, {1000000, false}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.depth);
        const auto hive = Hive::parse(kHiveHeader + deepSection(row.depth) + "\"V\"=\"x\"\n");
        EXPECT_EQ(hive.has_value(), row.parses);

        // Nothing written can be deeper than what reads back.
        Hive built;
        const std::vector<std::string> path(row.depth, "k");
        EXPECT_EQ(built.createKey(path), row.parses);
        EXPECT_EQ(built.hasKey(path), row.parses);
        EXPECT_EQ(built.setValue(path, "V", kRegSz, "x"), row.parses);
    }
}

TEST(Hive, WritingIsLinearInTheTextThatDescribesTheTree) {
    struct Row {
        const char* what;
        std::string text;
    };
    std::string wide = kHiveHeader;
    for (int i = 0; i < 2000; ++i) {
        wide += deepSection(3).substr(0, deepSection(3).size() - 2) + "\\w" + std::to_string(i) + "]\n";
    }
    std::string everyLevel = kHiveHeader;
    for (std::size_t depth = 2; depth <= 512; depth += 1) {
        everyLevel += deepSection(depth) + "@=\"" + std::to_string(depth) + "\"\n";
    }
    const Row rows[] = {
        {"one deep key", kHiveHeader + deepSection(512) + "\"V\"=\"x\"\n"},
        {"one deep empty key", kHiveHeader + deepSection(512)},
        {"many siblings", wide},
        {"a value on every level", everyLevel},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const auto hive = Hive::parse(row.text);
        ASSERT_TRUE(hive.has_value());
        const std::string out = hive->format();
        // The keys above a listed key are implied by its path, so each section is written once.
        EXPECT_LE(out.size(), row.text.size() + 256) << out.substr(0, 400);
        const auto back = Hive::parse(out);
        ASSERT_TRUE(back.has_value());
        EXPECT_EQ(back->format(), out);
    }
    const auto deep = Hive::parse(kHiveHeader + deepSection(512) + "\"V\"=\"x\"\n");
    std::vector<std::string> above = {"HKEY_CURRENT_USER"};
    while (above.size() < 512) {
        above.push_back("K");
        EXPECT_TRUE(deep->hasKey(above)) << above.size();
    }
}

TEST(Hive, ParsingIsLinearInManySiblings) {
    constexpr int kCount = 100000;
    std::string keys = kHiveHeader;
    std::string values = kHiveHeader + "[HKEY_CURRENT_USER\\Software]\n";
    for (int i = 0; i < kCount; ++i) {
        keys += "[HKEY_CURRENT_USER\\Software\\Key" + std::to_string(i) + "]\n";
        values += "\"Value" + std::to_string(i) + "\"=\"x\"\n";
    }
    for (const std::string* text : {&keys, &values}) {
        std::optional<Hive> hive;
        // Searching siblings one by one takes half a minute here; an index takes a fraction of a second.
        EXPECT_LT(processorSecondsFor([&] { hive = Hive::parse(*text); }), 10.0);
        ASSERT_TRUE(hive.has_value());
        EXPECT_TRUE(hive->hasKey({"hkey_current_user", "software", "KEY99999"}) ||
                    hive->findValue({"HKEY_CURRENT_USER", "SOFTWARE"}, "value99999") != nullptr);
        EXPECT_LT(processorSecondsFor([&] { (void)Hive::parse(hive->format()); }), 10.0);
    }
}

}  // namespace
}  // namespace kv
