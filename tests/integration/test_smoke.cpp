// The programs of one build as a Raspberry Pi runs them: zendrill-cli and
// zendrilld (under qemu for an arm build) against the native simulator on a
// pty and a private native mosquitto. Without ZD_SMOKE_ARCH it tries this
// build's own programs; a cross build's CTest sets ZD_SMOKE_ARCH,
// ZD_SMOKE_RUNNER (the emulator's command words), ZD_SMOKE_ZENDRILLD and
// ZD_SMOKE_CLI.
#include "tests/integration/stack.h"

namespace zd::test {
namespace {

constexpr auto kSlow = seconds(60);  // emulated start-ups take seconds on a busy machine

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

// The daemon tests' stack, with this build's programs.
class SmokeTest : public DaemonProgramTest, public ::testing::WithParamInterface<Build> {
protected:
    void SetUp() override {
        runner = GetParam().runner;
        zendrilld = GetParam().zendrilld;
        zendrill_cli = GetParam().cli;
        DaemonProgramTest::SetUp();
    }
};

TEST_P(SmokeTest, TheProgramsDriveTheDeviceAndHomeAssistant) {
    ASSERT_NO_FATAL_FAILURE(start_sim({"--settings", "1200", "--ir", "0"}));

    // The status exchange on its own; a run without the line shows what the
    // program's start and end take, so the rest is the line's.
    const CliRun version = cli({"--version"});
    ASSERT_EQ(version.status, 0) << version.err;
    const CliRun status = cli({"--port", link(), "status", "--json"});
    ASSERT_EQ(status.status, 0) << status.err;
    const Json record = Json::parse(status.out, nullptr, false);
    ASSERT_TRUE(record.is_object()) << status.out;
    EXPECT_EQ(record.value("record", ""), sim.traffic().last_reply("0X:"));
    EXPECT_EQ(record["settings"], "1200");
    EXPECT_EQ(record["ir"], "ein");
    std::cout << "[ " << GetParam().arch << " ] status run " << status.took.count() << " ms, without the line "
              << version.took.count() << " ms, the exchange " << (status.took - version.took).count() << " ms\n";

    // The daemon: discovery, state, a command on the line, the loan, SIGTERM.
    config.erase("http_listen");
    config.erase("station12");
    config["device_id"] = "smoke";
    quiet_line();
    ASSERT_NO_FATAL_FAILURE(start_daemon());
    const auto on = [&](const std::string& topic) {
        return [topic](const Message& m) { return m.topic == topic; };
    };
    auto discovery = watch->wait(0, on("homeassistant/device/zendrill_smoke/config"), kSlow);
    ASSERT_TRUE(discovery);
    EXPECT_TRUE(Json::parse(discovery->payload, nullptr, false).contains("cmps"));
    std::size_t started = 0;
    ASSERT_TRUE(watch->wait(0, on("zendrill/smoke/timer/5"), kSlow, &started)) << "start-up never ended";
    auto state = watch->wait(0, on("zendrill/smoke/state"), kSlow);
    ASSERT_TRUE(state);
    EXPECT_EQ(Json::parse(state->payload, nullptr, false)["settings"], "1200");

    watch->publish("zendrill/smoke/set/ir", "OFF");
    auto result = watch->wait(started, on("zendrill/smoke/result"), kSlow);
    ASSERT_TRUE(result);
    EXPECT_EQ(Json::parse(result->payload, nullptr, false)["ok"], true) << result->payload;
    EXPECT_TRUE(contains(sim.received(), "0R1"));

    const CliRun borrowed = cli({"--port", link(), "status"});
    EXPECT_EQ(borrowed.status, 0) << borrowed.err;
    EXPECT_TRUE(daemon.wait_err("Port an ein anderes Programm verliehen", kSlow));
    EXPECT_TRUE(daemon.wait_err(u8"Port zurückgenommen", kSlow));

    const std::size_t before_stop = watch->count();
    EXPECT_EQ(daemon.stop(SIGTERM, kSlow), 0) << daemon.err();
    EXPECT_TRUE(watch->wait(
        before_stop, [](const Message& m) { return m.topic == "zendrill/smoke/bridge" && m.payload == "offline"; },
        kSlow));
}

INSTANTIATE_TEST_SUITE_P(Builds, SmokeTest, ::testing::ValuesIn(builds()),
                         [](const ::testing::TestParamInfo<Build>& p) { return p.param.arch; });

}  // namespace
}  // namespace zd::test
