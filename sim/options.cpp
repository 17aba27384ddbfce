#include "sim/options.h"

#include <fstream>
#include <sstream>

#include "sim/escape.h"

namespace zd::sim {

namespace {

bool parse_int(const std::string& text, int lo, int hi, int& out) {
    if (text.empty() || text.size() > 9) return false;
    int v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    if (v < lo || v > hi) return false;
    out = v;
    return true;
}

// "N=VALUE" with N one digit in [lo, hi].
bool split_indexed(const std::string& text, int lo, int hi, int& n, std::string& value) {
    if (text.size() < 2 || text[1] != '=') return false;
    if (!parse_int(text.substr(0, 1), lo, hi, n)) return false;
    value = text.substr(2);
    return true;
}

const char* const kValueOptions[] = {
    "--device", "--time", "--date", "--settings", "--ir", "--timer", "--state", "--dump",
    "--log", "--log-format", "--control", "--link", "--turnaround", "--late", "--burst-gap", "--burst-size",
    "--stray", "--extra", "--silent-address", "--hangup-after", "--ack",
};

bool takes_value(const std::string& name) {
    for (const char* o : kValueOptions) {
        if (name == o) return true;
    }
    return false;
}

bool apply_value(SimConfig& c, const std::string& name, const std::string& value, std::string& error) {
    const int kMaxMs = 600000;
    std::string why;
    int n = 0;
    std::string v;
    bool ok = true;
    if (name == "--device") {
        ok = split_indexed(value, 1, 9, n, v) && set_preset_key(c.preset, "device" + std::to_string(n), v, why);
    } else if (name == "--timer") {
        ok = split_indexed(value, 1, 5, n, v) && set_preset_key(c.preset, "timer" + std::to_string(n), v, why);
    } else if (name == "--time" || name == "--date" || name == "--settings" || name == "--ir") {
        ok = set_preset_key(c.preset, name.substr(2), value, why);
    } else if (name == "--state") {
        c.state_path = value;
    } else if (name == "--dump") {
        c.dump_path = value;
    } else if (name == "--log") {
        c.log_path = value;
    } else if (name == "--log-format") {
        ok = value == "text" || value == "json";
        c.log_json = value == "json";
    } else if (name == "--control") {
        c.control_path = value;
    } else if (name == "--link") {
        c.link_path = value;
    } else if (name == "--turnaround") {
        ok = parse_int(value, 0, kMaxMs, c.faults.turnaround_ms);
    } else if (name == "--late") {
        ok = parse_int(value, 0, kMaxMs, c.faults.late_ms);
    } else if (name == "--burst-gap") {
        ok = parse_int(value, 0, kMaxMs, c.faults.burst_gap_ms);
    } else if (name == "--burst-size") {
        ok = parse_int(value, 1, 4096, c.faults.burst_size);
    } else if (name == "--hangup-after") {
        ok = parse_int(value, 1, 1000000, c.faults.hangup_after);
    } else if (name == "--silent-address") {
        ok = parse_int(value, 0, 9, n);
        if (ok) c.faults.silent_addresses[n] = true;
    } else if (name == "--stray") {
        ok = unescape_text(value, c.faults.stray);
    } else if (name == "--extra") {
        ok = unescape_text(value, c.faults.extra);
    } else if (name == "--ack") {
        ok = unescape_text(value, c.model.ack) && c.model.ack.find_first_of("\r\n") == std::string::npos;
    }
    if (!ok) error = name + ": " + (why.empty() ? "invalid value \"" + value + "\"" : why);
    return ok;
}

}  // namespace

bool parse_options(const std::vector<std::string>& args, SimConfig& c, std::string& error) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::string value;
        bool has_value = false;
        const auto eq = name.find('=');
        if (name.compare(0, 2, "--") == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name = name.substr(0, eq);
            has_value = true;
        }
        if (takes_value(name)) {
            if (!has_value) {
                if (i + 1 >= args.size()) {
                    error = name + " needs a value";
                    return false;
                }
                value = args[++i];
            }
            if (!apply_value(c, name, value, error)) return false;
            continue;
        }
        if (has_value) {
            error = name + " takes no value";
            return false;
        }
        if (name == "--help" || name == "-h") {
            c.help = true;
        } else if (name == "--no-pacing") {
            c.pacing = false;
        } else if (name == "--no-ack") {
            c.model.ack.clear();
        } else if (name == "--silent") {
            c.faults.silent = true;
        } else if (name == "--garbage") {
            c.faults.garbage = true;
        } else if (name == "--refuse-writes") {
            c.model.refuse_writes = true;
        } else {
            error = "unknown option \"" + name + "\" (see --help)";
            return false;
        }
    }
    return true;
}

bool initial_preset(const SimConfig& config, Preset& preset, std::string& error) {
    preset = Preset{};
    if (!config.state_path.empty()) {
        std::ifstream in(config.state_path, std::ios::binary);
        if (!in) {
            error = "cannot read state file " + config.state_path;
            return false;
        }
        std::ostringstream text;
        text << in.rdbuf();
        std::string why;
        if (!parse_state_text(text.str(), preset, why)) {
            error = config.state_path + ": " + why;
            return false;
        }
    }
    merge_preset(preset, config.preset);
    return true;
}

std::string help_text() {
    return R"(Usage: b203sim [options]

Simulates a B203 timer controller (address 0) and further devices (addresses
1-9) on a pseudo terminal: 1200 baud 8N1, XON/XOFF. Prints the slave device
path as one line on stdout. Ends on SIGTERM, SIGINT or "quit" on the control
FIFO; SIGUSR1 writes the state dump.

Initial state (the state file first, the other options override it; clock
and date default to the host's local time and then run on their own):
  --state FILE          preset from a state file (key=value lines, see below)
  --date DDMMYY         device date
  --time HHMMSS         device time
  --settings NNNN       settings: language 0-2, easy 0-2, timer 0-1, power-on 0-4
                        (default 1000)
  --ir 0|1              IR receiver 0 on, 1 off (default 0)
  --timer N=RECORD      timer N (1-5) holds RECORD (27-char W... or 26-char D...)
  --timer N=E           timer N is empty (default for all timers)
  --device A=CC         a device at address A (1-9) identifying with code CC;
                        it answers "AX" with A followed by CC

Files and control:
  --link PATH           symlink PATH to the slave device (removed at exit)
  --log FILE | -        log every command line and reply ("-": stderr)
  --log-format text|json  the log's lines as below (default) or as JSON
  --dump FILE           write the state at exit, on SIGUSR1 and on "dump"
  --control PATH        FIFO (created if missing) taking the lines "dump", "quit"

Answers and timing:
  --ack TEXT            acknowledgement line for set/erase/write/test (default OK)
  --no-ack              set/erase/write/test commands answer nothing
  --turnaround MS       pause between a command's CR and its reply (default 20)
  --no-pacing           send replies at once instead of at 1200 baud

Faults:
  --silent              no device answers (commands still take effect)
  --silent-address A    the device at address A (0-9) never answers; repeatable
  --late MS             every reply comes MS later (added to the turnaround)
  --burst-gap MS        replies go out in bursts separated by MS of silence
  --burst-size N        bytes per burst (default 4)
  --stray TEXT          TEXT is sent before every reply
  --extra TEXT          TEXT is appended to every reply line before CR LF
  --garbage             every reply line is replaced by random characters
  --refuse-writes       every timer write and erase is answered with BEL
  --hangup-after N      the line drops (pty closed) in the middle of reply N

  -h, --help            this text

TEXT may use the escapes \r \n \t \\ \" \xHH.
Each option taking a value also accepts the form --option=VALUE.

Device answers: "0X" -> "0X:" DDMMYY HHMMSS NNNN I (20 characters);
"0C0N" -> "0C0N" N RECORD, or "0C0N" N "E" when empty; a refused or invalid
timer write or test -> BEL; unknown commands and invalid set arguments -> no
answer. Every reply line ends with CR LF.

Log lines: <seconds.millis> <RX|TX|EV> "<escaped bytes>"
  RX: a command line received, TX: the bytes of one reply as sent,
  EV: other events (xoff, xon, hangup, dump, timer test, control input).
With --log-format json, one object a line:
  {"ms":<millis>,"kind":"<RX|TX|EV>","bytes":"<bytes>"}
  each byte the code point of its value (\u00HH beyond printable ASCII).

State file / dump lines: date=DDMMYY, time=HHMMSS, settings=NNNN, ir=0|1,
timer1=..timer5=<record or E>, device1=..device9=<code>; "#" starts a comment.
)";
}

}  // namespace zd::sim
