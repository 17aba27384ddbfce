#include <gtest/gtest.h>

#include "core/companion_file.h"
#include "tests/fakes/fake_system.h"

namespace zd::test {
namespace {

TEST(ReplaceKeyLines, Cases) {
    struct Case {
        const char* in;
        const char* key;
        const char* value;
        const char* out;
        bool found;
    } cases[] = {
        {"IdentPort1 = 00\r\nIdentPort10 = 05\r\n", "IdentPort1", "07",
         "IdentPort1 = 07\r\nIdentPort10 = 05\r\n", true},
        {"comport=COM9:\r\n", "Comport", "Com1:", "Comport = Com1:\r\n", true},
        {"  COMPORT  =  x\r\n", "Comport", "Com2:", "Comport = Com2:\r\n", true},
        {"Name = Comport\r\n", "Comport", "Com1:", "Name = Comport\r\n", false},
        {"A = 1\nB203Modus = 1200\nC = 3", "B203Modus", "2104", "A = 1\r\nB203Modus = 2104\r\nC = 3\r\n",
         true},
        {"A = 1\rPortmodus = 100000000\r\n", "Portmodus", "1", "A = 1\r\nPortmodus = 1\r\n", true},
        {"Portmodus = 1\r\nx\r\nportmodus = 0\r\n", "Portmodus", "101", "Portmodus = 101\r\nx\r\nPortmodus = 101\r\n",
         true},
        {"Comport = a very long old value here\r\n", "Comport", "C:", "Comport = C:\r\n", true},
        {"\r\n\r\nComport = x", "Comport", "y", "\r\n\r\nComport = y\r\n", true},
        // The first line behind a byte-order mark is found, and the mark stays.
        {"\xEF\xBB\xBF" "Comport = x\r\nA = 1\r\n", "Comport", "y", "\xEF\xBB\xBF" "Comport = y\r\nA = 1\r\n", true},
    };
    for (const auto& c : cases) {
        bool found = false;
        const std::string out = replace_key_lines_in_text(c.in, c.key, c.value, found);
        EXPECT_EQ(found, c.found) << c.in;
        if (c.found) {
            EXPECT_EQ(out, c.out) << c.in;
        }
    }
}

TEST(ReplaceKeyLines, FileWithoutTheKeyStaysUntouched) {
    FakeSystem sys;
    sys.files["Parvolet.ini"] = "A = 1\nB = 2";
    EXPECT_FALSE(replace_key_lines(sys, "Parvolet.ini", "Portmodus", "100000000"));
    EXPECT_EQ(sys.files["Parvolet.ini"], "A = 1\nB = 2");
    EXPECT_EQ(sys.replace_calls, 0);
}

TEST(ReplaceKeyLines, MissingFileChangesNothing) {
    FakeSystem sys;
    EXPECT_FALSE(replace_key_lines(sys, "Parvolet.ini", "Comport", "Com1:"));
    EXPECT_TRUE(sys.files.empty());
}

TEST(ReplaceKeyLines, FileIsRewrittenWithCrLf) {
    FakeSystem sys;
    sys.files["Parvolet.ini"] = "Comport = Com3:\nX = 1\n";
    EXPECT_TRUE(replace_key_lines(sys, "Parvolet.ini", "Comport", "Com1:"));
    EXPECT_EQ(sys.files["Parvolet.ini"], "Comport = Com1:\r\nX = 1\r\n");
}

}  // namespace
}  // namespace zd::test
