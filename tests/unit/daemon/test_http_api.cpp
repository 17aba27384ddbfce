#include <gtest/gtest.h>

#include <future>
#include <string>

#include "core/texts.h"
#include "core/utf8.h"
#include "tests/unit/daemon/line_rig.h"
#include "zendrilld/http/http_api.h"
#include "zendrilld/journal.h"

namespace zd::test {
namespace {

using daemon::HttpRequest;
using daemon::HttpResponse;
using Json = JsonObject;

const char* const kTimer2 = "W01010100050010063000071500";

struct Promised : daemon::HttpResponder {
    std::promise<HttpResponse> answered;
    void answer(HttpResponse r) override { answered.set_value(std::move(r)); }
};

// The API between the picture and a line that runs the simulator's device;
// what the HTTP server would hand it, without sockets.
struct ApiRig : LineRig {
    std::unique_ptr<daemon::HttpApi> api;

    void start_api() {
        start();
        ASSERT_TRUE(wait_timers_read());
        api = std::make_unique<daemon::HttpApi>(config, picture, *line, sys, false, journal);
    }
    struct Answer {
        int status = 0;
        Json json;
    };
    Answer call(const std::string& method, const std::string& path, const std::string& body = "") {
        HttpRequest r;
        r.method = method;
        r.path = path;
        const auto q = path.find('?');
        if (q != std::string::npos) {
            r.path = path.substr(0, q);
            std::string rest = path.substr(q + 1);
            while (!rest.empty()) {
                const std::string pair = rest.substr(0, rest.find('&'));
                rest = rest.find('&') == std::string::npos ? "" : rest.substr(rest.find('&') + 1);
                r.query[pair.substr(0, pair.find('='))] = pair.substr(pair.find('=') + 1);
            }
        }
        r.body = body;
        auto responder = std::make_shared<Promised>();
        auto answered = responder->answered.get_future();
        api->handle(r, responder);
        if (answered.wait_for(10s) != std::future_status::ready) return {};
        const HttpResponse a = answered.get();
        return {a.status, Json::parse(a.body, nullptr, false)};
    }
};

// What MQTT answers for the same request, in the UTF-8 the API answers in.
std::string mqtt_refusal(const std::string& topic, const std::string& payload, bool raw_commands) {
    return utf8_from_1252(daemon::parse_request(topic, payload, raw_commands, make_value_names()).message);
}

// Every refusal of the API in the words MQTT has for it, with the status a
// script can act on; none of them puts a byte on the line.
TEST(HttpApi, RefusesWhatIsWrongInTheWordsOfMqtt) {
    ApiRig rig;
    ASSERT_NO_FATAL_FAILURE(rig.start_api());
    rig.device.received.clear();
    const std::string no_timer = "Timer gibt es nur mit den Nummern 1 bis 5", not_found = "Nicht gefunden",
                      no_method = "Diese Methode gibt es hier nicht";
    const std::string start_25 = R"({"kind": "weekday", "days": ["Mo"], "source": "Tuner", "station": "05",)"
                                 R"( "targets": ["LS-A"], "start": "25:00", "end": "07:15"})";
    const struct {
        std::string method, path, body;
        int status;
        std::string error;  // or, when empty, the words MQTT has for:
        std::string topic, payload;
    } cases[] = {
        {"GET", "/api/timers/0", "", 404, no_timer, "", ""},
        {"GET", "/api/timers/6", "", 404, no_timer, "", ""},
        {"PUT", "/api/timers/x", kTimer2, 404, no_timer, "", ""},
        {"GET", "/api/volume", "", 404, not_found, "", ""},
        {"POST", "/api/timers/2/play", "", 404, not_found, "", ""},
        {"DELETE", "/api/status", "", 405, no_method, "", ""},
        {"GET", "/api/refresh", "", 405, no_method, "", ""},
        {"POST", "/api/timers/2", "", 405, no_method, "", ""},
        {"POST", "/api/send", R"({"line": "0X"})", 404, "", "cmd/send", "0X"},
        {"PUT", "/api/settings", R"({"language": "Klingonisch"})", 400, "", "set/language", "Klingonisch"},
        {"PUT", "/api/settings", R"({"timer": "1"})", 400, "", "set/timer_function", "1"},
        {"PUT", "/api/timers/1", R"({"record": "W01010100050010063001071500"})", 400, "", "set/timer/1",
         "W01010100050010063001071500"},
        {"PUT", "/api/timers/1", R"({"record": "D3102260121000200000213000"})", 400, "", "set/timer/1",
         "D3102260121000200000213000"},
        {"PUT", "/api/timers/1", start_25, 400, "Timer 1: start: \"25:00\" ist keine Uhrzeit (HH:MM)", "", ""},
        {"PUT", "/api/timers/1", "[]", 400, "Erwartet wird ein JSON-Objekt", "", ""},
        {"PUT", "/api/settings", "{}", 400, "Keine Einstellung angegeben", "", ""},
        {"PUT", "/api/settings", R"({"volume": "laut"})", 400,
         "Unbekannte Einstellung \"volume\"; erlaubt: language, easy_function, timer, power_on", "", ""},
        {"PUT", "/api/ir", R"({"ir": "ON"})", 400, R"(Erwartet wird {"ir": "ein"} oder {"ir": "aus"})", "", ""},
        {"POST", "/api/clock/shift", R"({"hours": 2})", 400, R"(Erwartet wird {"hours": 1} oder {"hours": -1})",
         "", ""},
        {"POST", "/api/backup", "Timer9 = \r\n", 400, "1 fehlerhafte Zeile; nichts gesendet", "", ""},
        {"POST", "/api/backup", "", 400,
         u8"Die Datei enthält weder B203Modus noch Timer1 bis Timer5; nichts gesendet", "", ""},
        {"GET", "/api/schedule?days=32", "", 400, "days: \"32\" ist keine Zahl von 1 bis 31", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.method + " " + c.path + " " + c.body.substr(0, 40));
        const auto a = rig.call(c.method, c.path, c.body);
        EXPECT_EQ(a.status, c.status);
        std::string expected = c.error;
        if (expected.empty()) {
            expected = mqtt_refusal(c.topic, c.payload, false);
            // The record came in a key of its own, and the words name it.
            if (c.topic.rfind("set/timer/", 0) == 0) expected.insert(9, "record: ");
        }
        EXPECT_EQ(a.json.value("error", ""), expected);
        EXPECT_EQ(a.json.value("ok", true), false);
    }
    rig.line->stop();
    EXPECT_TRUE(rig.device.received.empty());
}

// A change's status code follows what the device made of it: done 200, a
// refusal 409, silence 504, a lent line 503 with nothing sent.
TEST(HttpApi, AChangesStatusCodeSaysWhatTheDeviceMadeOfIt) {
    ApiRig rig;
    ASSERT_NO_FATAL_FAILURE(rig.start_api());
    const std::string write2 = std::string(R"({"record": ")") + kTimer2 + "\"}";
    auto a = rig.call("PUT", "/api/timers/2", write2);
    EXPECT_EQ(a.status, 200);
    EXPECT_EQ(a.json["message"], "Timer 2: geschrieben");
    EXPECT_EQ(a.json["record"], kTimer2);  // read back into the answer
    a = rig.call("PUT", "/api/settings", R"({"language": "Englisch", "power_on": "Lautsprecher aus"})");
    EXPECT_EQ(a.status, 200);
    EXPECT_EQ(a.json["settings"], "0004");

    rig.device.model.options().refuse_writes = true;
    a = rig.call("DELETE", "/api/timers/2");
    EXPECT_EQ(a.status, 409);
    EXPECT_NE(a.json.value("error", "").find("Timer 2: "), std::string::npos) << a.json.dump();

    rig.device.silent = true;
    a = rig.call("PUT", "/api/ir", R"({"ir": "aus"})");
    EXPECT_EQ(a.status, 504);

    rig.device.silent = false;
    std::promise<void> lent;
    rig.line->lend([&] { lent.set_value(); });
    ASSERT_EQ(lent.get_future().wait_for(10s), std::future_status::ready);
    const std::size_t before = rig.device.received.size();
    a = rig.call("POST", "/api/clock/sync");
    EXPECT_EQ(a.status, 503);
    EXPECT_EQ(a.json["error"], "Die Leitung ist an zendrill-cli verliehen; nichts gesendet");
    EXPECT_EQ(rig.call("GET", "/api/status").json["link"], "lent");  // reading goes on
    rig.line->stop();
    EXPECT_EQ(rig.device.received.size(), before);
}

// Two phones, one timer: a write that names the record it started from is
// sent only while the device still holds that record. A write the device
// does not answer is reported as unclear, and the timer is read again as
// soon as the device answers.
TEST(HttpApi, AWriteKeepsToTheRecordItSawAndAnUnansweredOneIsReadAgain) {
    ApiRig rig;
    rig.device.set_timer(2, kTimer2);
    ASSERT_NO_FATAL_FAILURE(rig.start_api());
    const std::string other = "W00000100050010063000071500";
    const auto write = [&](const std::string& expect) {
        return rig.call("PUT", "/api/timers/2",
                        R"({"record": ")" + other + R"(", "expect": ")" + expect + "\"}");
    };
    rig.device.received.clear();
    auto a = write("");  // the phone saw it empty
    EXPECT_EQ(a.status, 409);
    EXPECT_EQ(a.json["error"], u8"Timer 2 wurde anderswo geändert; nichts gesendet");
    EXPECT_EQ(rig.device.received, (std::vector<std::string>{"0C02\r"}));
    EXPECT_EQ(rig.device.model.timer(2), kTimer2);

    a = write(kTimer2);
    EXPECT_EQ(a.status, 200);
    EXPECT_EQ(rig.device.model.timer(2), other);

    rig.device.silent = true;
    a = write(other);
    EXPECT_EQ(a.status, 504);  // it could not even be read: nothing sent
    EXPECT_EQ(a.json["error"], "Abfrage Speicher 2 fehlgeschlagen!; nichts gesendet");
    rig.device.silent = false;
    rig.device.received.clear();
    rig.device.port.on_write = [&](const std::string& w) {
        rig.device.take(w);
        if (w.rfind("0E02", 0) == 0) rig.device.silent = true;  // takes the write, then goes quiet
    };
    a = write(other);
    EXPECT_EQ(a.status, 504);
    EXPECT_EQ(a.json["error"], u8"Timer 2: keine Antwort vom B203; ob der Timer geschrieben wurde, ist unklar. "
                               u8"Timer 2 wird neu gelesen, sobald das Gerät wieder antwortet");
    EXPECT_EQ(rig.call("GET", "/api/timers/2").json["state"], "unknown");
    rig.device.silent = false;
    rig.device.received.clear();
    // The page's door refuses while the device is silent; MQTT's waits and
    // is the first to hear it again.
    std::promise<daemon::Outcome> switched;
    daemon::Request ir = daemon::ir_request("set/ir", false).request;
    ir.reply = [&](const daemon::Outcome& o) { switched.set_value(o); };
    rig.line->submit(std::move(ir), daemon::WhenAway::Wait);
    ASSERT_TRUE(rig.wait_picture([](const daemon::Picture& p) { return p.timers[1].has_value(); }))
        << testing::PrintToString(rig.lines);
    EXPECT_TRUE(switched.get_future().get().ok());
    EXPECT_EQ(rig.device.received, (std::vector<std::string>{"0R1\r", "0X\r", "0C02\r"}));
    EXPECT_EQ(rig.call("GET", "/api/timers/2").json["record"], other);
    rig.line->stop();
}

// A restore that lost a write answers its lines as they came out (done,
// not sent), whatever the whole came to.
TEST(HttpApi, ARestoreCutShortSaysWhatEachLineCameTo) {
    ApiRig rig;
    ASSERT_NO_FATAL_FAILURE(rig.start_api());
    rig.device.port.on_write = [&](const std::string& w) {
        rig.device.take(w);
        if (w == "0C01\r") rig.device.port.held = true;  // timer 1 is read back, the next write is lost
    };
    const std::string file = std::string("B203Modus = 0214\r\nTimer1 = ") + kTimer2 + "\r\nTimer2 = \r\n";
    const auto preview = rig.call("POST", "/api/backup?dry_run=1", file);
    ASSERT_EQ(preview.json["lines"].size(), 3u) << preview.json.dump();
    EXPECT_EQ(preview.json["lines"][0]["text"],
              u8"Einstellungen senden: Dialogsprache Englisch, Easy-Funktion aus, Timer-Funktion aus, "
              u8"Einschaltbedingung Lautsprecher aus");
    EXPECT_EQ(preview.json["lines"][1]["text"].get<std::string>().rfind("Timer 1 schreiben: NR.1", 0), 0u);
    EXPECT_EQ(preview.json["lines"][2]["text"], u8"Timer 2 löschen");
    EXPECT_EQ(preview.json["lines"][2]["command"], "0E02E");
    const auto a = rig.call("POST", "/api/backup",
                            std::string("Timer1 = ") + kTimer2 + "\r\nTimer2 = \r\nTimer3 = " + kTimer2 + "\r\n");
    EXPECT_EQ(a.status, 504);
    EXPECT_EQ(a.json["error"], utf8_from_1252(kSendFailed));
    ASSERT_TRUE(a.json["lines"].is_array()) << a.json.dump();
    std::vector<std::pair<std::string, bool>> lines;
    for (const auto& l : a.json["lines"]) lines.push_back({l["command"], l["ok"]});
    EXPECT_EQ(lines, (std::vector<std::pair<std::string, bool>>{
                         {std::string("0E01") + kTimer2, true}, {"0E02E", false}, {std::string("0E03") + kTimer2, true}}));
    EXPECT_EQ(a.json["lines"][1]["result"], "nicht gesendet: " + utf8_from_1252(kSendFailed));
    EXPECT_EQ(rig.device.model.timer(1), kTimer2);
    EXPECT_EQ(rig.device.model.timer(3), kTimer2);
    rig.line->stop();
}

// The history says who changed what in words, pages and filters, and takes
// a change back only while the device still holds what the change left.
TEST(HttpApi, TheHistoryTellsWhoChangedWhatAndTakesItBack) {
    std::string dir = "/tmp/zd-history-XXXXXX";
    ASSERT_TRUE(mkdtemp(dir.data()));
    ApiRig rig;
    daemon::Journal journal(dir + "/journal.db", rig.log_sink);
    journal.start(LocalTime{2026, 12, 10, 9, 0, 0, 0, 60});
    rig.journal = &journal;
    ASSERT_NO_FATAL_FAILURE(rig.start_api());
    const auto history = [&](const std::string& query = "") {
        journal.flush();
        return rig.call("GET", "/api/history" + query);
    };
    ASSERT_EQ(rig.call("PUT", "/api/timers/2", std::string(R"({"record": ")") + kTimer2 + "\"}").status, 200);
    ASSERT_EQ(rig.call("PUT", "/api/settings", R"({"language": "Englisch"})").status, 200);
    auto h = history();
    ASSERT_EQ(h.status, 200);
    ASSERT_EQ(h.json["entries"].size(), 2u) << h.json.dump();
    const Json settings = h.json["entries"][0], timer = h.json["entries"][1];
    // Arrows and dashes are no Windows-1252: they stay out of the macros' own texts.
    const std::string settings_text = u8"Einstellungen: Dialogsprache Deutsch → Englisch (Web)",
                      timer_text = u8"Timer 2: leer → Mo Mi Fr 06:30–07:15 (Web)";
    EXPECT_EQ(settings["text"], settings_text);
    EXPECT_EQ(timer["text"], timer_text);
    EXPECT_EQ(timer["door"], "Web");
    EXPECT_EQ(timer["before"], "");
    EXPECT_EQ(timer["after"], kTimer2);
    EXPECT_TRUE(timer["undo"].get<bool>());
    EXPECT_EQ(timer["at"].get<std::string>().substr(0, 10), "2026-11-09");
    const long long tid = timer["id"].get<long long>(), sid = settings["id"].get<long long>();

    rig.device.received.clear();
    auto a = rig.call("POST", "/api/history/" + std::to_string(tid) + "/undo");
    EXPECT_EQ(a.status, 200) << a.json.dump();
    EXPECT_EQ(a.json["state"], "empty");
    EXPECT_EQ(rig.device.model.timer(2), "");
    EXPECT_EQ(rig.device.received.at(0), "0C02\r");  // the check first
    EXPECT_EQ(rig.device.received.at(1), "0E02E\r");
    a = rig.call("POST", "/api/history/" + std::to_string(sid) + "/undo");
    EXPECT_EQ(a.status, 200) << a.json.dump();
    EXPECT_EQ(a.json["settings"], "1000");
    h = history("?limit=2");
    EXPECT_TRUE(h.json["more"].get<bool>());
    const std::string undone_settings = u8"Einstellungen: Dialogsprache Englisch → Deutsch (Web, rückgängig gemacht: Eintrag " +
                                        std::to_string(sid) + ")",
                      undone_timer = u8"Timer 2: Mo Mi Fr 06:30–07:15 → leer (Web, rückgängig gemacht: Eintrag " +
                                     std::to_string(tid) + ")";
    EXPECT_EQ(h.json["entries"][0]["text"], undone_settings);
    EXPECT_EQ(h.json["entries"][1]["text"], undone_timer);
    // Taken back already: the device no longer holds what the change left.
    rig.device.received.clear();
    a = rig.call("POST", "/api/history/" + std::to_string(tid) + "/undo");
    EXPECT_EQ(a.status, 409);
    EXPECT_EQ(a.json["error"], u8"Timer 2 wurde anderswo geändert; nichts gesendet");
    EXPECT_EQ(rig.device.received, (std::vector<std::string>{"0C02\r"}));
    a = rig.call("POST", "/api/history/" + std::to_string(sid) + "/undo");
    EXPECT_EQ(a.status, 409);
    EXPECT_EQ(a.json["error"], u8"Die Einstellungen wurden anderswo geändert; nichts gesendet");
    h = history("?kind=command&limit=1");
    EXPECT_EQ(h.json["entries"][0]["text"],
              u8"Nicht ausgeführt: Einstellungen senden: Die Einstellungen wurden anderswo geändert; nichts gesendet (Web)");
    const long long failed = h.json["entries"][0]["id"].get<long long>();
    h = history("?timer=2");
    ASSERT_EQ(h.json["entries"].size(), 3u);  // the write, its undo, the refusal
    // Undo is offered only where the device still holds what the change left.
    EXPECT_FALSE(h.json["entries"][0]["undo"].get<bool>());
    EXPECT_TRUE(h.json["entries"][1]["undo"].get<bool>());
    EXPECT_FALSE(h.json["entries"][2]["undo"].get<bool>());
    h = history("?before=" + std::to_string(tid) + "&limit=50");
    EXPECT_FALSE(h.json["more"].get<bool>());
    for (const Json& e : h.json["entries"]) EXPECT_LT(e["id"].get<long long>(), tid);

    const struct {
        std::string method, path;
        int status;
        std::string error;
    } refused[] = {
        {"GET", "/api/history?limit=0", 400, "limit: erlaubt ist eine ganze Zahl von 1 bis 200"},
        {"GET", "/api/history?limit=201", 400, "limit: erlaubt ist eine ganze Zahl von 1 bis 200"},
        {"GET", "/api/history?before=x", 400, "before: eine Eintragsnummer wird erwartet"},
        {"GET", "/api/history?kind=timers", 400, "kind: erlaubt sind timer, settings, ir, clock, raw, command, link, daemon"},
        {"GET", "/api/history?timer=6", 400, "Timer gibt es nur mit den Nummern 1 bis 5"},
        {"POST", "/api/history/99999/undo", 404, "Eintrag 99999 gibt es nicht"},
        {"POST", "/api/history/" + std::to_string(failed) + "/undo", 409,
         "Eintrag " + std::to_string(failed) + u8" lässt sich nicht rückgängig machen"},
        {"POST", "/api/history/0/undo", 404, "Nicht gefunden"},
        {"GET", "/api/history/1/undo", 405, "Diese Methode gibt es hier nicht"},
    };
    rig.device.received.clear();
    for (const auto& c : refused) {
        a = rig.call(c.method, c.path);
        EXPECT_EQ(a.status, c.status) << c.path;
        EXPECT_EQ(a.json["error"], c.error) << c.path;
    }
    EXPECT_TRUE(rig.device.received.empty());
    EXPECT_EQ(rig.call("GET", "/api/clock").json["readings"].size(), 1u);
    // Without a journal file: the page says why there is no history.
    rig.api = std::make_unique<daemon::HttpApi>(rig.config, rig.picture, *rig.line, rig.sys, false);
    a = rig.call("GET", "/api/history");
    EXPECT_EQ(a.status, 503);
    EXPECT_EQ(a.json["error"], u8"Verlauf nicht verfügbar: journal_file ist leer");
    EXPECT_EQ(rig.call("GET", "/api/clock").json["problem"], u8"Verlauf nicht verfügbar: journal_file ist leer");
    rig.line->stop();
    journal.stop();
    (void)!std::system(("rm -rf " + dir).c_str());
}

}  // namespace
}  // namespace zd::test
