#include "resources/texts.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace {

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
        lines.push_back(text.substr(start, end - start));
    }
    lines.push_back(text.substr(start));
    return lines;
}

std::size_t leadingBlanks(const std::string& line) {
    return line.find_first_not_of(' ');
}

struct TextCase {
    const char* name;
    std::function<const std::string&()> text;
    std::size_t length;  // the length the window records give; the wording may differ by a few percent
};

class LongText : public testing::TestWithParam<TextCase> {};

TEST_P(LongText, LengthIsNearItsRecordAndEveryBreakIsCrLf) {
    const std::string& text = GetParam().text();
    const std::size_t target = GetParam().length;
    EXPECT_GE(text.size(), target * 95 / 100);
    EXPECT_LE(text.size(), target * 105 / 100);
    // A lone CR or LF would show as a stray character or a break the other texts lack.
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            ASSERT_TRUE(i + 1 < text.size() && text[i + 1] == '\n') << "lone CR at " << i;
        } else if (text[i] == '\n') {
            ASSERT_TRUE(i > 0 && text[i - 1] == '\r') << "lone LF at " << i;
        }
    }
    EXPECT_NE(text.substr(text.size() - 2), "\r\n");
    EXPECT_EQ(text.find('\t'), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Texts, LongText,
                         testing::Values(TextCase{"Eula", kv::eulaText, 6715},
                                         TextCase{"Whats", kv::whatsText, 2404},
                                         TextCase{"Help", kv::helpText, 2806}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(WhatsText, OpensWithTheCentredHeading) {
    const std::string first = splitLines(kv::whatsText()).front();
    const std::size_t indent = leadingBlanks(first);
    ASSERT_NE(indent, std::string::npos);
    EXPECT_GT(indent, 0u);
    EXPECT_EQ(first.substr(indent), "What's   Kestrovan1.1 ?");
}

TEST(HelpText, OpensWithABlankLineThenTheCentredHeading) {
    const std::vector<std::string> lines = splitLines(kv::helpText());
    ASSERT_GE(lines.size(), 3u);
    EXPECT_FALSE(lines[0].empty());
    EXPECT_EQ(lines[0].find_first_not_of(' '), std::string::npos);
    const std::size_t indent = leadingBlanks(lines[1]);
    ASSERT_NE(indent, std::string::npos);
    EXPECT_GT(indent, 0u);
    EXPECT_EQ(lines[1].substr(indent), "Kestrovan 1.1 Help");
}

TEST(EulaText, HasNameTitleNoticeAndTenSectionsInOrder) {
    const std::vector<std::string> lines = splitLines(kv::eulaText());
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[0], "Kestrovan 1.1");
    EXPECT_EQ(lines[1], "EULA-End User License Agreement");

    // The notice is the first paragraph after the title and is written in capitals.
    std::size_t notice = 2;
    while (notice < lines.size() && lines[notice].empty()) {
        ++notice;
    }
    ASSERT_LT(notice, lines.size());
    bool hasLetter = false;
    for (char c : lines[notice]) {
        EXPECT_FALSE(c >= 'a' && c <= 'z') << lines[notice];
        hasLetter = hasLetter || (c >= 'A' && c <= 'Z');
    }
    EXPECT_TRUE(hasLetter);

    // Section headings: "N. TITLE" lines, numbered 1 to 10 in order with nothing skipped or repeated.
    int expected = 1;
    for (std::size_t i = notice + 1; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        const std::size_t dot = line.find(". ");
        if (dot == std::string::npos || dot == 0 || dot > 2 || line.find_first_not_of("0123456789") != dot) {
            continue;
        }
        EXPECT_EQ(std::stoi(line.substr(0, dot)), expected) << line;
        ++expected;
    }
    EXPECT_EQ(expected, 11);
}

}  // namespace
