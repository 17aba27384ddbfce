#include <gtest/gtest.h>

#include "core/texts.h"
#include "core/utf8.h"

namespace zd::test {
namespace {

TEST(Texts, Windows1252AndUtf8) {
    std::string back;
    const std::string all = [] {
        std::string s;
        for (int b = 1; b < 256; ++b) s += static_cast<char>(b);
        return s;
    }();
    ASSERT_TRUE(utf8_to_1252(utf8_from_1252(all), back));
    EXPECT_EQ(back, all);
    EXPECT_EQ(utf8_from_1252("\x80\xE4"), u8"€ä");
    for (const char* bad : {"\xC3", "\xE2\x82", "\xC0\xAF", "\xF0\x9F\x98\x80", "\xE2\x82\xAC\x80", u8"Ā"})
        EXPECT_FALSE(utf8_to_1252(bad, back)) << bad;
    EXPECT_EQ(pane_lines("\rA\r\rB"), (std::vector<std::string>{"A", "", "B"}));
}

}  // namespace
}  // namespace zd::test
