#include <gtest/gtest.h>

#include <condition_variable>
#include <deque>
#include <future>
#include <mutex>
#include <string>
#include <vector>

#include "tests/unit/daemon/line_rig.h"

namespace zd::test {
namespace {

using daemon::LineAgent;
using daemon::LineThread;
using namespace std::chrono_literals;

ExclusiveOpen refusal(ExclusiveOpen::Result result, const std::string& reason = "") {
    ExclusiveOpen r;
    r.result = result;
    r.reason = reason;
    return r;
}

// The schedule two back-to-back borrowers make: the first loan ends and the
// next is asked for before the line's thread looks again.
TEST(LineThreadLoan, ALoanAskedForRightAfterTheLastOneEndedIsGranted) {
    // Declared first, they outlive the line's thread.
    std::promise<void> first, go_on, second;
    std::future<void> go = go_on.get_future();
    LineRig rig;
    rig.start();
    ASSERT_TRUE(rig.wait_log("Port /dev/ttyB203 geöffnet"));
    // The line's thread stays inside the first grant until the test has
    // ended that loan and asked for the next.
    rig.line->lend([&] {
        first.set_value();
        go.wait_for(10s);
    });
    ASSERT_EQ(first.get_future().wait_for(10s), std::future_status::ready);
    rig.line->end_loan();
    rig.line->lend([&] { second.set_value(); });
    go_on.set_value();
    ASSERT_EQ(second.get_future().wait_for(10s), std::future_status::ready);
    rig.line->end_loan();
    ASSERT_TRUE(rig.wait_log("geöffnet", 2));
    EXPECT_EQ(rig.lines_with("Port"),
              (std::vector<std::string>{"Port /dev/ttyB203 geöffnet", "Port an ein anderes Programm verliehen",
                                        "Port an ein anderes Programm verliehen", "Port zurückgenommen",
                                        "Port /dev/ttyB203 geöffnet"}));
}

TEST(LineThreadOpen, WhyThePortWillNotOpenIsLoggedOnceForEachReasonInARow) {
    using R = ExclusiveOpen::Result;
    const std::string no_right = "keine Berechtigung; der Benutzer braucht die Gruppe dialout";
    LineRig rig;
    for (const auto& [result, reason] : std::vector<std::pair<R, std::string>>{
             {R::Failed, no_right}, {R::Failed, no_right}, {R::Failed, "Gerät nicht vorhanden"},
             {R::Failed, "Gerät nicht vorhanden"}, {R::Busy, ""}, {R::Busy, ""}, {R::Failed, no_right}})
        rig.refusals.push_back(refusal(result, reason));
    rig.start();
    ASSERT_TRUE(rig.wait_log("geöffnet"));
    const std::string port = "Port /dev/ttyB203 nicht zu öffnen: ";
    const std::string retry = "; neuer Versuch mit wachsendem Abstand bis 4 ms";
    EXPECT_EQ(rig.lines_with("nicht zu öffnen"),
              (std::vector<std::string>{port + no_right + retry, port + "Gerät nicht vorhanden" + retry,
                                        port + "belegt, ein anderes Programm hält ihn" + retry,
                                        port + no_right + retry}));
    EXPECT_EQ(rig.opens, 8);
}

// What each door's request comes to while the line is lent or the device
// unreachable: a door that will not wait hears so at once, and nothing is sent.
TEST(LineThreadQueue, ARequestThatWillNotWaitIsRefusedAtOnceOneThatWaitsRunsAfterTheLoan) {
    std::promise<void> lent;
    std::promise<daemon::Outcome> waited;
    LineRig rig;
    rig.start();
    ASSERT_TRUE(rig.wait_log("Verbindung zum Gerät steht"));
    rig.line->lend([&] { lent.set_value(); });
    ASSERT_EQ(lent.get_future().wait_for(10s), std::future_status::ready);
    std::vector<daemon::Outcome> at_once;
    const auto refusing = [&](daemon::Parsed p) {
        p.request.reply = [&](const daemon::Outcome& o) { at_once.push_back(o); };
        return rig.line->submit(std::move(p.request), daemon::WhenAway::Refuse);
    };
    EXPECT_FALSE(refusing(daemon::ir_request("PUT /api/ir", true)));
    ASSERT_EQ(at_once.size(), 1u);
    EXPECT_EQ(at_once[0].kind, daemon::Outcome::Kind::Unavailable);
    EXPECT_EQ(at_once[0].message, "Die Leitung ist an zendrill-cli verliehen; nichts gesendet");
    // One whose asker gave up before the line took it is never sent.
    daemon::Request given_up = daemon::ir_request("PUT /api/ir", true).request;
    given_up.claim = std::make_shared<daemon::Claim>();
    given_up.reply = [&](const daemon::Outcome& o) { at_once.push_back(o); };
    const auto claim = given_up.claim;
    EXPECT_TRUE(rig.line->submit(std::move(given_up), daemon::WhenAway::Wait));
    EXPECT_TRUE(claim->withdraw());
    daemon::Request r = daemon::refresh_request("cmd/refresh").request;
    r.reply = [&](const daemon::Outcome& o) { waited.set_value(o); };
    rig.device.received.clear();
    EXPECT_TRUE(rig.line->submit(std::move(r), daemon::WhenAway::Wait));
    rig.line->end_loan();
    auto done = waited.get_future();
    ASSERT_EQ(done.wait_for(10s), std::future_status::ready);
    EXPECT_EQ(done.get().message, "Status und Timer gelesen");
    rig.line->stop();
    EXPECT_EQ(rig.device.received.front(), "0X\r");  // neither IR switch went out
    EXPECT_EQ(at_once.size(), 1u);
    EXPECT_EQ(rig.lines_with("zurückgezogen"),
              std::vector<std::string>{"Befehl zurückgezogen, die Antwort ist schon gegeben: PUT /api/ir"});
}

TEST(LineThreadQueue, WithoutThePortAWaitingRequestHearsWhyAndARefusingOneThatTheDeviceIsUnreachable) {
    LineRig rig;
    rig.never_opens = true;
    rig.start();
    ASSERT_TRUE(rig.wait_log("nicht zu öffnen"));
    std::promise<daemon::Outcome> waited;
    std::vector<daemon::Outcome> at_once;
    daemon::Request refusing = daemon::timer_erase_request("DELETE /api/timers/2", 2).request;
    refusing.reply = [&](const daemon::Outcome& o) { at_once.push_back(o); };
    EXPECT_FALSE(rig.line->submit(std::move(refusing), daemon::WhenAway::Refuse));
    ASSERT_EQ(at_once.size(), 1u);
    EXPECT_EQ(at_once[0].message, "Keine Verbindung zum Gerät; nichts gesendet");
    daemon::Request waiting = daemon::timer_erase_request("cmd/erase/2", 2).request;
    waiting.reply = [&](const daemon::Outcome& o) { waited.set_value(o); };
    EXPECT_TRUE(rig.line->submit(std::move(waiting), daemon::WhenAway::Wait));
    auto done = waited.get_future();
    ASSERT_EQ(done.wait_for(10s), std::future_status::ready);
    EXPECT_EQ(done.get().message, "Der Port /dev/ttyB203 ist nicht geöffnet");
    rig.line->stop();
    EXPECT_TRUE(rig.device.received.empty());
}

}  // namespace
}  // namespace zd::test
