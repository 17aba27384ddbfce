#include <gtest/gtest.h>

#include "core/json_objects.h"
#include "core/timer_json.h"

namespace zd::test {
namespace {

// Bodies are UTF-8 as a client sends them; u8 keeps them so.
TEST(TimerJson, FieldsComposeTheEditorsRecord) {
    struct Case {
        const char* body;
        std::string record;
    } cases[] = {
        {u8R"({"kind":"weekday","days":["Mo","Mi","Fr"],"source":"Tuner","station":"05","targets":["LS-A"],)"
         u8R"("start":"06:30","end":"07:15"})",
         "W01010100050010063000071500"},
        {u8R"({"kind":"date","date":"2006-03-24","source":"Tuner","station":"12","targets":["Tape1"],)"
         u8R"("start":"20:00","end":"21:30","days":[]})",
         "D2403060121000200000213000"},
        // The tapes and the record player get station 00, whatever was sent.
        {u8R"({"kind":"weekday","days":["So","Sa"],"source":"Tape2","targets":[],"start":"23:59","end":"00:00"})",
         "W10000013000000235900000000"},
        {u8R"({"kind":"weekday","days":[],"source":"Phono","station":"17","targets":["LS-B","Tape1"],)"
         u8R"("start":"00:00","end":"00:00","date":null})",
         "W00000004001001000000000000"},
        {u8R"({"kind":"date","date":"2099-12-31","source":"CD","station":"29","targets":["Tape2"],)"
         u8R"("start":"12:00","end":"13:00"})",
         "D3112991290100120000130000"},
        // A read timer sent back as it came, and one read empty, filled in.
        {u8R"({"timer":3,"state":"set","record":"W01010101050011063000071500","kind":"weekday",)"
         u8R"("days":["Mo","Mi","Fr"],"date":null,"source":"CD","station":"05","targets":["LS-A","LS-B"],)"
         u8R"("start":"06:30","end":"07:15","station_name":"WDR ä","summary":"NR.3 …"})",
         "W01010101050011063000071500"},
        {u8R"({"timer":3,"state":"empty","record":"","kind":"date","days":[],"date":"2026-12-24",)"
         u8R"("source":"Tuner","station":"00","targets":["LS-A"],"start":"18:00","end":"19:00"})",
         "D2412260000010180000190000"},
        {u8R"({"record":"D2412260000010180000190000"})", "D2412260000010180000190000"},
        {u8R"({"record":"W01010101050011063000071500","kind":null,"days":[],"targets":[],"start":null})",
         "W01010101050011063000071500"},
    };
    for (const auto& c : cases) {
        const TimerRecordInput r = timer_record_from_object(JsonObject::parse(c.body), 3);
        EXPECT_EQ(r.problem, "") << c.body;
        EXPECT_EQ(r.record, c.record) << c.body;
    }
}

TEST(TimerJson, RefusalsNameTheKeyAndTheFault) {
    const std::string w = u8R"("kind":"weekday","days":["Mo"],"source":"Tuner","station":"05","targets":["LS-A"])";
    struct Case {
        std::string body;
        std::string problem;
    } cases[] = {
        {u8R"([1])", "ein JSON-Objekt wird erwartet, nicht Liste"},
        {u8R"({})", "record oder kind: fehlt"},
        {u8R"({"record":""})", "record: leer; gelöscht wird ein Timer mit einer eigenen Anfrage"},
        {u8R"({"record":5})", "record: Text erwartet, nicht Zahl"},
        {u8R"({"record":"W0101010005001006300007150"})", "record: ein Wochentag-Datensatz hat 27 Zeichen, dieser 26"},
        {u8R"({"record":"W01010100050010063000071500","Start":"06:30"})",
         "\"Start\": unbekannter Schlüssel (erlaubt: record, kind, days, date, source, station, targets, start, end)"},
        {u8R"({"record":"W01010100050010063000071500","timer":2})", "timer: 2 passt nicht zu Timer 3"},
        {u8R"({"record":"W01010100050010063000071500","start":"06:30"})", "kind: fehlt (start ist angegeben)"},
        {"{" + w + u8R"(,"start":"25:00","end":"07:15"})", "start: \"25:00\" ist keine Uhrzeit (HH:MM)"},
        {"{" + w + u8R"(,"start":"06:30","end":630})", "end: eine Uhrzeit als Text (HH:MM) erwartet, nicht Zahl"},
        {"{" + w + u8R"(,"start":"06:30"})", "end: fehlt"},
        {"{" + w + u8R"(,"start":"06:30","end":"07:60"})", "end: \"07:60\" ist keine Uhrzeit (HH:MM)"},
        {u8R"({"kind":"Woche"})", "kind: \"Woche\" gibt es nicht (weekday, date)"},
        {u8R"({"kind":"weekday","days":"Mo"})", "days: Liste erwartet (So, Mo, Di, Mi, Do, Fr, Sa), nicht Text"},
        {u8R"({"kind":"weekday","days":["Mo","Mon"]})", "days: \"Mon\" gibt es nicht (So, Mo, Di, Mi, Do, Fr, Sa)"},
        {u8R"({"kind":"weekday","days":["Mo","Mo"]})", "days: \"Mo\" doppelt"},
        {u8R"({"kind":"weekday","days":[],"date":"2026-12-24"})", "date: gilt nur für kind \"date\""},
        {u8R"({"kind":"date","days":["Mo"]})", "days: gilt nur für kind \"weekday\""},
        {u8R"({"kind":"date"})", "date: fehlt"},
        {u8R"({"kind":"date","date":"24.12.2026"})", "date: \"24.12.2026\" ist kein Datum (JJJJ-MM-TT)"},
        {u8R"({"kind":"date","date":"2100-01-01"})", "date: \"2100-01-01\" liegt nicht in den Jahren 2000 bis 2099"},
        {u8R"({"kind":"date","date":"2026-02-29"})", "date: \"2026-02-29\" gibt es nicht"},
        {u8R"({"kind":"weekday","days":[],"source":"tuner"})",
         "source: \"tuner\" gibt es nicht (Tuner, CD, Tape1, Tape2, Phono)"},
        {u8R"({"kind":"weekday","days":[],"source":"CD"})", "station: fehlt"},
        {u8R"({"kind":"weekday","days":[],"source":"CD","station":"30"})",
         "station: \"30\" ist kein CD-Track (00 bis 29)"},
        {u8R"({"kind":"weekday","days":[],"source":"Tuner","station":5})",
         "station: zwei Ziffern als Text (00 bis 29) erwartet, nicht Zahl"},
        {u8R"({"kind":"weekday","days":[],"source":"Phono","station":"7"})", "station: \"7\" ist keine Station (00 bis 29)"},
        {u8R"({"kind":"weekday","days":[],"source":"Phono","targets":["LS-A","LS-C"]})",
         "targets: \"LS-C\" gibt es nicht (Tape1, Tape2, LS-A, LS-B)"},
        {u8R"({"kind":"weekday","days":["Mo\u0007"]})",
         "days: \"Mo<0x07>\" gibt es nicht (So, Mo, Di, Mi, Do, Fr, Sa)"},
        {u8R"({"kind":"weekday","days":["月"]})",
         "days: (Zeichen außerhalb von Windows-1252) gibt es nicht (So, Mo, Di, Mi, Do, Fr, Sa)"},
        {"{" + w + u8R"(,"start":"06:30","end":"07:15","record":"W01010100050010063000071600"})",
         "record: \"W01010100050010063000071600\" passt nicht zu den übrigen Angaben, die "
         "\"W01000000050010063000071500\" ergeben"},
        // Sent alone, a tape record with a station passes, as it does over MQTT;
        // beside its fields, which give station 00, it does not.
        {u8R"({"record":"W01010102050010063000071500","kind":"weekday","days":["Mo","Mi","Fr"],"source":"Tape1",)"
         u8R"("station":"05","targets":["LS-A"],"start":"06:30","end":"07:15"})",
         "record: \"W01010102050010063000071500\" passt nicht zu den übrigen Angaben, die "
         "\"W01010102000010063000071500\" ergeben"},
    };
    for (const auto& c : cases) {
        const TimerRecordInput r = timer_record_from_object(JsonObject::parse(c.body), 3);
        EXPECT_EQ(r.problem, c.problem) << c.body;
        EXPECT_EQ(r.record, "") << c.body;
    }
}

TEST(ScanJson, OneObjectPerAddressInOrder) {
    EXPECT_EQ(scan_json({}), "[]\n");
    ScanEntry e;
    e.address = 3;
    e.reply = "05";
    e.identifier = "05";
    e.identity.name = "Gerät";
    EXPECT_EQ(scan_json({e}), u8"[\n  {\n    \"address\": 3,\n    \"reply\": \"05\",\n    \"identifier\": \"05\",\n"
                              u8"    \"name\": \"Gerät\"\n  }\n]\n");
}

}  // namespace
}  // namespace zd::test
