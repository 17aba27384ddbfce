#include <gtest/gtest.h>

#include "device/status_record.h"
#include "tests/fakes/fake_port.h"

namespace zd::test {
namespace {

TEST(StatusRecord, LengthIsTheOnlyTest) {
    EXPECT_TRUE(is_status_record("0X:15040718304512000"));
    EXPECT_FALSE(is_status_record("0X:1504071830451200"));
    EXPECT_FALSE(is_status_record("0X:150407183045120000"));
    EXPECT_FALSE(is_status_record(""));
}

TEST(StatusRecord, FieldTexts) {
    EXPECT_EQ(status_date_text("abc15040718304512000"), "15.04.2007");
    EXPECT_EQ(status_time_text("abc15040718304512000"), "18:30:45");
    EXPECT_EQ(status_settings("abc15040718304512000"), "1200");
    EXPECT_EQ(status_date_text("abc01019918304512000"), "01.01.2099");
}

TEST(StatusRecord, CodeDecoding) {
    const ValueNames n = make_value_names();
    struct Case {
        const char* code;
        const std::vector<std::string>* names;
        const char* text;
    } cases[] = {
        {"0", &n.languages, "Englisch"},         {"1", &n.languages, "Deutsch"},
        {"2", &n.languages, "Französisch"},      {"7", &n.languages, ""},
        {"X", &n.languages, "Englisch"},         {" ", &n.languages, "Englisch"},
        {"2", &n.easy_functions, "aus"},         {"1", &n.easy_functions, "Easy Remote + Local"},
        {"3", &n.power_on, "zuletzt aktivierte Lautsprecher"},
        {"4", &n.power_on, "Lautsprecher aus"}, {"5", &n.power_on, ""},
    };
    for (const auto& c : cases) EXPECT_EQ(code_name(c.code, *c.names), c.text) << c.code;
    EXPECT_EQ(code_index("2", 2), -1);
    EXPECT_EQ(code_index("-", 2), 0);
    EXPECT_EQ(on_off_text("0"), "ein");
    EXPECT_EQ(on_off_text("1"), "aus");
    EXPECT_EQ(on_off_text("2"), "aus");
}

TEST(StatusRecord, QueryDiscardsShowsProgressThenWritesAndReads) {
    VirtualClock clock;
    FakePort port(clock);
    DeviceLink link{&port, &clock};
    port.arrive(0, "OK\r\n");
    std::string order;
    port.on_write = [&](const std::string& w) {
        order += "write;";
        EXPECT_EQ(w, "0X\r");
        port.arrive_after(80, "0X:15040718304512000\r\n");
    };
    const std::string r = query_status(link, [&] {
        order += "progress;";
        EXPECT_EQ(port.queued(), 0u);
    });
    EXPECT_EQ(order, "progress;write;");
    EXPECT_EQ(r, "0X:15040718304512000");
    EXPECT_EQ(clock.now, 200);
}

}  // namespace
}  // namespace zd::test
