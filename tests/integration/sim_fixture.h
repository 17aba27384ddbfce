#pragma once
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>

#include "device/link.h"
#include "platform/clock.h"
#include "platform/posix/posix_serial_port.h"
#include "sim/sim_server.h"

namespace zd::sim {

// A simulator in this process and the tool's own link on the pty's slave.
struct SimFixture : ::testing::Test {
    std::unique_ptr<SimServer> server;
    std::unique_ptr<SerialPort> port;
    Clock& clock = sleeping_clock();
    DeviceLink link;

    static SimConfig base_config() {
        SimConfig c;
        c.preset.date = "150407";
        c.preset.time = "183045";
        c.preset.settings = "1200";
        c.preset.ir = "0";
        c.preset.devices[3] = "05";
        return c;
    }

    void start(const SimConfig& config) {
        server = std::make_unique<SimServer>(config);
        std::string error;
        ASSERT_TRUE(server->start(error)) << error;
        open_port();
    }

    void open_port() {
        port = open_posix_serial_port(server->slave_path());
        ASSERT_TRUE(port) << server->slave_path();
        link = DeviceLink{port.get(), &clock};
    }

    void TearDown() override {
        if (port) port->close();
        port.reset();
        if (server) server->stop();
    }

    // One exchange as the tool makes it, with the time it took.
    std::string exchange(const std::string& command, int limit_ms, long long* elapsed_ms = nullptr) {
        const auto t0 = std::chrono::steady_clock::now();
        write_command(link, command);
        std::string reply = read_reply_line(link, limit_ms);
        if (elapsed_ms) {
            *elapsed_ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0)
                              .count();
        }
        return reply;
    }
};

}  // namespace zd::sim
