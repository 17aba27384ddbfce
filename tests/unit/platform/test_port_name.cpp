#include <gtest/gtest.h>

#include "platform/port_name.h"
#include "platform/win32/device_path.h"

namespace zd::test {
namespace {

TEST(PortName, ValidNames) {
    struct Case {
        const char* name;
        bool valid;
    } cases[] = {{"Com1:", true},      {"COM12:", true}, {"Com1234:", true}, {"Com12345:", false},
                 {":", false},         {"Com1", false},  {"Co m1:", false},  {"..\\x:", false},
                 {"Com1:extra", true}, {"", false}};
    for (const auto& c : cases) EXPECT_EQ(is_valid_port_name(c.name), c.valid) << c.name;
    EXPECT_EQ(port_device_name("Com1:"), "Com1");
}

TEST(PortName, DevicePathAndModeText) {
    struct Case {
        const char* name;
        const char* path;
        const char* mode;
    } cases[] = {
        {"Com1:", "\\\\.\\Com1", "Com1:1200,N,8,1"},
        {"COM12:", "\\\\.\\COM12", "COM12:1200,N,8,1"},
        {"Com3:x", "\\\\.\\Com3", "Com3:x1200,N,8,1"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(port_device_path(c.name), c.path) << c.name;
        EXPECT_EQ(port_open_text(c.name), c.mode) << c.name;
    }
}

}  // namespace
}  // namespace zd::test
