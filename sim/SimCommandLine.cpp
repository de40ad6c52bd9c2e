#include "sim/SimCommandLine.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <functional>
#include <map>

namespace {

// Decimal, or hexadecimal after 0x; the whole text must be the number.
std::uint64_t ParseUnsigned(const std::string& option, const std::string& text, std::uint64_t max) {
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const char* first = text.data() + (hex ? 2 : 0);
    const char* last = text.data() + text.size();
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(first, last, value, hex ? 16 : 10);
    if (text.empty() || error != std::errc{} || end != last) {
        throw ESimUsage(option + ": '" + text + "' is not a number");
    }
    if (value > max) throw ESimUsage(option + ": " + text + " is above " + std::to_string(max));
    return value;
}

double ParseReal(const std::string& option, const std::string& text, double min, double max) {
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size() || !std::isfinite(value)) {
        throw ESimUsage(option + ": '" + text + "' is not a number");
    }
    if (value < min || value > max) {
        throw ESimUsage(option + ": " + text + " is outside " + std::to_string(min) + " .. " +
                        std::to_string(max));
    }
    return value;
}

std::uint32_t MillisecondsToUs(const std::string& option, const std::string& text) {
    return static_cast<std::uint32_t>(std::llround(ParseReal(option, text, 0, 3'600'000) * 1000.0));
}

// A comma-separated list of exchange numbers (from 1).
void AddNumbers(const std::string& option, const std::string& text, std::set<std::uint32_t>& into) {
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = text.find(',', start);
        const std::string item =
            text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        const auto n = static_cast<std::uint32_t>(ParseUnsigned(option, item, UINT32_MAX));
        if (n == 0) throw ESimUsage(option + ": exchanges are numbered from 1");
        into.insert(n);
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
}

// SLAVE:REGISTER=VALUE
TSimRegisterValue ParseSetting(const std::string& option, const std::string& text) {
    const std::size_t colon = text.find(':');
    const std::size_t equals = text.find('=');
    if (colon == std::string::npos || equals == std::string::npos || equals < colon) {
        throw ESimUsage(option + ": '" + text + "' is not SLAVE:REGISTER=VALUE");
    }
    TSimRegisterValue r;
    r.Slave = static_cast<std::uint8_t>(ParseUnsigned(option, text.substr(0, colon), 247));
    if (r.Slave == 0) throw ESimUsage(option + ": slave 0 is the broadcast address");
    r.Register =
        static_cast<std::uint16_t>(ParseUnsigned(option, text.substr(colon + 1, equals - colon - 1), 0xFFFF));
    r.Value = static_cast<std::uint16_t>(ParseUnsigned(option, text.substr(equals + 1), 0xFFFF));
    return r;
}

bool ParseYesNo(const std::string& option, const std::string& text) {
    if (text == "yes") return true;
    if (text == "no") return false;
    throw ESimUsage(option + ": '" + text + "' is neither yes nor no");
}

}  // namespace

std::string TSimCommandLine::Usage() {
    return R"(Usage: unitsim [options]
Serves a simulated controller unit on a pseudo-terminal and links its slave device into
a ports directory as COMn. Prints "unitsim: COMn -> /dev/pts/N" when ready; ends on
SIGTERM or SIGINT and removes the link. Numbers are decimal or 0x hexadecimal; times are
in milliseconds and may have a fraction.

Line:
  --ports-dir DIR          directory of the COMn links (default: $BOOTLOADER_PORTS,
                           else ports/ in the working directory; created if missing)
  --port N                 name of the link: COMN (default 1)
  --replace-link           replace an existing symbolic link of that name

Unit:
  --model N                model the unit is and its boot loader reports (default 6181)
  --app-model N            model the application reports at 19:20 (default: --model)
  --version N              application firmware version, major*100+minor (default 109)
  --new-version N          version running after a restart from the boot loader
                           (default: --version)
  --boot-model N           model in the boot loader's info reply (default: --model)
  --boot-version N         boot loader version in its info reply (default 105)
  --mode app|boot          mode at start (default: boot for a model without an entry
                           write, app otherwise)
  --modbus-speed N         line speed of the application (default: the model's)
  --boot-speed N           line speed of the boot loader (default: the model's)
  --part-end N             last program memory address (default 0xFFFF)
  --flash-init FILE        flash content from address 0 (at most 65536 bytes; the rest
                           is erased)
  --setting S:R=V          start value V of register R of slave S (repeatable)
  --reset-settings yes|no  whether a restart into new firmware clears the settings
                           registers (default: as the model does)

Timing:
  --turnaround-ms T        the unit's own delay before every reply (default 0)
  --erase-ms T             time an erase takes before its reply (default 0)
  --write-ms T             time a block write takes before its reply (default 0)
  --wire-time              add the time request and reply take on the wire
  --frame-gap-ms T         silence that ends an incomplete Modbus request
                           (default 3.5 characters at the Modbus speed)

Faults (exchanges are the valid requests the unit takes, numbered from 1):
  --seed N                 seed of the random faults (default 1)
  --corrupt-rate P         probability that a reply has a byte corrupted
  --drop-rate P            probability that a reply is not sent
  --delay-rate P           probability that a reply is delayed by --delay-ms
  --noise-rate P           probability that noise bytes go before a reply
  --corrupt-at LIST        the same at given exchanges (comma-separated, repeatable)
  --drop-at LIST
  --delay-at LIST
  --noise-at LIST
  --fail-at LIST           ignore these exchanges: no action, no reply
  --delay-ms T             delay of a delayed reply (default 500)
  --noise-bytes N          number of noise bytes (default 3)
  --report-model N         boot loader answers the model request with N
  --hang-up-at N           at exchange N close the line and end
  --power-loss-at-write N  lose power at the N-th block write: no reply, the flash
                           as it was, back in the boot loader

Output:
  --flash-dump FILE        write the flash to FILE after every restart command and at
                           the end
  --stats-file FILE        write the statistics to FILE at the end
  --trace                  trace frames and events on stderr
  --help                   show this text
)";
}

TUnitSimOptions TSimCommandLine::Parse(const std::vector<std::string>& args) {
    TUnitSimOptions o;
    TSimConfig& c = o.Config;
    TSimFaultPlan& f = c.Faults;
    auto u16 = [](const std::string& opt, const std::string& v) {
        return static_cast<std::uint16_t>(ParseUnsigned(opt, v, 0xFFFF));
    };
    auto speed = [](const std::string& opt, const std::string& v) {
        const auto s = static_cast<std::uint32_t>(ParseUnsigned(opt, v, 4'000'000));
        if (s == 0) throw ESimUsage(opt + ": the speed must not be 0");
        return s;
    };
    auto rate = [](const std::string& opt, const std::string& v) { return ParseReal(opt, v, 0, 1); };

    using TSetter = std::function<void(const std::string& option, const std::string& value)>;
    const std::map<std::string, TSetter> withValue = {
        {"--ports-dir", [&](auto&, auto& v) { o.PortsDir = v; }},
        {"--port",
         [&](auto& opt, auto& v) {
             o.Port = static_cast<unsigned>(ParseUnsigned(opt, v, 255));
             if (o.Port == 0) throw ESimUsage(opt + ": ports are numbered from 1");
         }},
        {"--model", [&](auto& opt, auto& v) { c.Model = u16(opt, v); }},
        {"--app-model", [&](auto& opt, auto& v) { c.ApplicationModel = u16(opt, v); }},
        {"--version", [&](auto& opt, auto& v) { c.Version = u16(opt, v); }},
        {"--new-version", [&](auto& opt, auto& v) { c.NewVersion = u16(opt, v); }},
        {"--boot-model", [&](auto& opt, auto& v) { c.BootLoaderModel = u16(opt, v); }},
        {"--boot-version", [&](auto& opt, auto& v) { c.BootLoaderVersion = u16(opt, v); }},
        {"--mode",
         [&](auto& opt, auto& v) {
             if (v == "app") {
                 c.InitialMode = TSimMode::Application;
             } else if (v == "boot") {
                 c.InitialMode = TSimMode::BootLoader;
             } else {
                 throw ESimUsage(opt + ": '" + v + "' is neither app nor boot");
             }
         }},
        {"--modbus-speed", [&](auto& opt, auto& v) { c.ModbusSpeed = speed(opt, v); }},
        {"--boot-speed", [&](auto& opt, auto& v) { c.BootSpeed = speed(opt, v); }},
        {"--part-end",
         [&](auto& opt, auto& v) { c.PartEnd = static_cast<std::uint32_t>(ParseUnsigned(opt, v, 0xFFFF)); }},
        {"--flash-init", [&](auto&, auto& v) { o.FlashInitFile = v; }},
        {"--setting", [&](auto& opt, auto& v) { c.Settings.push_back(ParseSetting(opt, v)); }},
        {"--reset-settings", [&](auto& opt, auto& v) { c.ResetSettingsOnRestart = ParseYesNo(opt, v); }},
        {"--turnaround-ms", [&](auto& opt, auto& v) { c.TurnaroundUs = MillisecondsToUs(opt, v); }},
        {"--erase-ms", [&](auto& opt, auto& v) { c.EraseLatencyUs = MillisecondsToUs(opt, v); }},
        {"--write-ms", [&](auto& opt, auto& v) { c.WriteLatencyUs = MillisecondsToUs(opt, v); }},
        {"--frame-gap-ms", [&](auto& opt, auto& v) { c.FrameGapUs = MillisecondsToUs(opt, v); }},
        {"--seed", [&](auto& opt, auto& v) { f.Seed = ParseUnsigned(opt, v, UINT64_MAX); }},
        {"--corrupt-rate", [&](auto& opt, auto& v) { f.CorruptRate = rate(opt, v); }},
        {"--drop-rate", [&](auto& opt, auto& v) { f.DropRate = rate(opt, v); }},
        {"--delay-rate", [&](auto& opt, auto& v) { f.DelayRate = rate(opt, v); }},
        {"--noise-rate", [&](auto& opt, auto& v) { f.NoiseRate = rate(opt, v); }},
        {"--corrupt-at", [&](auto& opt, auto& v) { AddNumbers(opt, v, f.CorruptAt); }},
        {"--drop-at", [&](auto& opt, auto& v) { AddNumbers(opt, v, f.DropAt); }},
        {"--delay-at", [&](auto& opt, auto& v) { AddNumbers(opt, v, f.DelayAt); }},
        {"--noise-at", [&](auto& opt, auto& v) { AddNumbers(opt, v, f.NoiseAt); }},
        {"--fail-at", [&](auto& opt, auto& v) { AddNumbers(opt, v, f.FailAt); }},
        {"--delay-ms", [&](auto& opt, auto& v) { f.DelayUs = MillisecondsToUs(opt, v); }},
        {"--noise-bytes",
         [&](auto& opt, auto& v) { f.NoiseBytes = static_cast<std::uint32_t>(ParseUnsigned(opt, v, 4096)); }},
        {"--report-model", [&](auto& opt, auto& v) { f.ReportModel = u16(opt, v); }},
        {"--hang-up-at",
         [&](auto& opt, auto& v) {
             f.HangUpAt = static_cast<std::uint32_t>(ParseUnsigned(opt, v, UINT32_MAX));
         }},
        {"--power-loss-at-write",
         [&](auto& opt, auto& v) {
             f.PowerLossAtWrite = static_cast<std::uint32_t>(ParseUnsigned(opt, v, UINT32_MAX));
         }},
        {"--flash-dump", [&](auto&, auto& v) { o.FlashDumpFile = v; }},
        {"--stats-file", [&](auto&, auto& v) { o.StatsFile = v; }},
    };
    const std::map<std::string, std::function<void()>> flags = {
        {"--replace-link", [&] { o.ReplaceLink = true; }},
        {"--wire-time", [&] { c.EmulateWireTime = true; }},
        {"--trace", [&] { o.Trace = true; }},
        {"--help", [&] { o.Help = true; }},
        {"-h", [&] { o.Help = true; }},
    };

    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string option = args[i];
        std::string value;
        bool inlineValue = false;
        // --option=value is the same as --option value.
        if (const std::size_t eq = option.find('='); option.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = option.substr(eq + 1);
            option.resize(eq);
            inlineValue = true;
        }
        if (auto flag = flags.find(option); flag != flags.end() && !inlineValue) {
            flag->second();
            continue;
        }
        auto setter = withValue.find(option);
        if (setter == withValue.end()) throw ESimUsage("unknown option '" + args[i] + "'");
        if (!inlineValue) {
            if (i + 1 >= args.size()) throw ESimUsage(option + " needs a value");
            value = args[++i];
        }
        setter->second(option, value);
    }
    return o;
}
