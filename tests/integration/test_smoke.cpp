// The programs of one build as a Raspberry Pi runs them: zendrill-cli and
// zendrilld (under qemu for an arm build) against the native simulator on a
// pty and a private native mosquitto. Without ZD_SMOKE_ARCH it tries this
// build's own programs; a cross build's CTest sets ZD_SMOKE_ARCH,
// ZD_SMOKE_RUNNER (the emulator's command words), ZD_SMOKE_ZENDRILLD and
// ZD_SMOKE_CLI.
#include <cstdlib>
#include <iostream>

#include <nlohmann/json.hpp>

#include "tests/integration/daemon_harness.h"

namespace zd::test {
namespace {

using Json = nlohmann::json;

constexpr auto kWait = seconds(60);  // emulated start-ups take seconds on a busy machine

struct Build {
    std::string arch;
    std::vector<std::string> runner;  // empty: run natively
    std::string zendrilld, cli;
};
void PrintTo(const Build& b, std::ostream* os) { *os << b.arch; }

std::vector<Build> builds() {
    const char* arch = std::getenv("ZD_SMOKE_ARCH");
    if (!arch) return {{"native", {}, ZENDRILLD_PATH, ZENDRILL_CLI_PATH}};
    const auto env = [](const char* name) {
        const char* v = std::getenv(name);
        return std::string(v ? v : "");
    };
    Build b{arch, {}, env("ZD_SMOKE_ZENDRILLD"), env("ZD_SMOKE_CLI")};
    std::istringstream words(env("ZD_SMOKE_RUNNER"));
    for (std::string w; words >> w;) b.runner.push_back(w);
    return {b};
}

class SmokeTest : public ::testing::TestWithParam<Build> {
protected:
    std::string dir;
    Broker broker;
    Simulator sim;
    Program daemon;

    void SetUp() override {
        char tmpl[] = "/tmp/zendrill-smoke-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        const int port = free_loopback_port();
        ASSERT_GT(port, 0);
        ASSERT_NO_FATAL_FAILURE(broker.start(dir, port));
    }
    void TearDown() override {
        daemon.stop(SIGKILL, seconds(10));
        sim.kill();
        if (HasFailure())
            std::cout << "--- zendrilld's log\n" << daemon.err() << "--- mosquitto's log\n" << broker.log() << "---\n";
        broker.stop();
        std::system(("rm -rf " + dir).c_str());
    }
    std::string link() const { return dir + "/b203"; }
    std::string socket_path() const { return dir + "/zendrilld.sock"; }

    // Starts `program` of the build under test, through its runner.
    void start(Program& p, const std::string& program, const std::vector<std::string>& args,
               const Program::Environment& env) {
        const Build& b = GetParam();
        if (b.runner.empty()) return p.start(program, args, env);
        std::vector<std::string> all(b.runner.begin() + 1, b.runner.end());
        all.push_back(program);
        all.insert(all.end(), args.begin(), args.end());
        p.start(b.runner.front(), all, env);
    }

    struct CliRun {
        int status = -1;
        std::string out, err;
        milliseconds took{0};
    };
    CliRun cli(const std::vector<std::string>& args) {
        Program p;
        const auto began = Steady::now();
        start(p, GetParam().cli, args, {{"ZENDRILL_SOCKET", socket_path()}, {"ZENDRILL_PORT", std::nullopt}});
        CliRun r;
        const auto status = p.wait_exit(kWait);
        r.took = std::chrono::duration_cast<milliseconds>(Steady::now() - began);
        r.status = status ? *status : p.stop(SIGKILL, seconds(5));
        r.out = p.out();
        r.err = p.err();
        return r;
    }
};

TEST_P(SmokeTest, TheProgramsDriveTheDeviceAndHomeAssistant) {
    ASSERT_NO_FATAL_FAILURE(sim.start(link(), dir + "/sim.log", {"--settings", "1200", "--ir", "0"}));

    // The status exchange on its own; a run without the line shows what the
    // program's start and end take, so the rest is the line's.
    const CliRun version = cli({"--version"});
    ASSERT_EQ(version.status, 0) << version.err;
    const CliRun status = cli({"--port", link(), "status", "--json"});
    ASSERT_EQ(status.status, 0) << status.err;
    const Json record = Json::parse(status.out, nullptr, false);
    ASSERT_TRUE(record.is_object()) << status.out;
    std::string sent;
    for (const SimEntry& e : sim.entries())
        if (e.kind == "TX" && e.bytes.rfind("0X:", 0) == 0) sent = e.bytes.substr(0, e.bytes.find('\r'));
    EXPECT_EQ(record.value("record", ""), sent);
    EXPECT_EQ(record["settings"], "1200");
    EXPECT_EQ(record["ir"], "ein");
    std::cout << "[ " << GetParam().arch << " ] status run " << status.took.count() << " ms, without the line "
              << version.took.count() << " ms, the exchange " << (status.took - version.took).count() << " ms\n";

    // The daemon: discovery, state, a command on the line, the loan, SIGTERM.
    MqttClient watch("watch");
    ASSERT_TRUE(watch.connect(broker.port, {"#"}));
    const std::string config = dir + "/zendrilld.ini";
    write_text(config, "port = " + link() + "\ncontrol_socket = " + socket_path() +
                           "\nmqtt_host = 127.0.0.1\nmqtt_port = " + std::to_string(broker.port) +
                           "\ndevice_id = smoke\npoll_status_s = 3600\npoll_timers_s = 86400\n");
    start(daemon, GetParam().zendrilld, {"--config", config, "--verbose"}, {{"ZENDRILL_PORT", std::nullopt}});
    const auto on = [&](const std::string& topic) {
        return [topic](const Message& m) { return m.topic == topic; };
    };
    auto discovery = watch.wait(0, on("homeassistant/device/zendrill_smoke/config"), kWait);
    ASSERT_TRUE(discovery);
    EXPECT_TRUE(Json::parse(discovery->payload, nullptr, false).contains("cmps"));
    std::size_t started = 0;
    ASSERT_TRUE(watch.wait(0, on("zendrill/smoke/timer/5"), kWait, &started)) << "start-up never ended";
    auto state = watch.wait(0, on("zendrill/smoke/state"), kWait);
    ASSERT_TRUE(state);
    EXPECT_EQ(Json::parse(state->payload, nullptr, false)["settings"], "1200");

    watch.publish("zendrill/smoke/set/ir", "OFF");
    auto result = watch.wait(started, on("zendrill/smoke/result"), kWait);
    ASSERT_TRUE(result);
    EXPECT_EQ(Json::parse(result->payload, nullptr, false)["ok"], true) << result->payload;
    const auto received = sim.received();
    EXPECT_NE(std::find(received.begin(), received.end(), "0R1"), received.end());

    const CliRun borrowed = cli({"--port", link(), "status"});
    EXPECT_EQ(borrowed.status, 0) << borrowed.err;
    EXPECT_TRUE(daemon.wait_err("Port an ein anderes Programm verliehen", kWait));
    EXPECT_TRUE(daemon.wait_err(u8"Port zurückgenommen", kWait));

    const std::size_t before_stop = watch.count();
    EXPECT_EQ(daemon.stop(SIGTERM, kWait), 0) << daemon.err();
    EXPECT_TRUE(watch.wait(
        before_stop, [](const Message& m) { return m.topic == "zendrill/smoke/bridge" && m.payload == "offline"; },
        kWait));
}

INSTANTIATE_TEST_SUITE_P(Builds, SmokeTest, ::testing::ValuesIn(builds()),
                         [](const ::testing::TestParamInfo<Build>& p) { return p.param.arch; });

}  // namespace
}  // namespace zd::test
