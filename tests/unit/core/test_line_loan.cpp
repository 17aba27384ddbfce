#include <gtest/gtest.h>

#include "core/line_loan.h"

namespace zd::test {
namespace {

TEST(LineLoan, RequestsAndAnswers) {
    EXPECT_EQ(loan::request_line("/dev/ttyUSB0"), "LEND /dev/ttyUSB0\n");
    std::string port;
    EXPECT_TRUE(loan::parse_request("LEND /dev/ttyUSB0", port));
    EXPECT_EQ(port, "/dev/ttyUSB0");
    for (const char* bad : {"LEND ", "LEND", "lend /dev/x", "LEND /dev/\x01x", "BORROW /dev/x", ""})
        EXPECT_FALSE(loan::parse_request(bad, port)) << bad;
    EXPECT_FALSE(loan::parse_request("LEND " + std::string(600, 'x'), port));

    std::string detail;
    EXPECT_EQ(loan::parse_answer("LENT", detail), loan::Answer::Lent);
    EXPECT_EQ(loan::parse_answer("OTHER /dev/ttyUSB1", detail), loan::Answer::Other);
    EXPECT_EQ(detail, "/dev/ttyUSB1");
    EXPECT_EQ(loan::parse_answer("ERROR zu viele Verbindungen", detail), loan::Answer::Refused);
    EXPECT_EQ(detail, "zu viele Verbindungen");
    EXPECT_EQ(loan::parse_answer("LENT ", detail), loan::Answer::Garbled);
    EXPECT_EQ(loan::lent_line(), "LENT\n");
    EXPECT_EQ(loan::other_line("/dev/a"), "OTHER /dev/a\n");
}

}  // namespace
}  // namespace zd::test
