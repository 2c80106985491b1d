#include "tools/drivesim/SimFaults.h"

#include "platform/Exception.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>

namespace vo {

const char* SimFaultName(SimFault f) {
    switch (f) {
    case SimFault::Drop: return "drop";
    case SimFault::Delay: return "delay";
    case SimFault::WaitLonger: return "waitlonger";
    case SimFault::Duplicate: return "duplicate";
    case SimFault::Unsolicited: return "unsolicited";
    case SimFault::Truncate: return "truncate";
    case SimFault::ChangeEcho: return "echo";
    case SimFault::Status: return "status";
    case SimFault::CorruptChecksum: return "badsum";
    case SimFault::GarbageBefore: return "garbage";
    case SimFault::ZeroLengthHeader: return "emptyframe";
    case SimFault::ByteByByte: return "bytewise";
    case SimFault::SwapIdentity: return "swapid";
    case SimFault::HangUp: return "hangup";
    }
    return "?";
}

// ---------------------------------------------------------------- text form

namespace {

[[noreturn]] void Bad(std::string_view text, const std::string& why) {
    throw Exception("SimFaultRule.Parse: " + why + " in \"" + std::string(text) + "\"");
}

int64_t Number(std::string_view text, std::string_view value, int base = 10) {
    if (value.size() > 2 && value[0] == '0' && (value[1] == 'x' || value[1] == 'X')) {
        value.remove_prefix(2);
        base = 16;
    }
    int64_t n = 0;
    auto [p, ec] = std::from_chars(value.data(), value.data() + value.size(), n, base);
    if (ec != std::errc() || p != value.data() + value.size() || value.empty())
        Bad(text, "bad number '" + std::string(value) + "'");
    return n;
}

std::vector<std::string_view> Split(std::string_view s, char sep) {
    std::vector<std::string_view> out;
    size_t start = 0;
    while (start <= s.size()) {
        size_t end = s.find(sep, start);
        if (end == std::string_view::npos) end = s.size();
        out.push_back(s.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

std::pair<std::string_view, std::string_view> KeyValue(std::string_view token) {
    size_t eq = token.find('=');
    if (eq == std::string_view::npos) return {token, {}};
    return {token.substr(0, eq), token.substr(eq + 1)};
}

std::string Lower(std::string_view s) {
    std::string out(s);
    for (auto& c : out) c = char(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

} // namespace

SimFaultRule SimFaultRule::Parse(std::string_view text) {
    SimFaultRule r;
    bool haveAction = false;
    size_t pos = 0;
    while (pos < text.size()) {
        while (pos < text.size() && std::isspace(static_cast<unsigned char>(text[pos]))) ++pos;
        size_t end = pos;
        while (end < text.size() && !std::isspace(static_cast<unsigned char>(text[end]))) ++end;
        if (end == pos) break;
        std::string_view token = text.substr(pos, end - pos);
        pos = end;

        auto parts = Split(token, ',');
        auto [rawKey, value] = KeyValue(parts[0]);
        std::string key = Lower(rawKey);
        auto option = [&](std::string_view name) -> std::optional<std::string_view> {
            for (size_t i = 1; i < parts.size(); ++i) {
                auto [k, v] = KeyValue(parts[i]);
                if (Lower(k) == name) return v;
            }
            return std::nullopt;
        };
        auto setAction = [&](SimFault f) {
            if (haveAction) Bad(text, "more than one action");
            haveAction = true;
            r.action = f;
        };

        if (key == "cmd") {
            int64_t c = Number(text, value, 16);
            if (c < 0 || c > 255) Bad(text, "command out of range");
            r.command = uint8_t(c);
        } else if (key == "upid") {
            int64_t u = Number(text, value, 16);
            if (u < 0 || u > 0xFFFF) Bad(text, "UPID out of range");
            r.upid = uint16_t(u);
        } else if (key == "medium") {
            r.medium = std::string(value);
        } else if (key == "from") {
            r.from = uint32_t(Number(text, value));
            if (r.from == 0) Bad(text, "occurrences count from 1");
        } else if (key == "times") {
            r.times = uint32_t(Number(text, value));
        } else if (key == "exec") {
            r.execute = true;
        } else if (key == "noexec") {
            r.execute = false;
        } else if (key == "drop") {
            setAction(SimFault::Drop);
        } else if (key == "delay") {
            setAction(SimFault::Delay);
            r.delayMs = Number(text, value);
        } else if (key == "waitlonger") {
            setAction(SimFault::WaitLonger);
            r.waitSeconds = value.empty() ? -1 : int(Number(text, value));
            if (r.waitSeconds > 255) Bad(text, "wait longer than 255 s");
            r.delayMs = 0;
            if (auto v = option("every")) r.delayMs = Number(text, *v);
            if (auto v = option("repeat")) r.repeat = uint32_t(Number(text, *v));
        } else if (key == "duplicate") {
            setAction(SimFault::Duplicate);
            r.delayMs = value.empty() ? 0 : Number(text, value);
            if (auto v = option("repeat")) r.repeat = uint32_t(Number(text, *v));
        } else if (key == "unsolicited") {
            setAction(SimFault::Unsolicited);
            r.frame = SimHex(value);
            if (r.frame.empty()) Bad(text, "unsolicited needs a frame");
            if (auto v = option("after")) r.delayMs = Number(text, *v);
            if (option("before")) r.before = true;
        } else if (key == "truncate") {
            setAction(SimFault::Truncate);
            r.keepBytes = size_t(Number(text, value));
        } else if (key == "echo") {
            setAction(SimFault::ChangeEcho);
            r.echo = uint8_t(Number(text, value, 16));
        } else if (key == "status") {
            setAction(SimFault::Status);
            r.status = uint8_t(Number(text, value, 16));
            if (option("keepdata")) r.keepData = true;
        } else if (key == "badsum") {
            setAction(SimFault::CorruptChecksum);
        } else if (key == "garbage") {
            setAction(SimFault::GarbageBefore);
            r.frame = SimHex(value);
            if (r.frame.empty()) Bad(text, "garbage needs bytes");
        } else if (key == "emptyframe") {
            setAction(SimFault::ZeroLengthHeader);
        } else if (key == "swapid") {
            setAction(SimFault::SwapIdentity);
            // Without numbers: every bit of the drive's own numbers inverted.
            r.frame = value.empty() ? SimBytes() : SimHex(value);
            if (!value.empty() && r.frame.size() != 6) Bad(text, "swapid needs 6 bytes");
        } else if (key == "hangup") {
            setAction(SimFault::HangUp);
        } else if (key == "bytewise") {
            setAction(SimFault::ByteByByte);
            r.delayMs = value.empty() ? 1 : Number(text, value);
        } else {
            Bad(text, "unknown word '" + std::string(rawKey) + "'");
        }
    }
    if (!haveAction) Bad(text, "no action");
    return r;
}

std::string SimFaultRule::Describe() const {
    std::string s;
    char buf[64];
    if (command) {
        std::snprintf(buf, sizeof buf, "cmd=%02X ", *command);
        s += buf;
    }
    if (upid) {
        std::snprintf(buf, sizeof buf, "upid=%04X ", unsigned(*upid));
        s += buf;
    }
    if (!medium.empty()) s += "medium=" + medium + " ";
    if (from != 1) s += "from=" + std::to_string(from) + " ";
    if (times != 1) s += "times=" + std::to_string(times) + " ";
    s += SimFaultName(action);
    switch (action) {
    case SimFault::Delay: s += "=" + std::to_string(delayMs); break;
    case SimFault::WaitLonger:
        if (waitSeconds >= 0) s += "=" + std::to_string(waitSeconds);
        s += ",every=" + std::to_string(delayMs) + ",repeat=" + std::to_string(repeat);
        break;
    case SimFault::Duplicate: s += "=" + std::to_string(delayMs) + ",repeat=" + std::to_string(repeat); break;
    case SimFault::Unsolicited: s += "=" + SimToHex(frame); break;
    case SimFault::Truncate: s += "=" + std::to_string(keepBytes); break;
    case SimFault::ChangeEcho:
        std::snprintf(buf, sizeof buf, "=%02X", echo);
        s += buf;
        break;
    case SimFault::Status:
        std::snprintf(buf, sizeof buf, "=%02X", status);
        s += buf;
        if (keepData) s += ",keepdata";
        break;
    case SimFault::GarbageBefore: s += "=" + SimToHex(frame); break;
    case SimFault::SwapIdentity:
        if (!frame.empty()) s += "=" + SimToHex(frame);
        break;
    case SimFault::ByteByByte: s += "=" + std::to_string(delayMs); break;
    default: break;
    }
    return s;
}

// ---------------------------------------------------------------- the plan

int SimFaultPlan::Add(SimFaultRule rule) {
    std::lock_guard lock(mutex_);
    int id = nextId_++;
    entries_.push_back(Entry{id, std::move(rule)});
    return id;
}

void SimFaultPlan::Remove(int id) {
    std::lock_guard lock(mutex_);
    entries_.erase(std::remove_if(entries_.begin(), entries_.end(), [&](const Entry& e) { return e.id == id; }),
                   entries_.end());
}

void SimFaultPlan::Clear() {
    std::lock_guard lock(mutex_);
    entries_.clear();
}

size_t SimFaultPlan::Size() const {
    std::lock_guard lock(mutex_);
    return entries_.size();
}

uint32_t SimFaultPlan::Fired(int id) const {
    std::lock_guard lock(mutex_);
    for (const auto& e : entries_)
        if (e.id == id) return e.fired;
    return 0;
}

SimFaultPlan::Match SimFaultPlan::Arrive(uint8_t command, std::string_view medium, std::string_view request) {
    std::lock_guard lock(mutex_);
    Match m;
    for (auto& e : entries_) {
        const auto& r = e.rule;
        if (r.command && *r.command != command) continue;
        if (r.upid) {
            // Parameter requests: command, sub-command, UPID low, UPID high.
            const bool byUpid = command == 0x88 || command == 0x89 || command == 0x15 || command == 0x16;
            if (!byUpid || request.size() < 4 ||
                (uint8_t(request[2]) | uint16_t(uint8_t(request[3])) << 8) != *r.upid)
                continue;
        }
        if (!r.medium.empty() && r.medium != medium) continue;
        uint32_t n = ++e.seen;
        if (n < r.from) continue;
        if (r.times != 0 && n - r.from >= r.times) continue;
        ++e.fired;
        m.rules.push_back(r);
        m.outcome.fired.push_back(r.Describe());
        bool exec = r.execute.value_or(r.action != SimFault::Status && r.action != SimFault::HangUp);
        if (!exec) m.outcome.execute = false;
    }
    return m;
}

std::vector<SimEmission> SimFaultPlan::Shape(const Match& match, uint8_t command,
                                             const std::optional<SimBytes>& answer, int64_t answerDelayMs) {
    std::vector<SimEmission> out;
    if (answer) {
        out.push_back(SimEmission{answerDelayMs, *answer, SimEmissionKind::Answer, {}, {}});
    } else {
        // A refusing drive that did nothing still answers with the chosen status.
        for (const auto& r : match.rules) {
            if (r.action == SimFault::Status) {
                out.push_back(SimEmission{answerDelayMs, SimBytes{char(command), char(r.status)}, SimEmissionKind::Answer, {}, {}});
                break;
            }
        }
    }

    auto note = [](SimEmission& e, const SimFaultRule& r) {
        if (!e.note.empty()) e.note += " ";
        e.note += SimFaultName(r.action);
    };
    auto firstAnswer = [&]() -> SimEmission* {
        for (auto& e : out)
            if (e.kind == SimEmissionKind::Answer) return &e;
        return nullptr;
    };

    for (const auto& r : match.rules) {
        switch (r.action) {
        case SimFault::Drop:
        case SimFault::HangUp:
            out.erase(std::remove_if(out.begin(), out.end(),
                                     [](const SimEmission& e) { return e.kind == SimEmissionKind::Answer; }),
                      out.end());
            break;
        case SimFault::Delay:
            for (auto& e : out) {
                e.offsetMs += r.delayMs;
                note(e, r);
            }
            break;
        case SimFault::WaitLonger: {
            SimEmission* a = firstAnswer();
            if (!a) break;
            int64_t base = a->offsetMs;
            SimBytes wait{char(command), char(0x01)};
            if (r.waitSeconds >= 0) wait.push_back(char(r.waitSeconds));
            a->offsetMs = base + int64_t(r.repeat) * r.delayMs;
            note(*a, r);
            for (uint32_t i = 0; i < r.repeat; ++i) {
                out.push_back(SimEmission{base + int64_t(i) * r.delayMs, wait, SimEmissionKind::WaitLonger, {}, "waitlonger"});
            }
            break;
        }
        case SimFault::Duplicate: {
            std::vector<SimEmission> copies;
            for (auto& e : out) {
                if (e.kind != SimEmissionKind::Answer) continue;
                for (uint32_t k = 1; k <= r.repeat; ++k) {
                    SimEmission c = e;
                    c.offsetMs += int64_t(k) * r.delayMs;
                    note(c, r);
                    copies.push_back(std::move(c));
                }
            }
            out.insert(out.end(), copies.begin(), copies.end());
            break;
        }
        case SimFault::Unsolicited: {
            SimEmission* a = firstAnswer();
            int64_t base = a ? a->offsetMs : answerDelayMs;
            SimEmission u{r.before ? std::max<int64_t>(0, base - r.delayMs) : base + r.delayMs, r.frame, SimEmissionKind::Unsolicited, {}, "unsolicited"};
            if (r.before)
                out.insert(out.begin(), std::move(u));
            else
                out.push_back(std::move(u));
            break;
        }
        case SimFault::Truncate:
            for (auto& e : out)
                if (e.kind == SimEmissionKind::Answer && e.frame.size() > r.keepBytes) {
                    e.frame.resize(r.keepBytes);
                    note(e, r);
                }
            break;
        case SimFault::ChangeEcho:
            for (auto& e : out)
                if (e.kind == SimEmissionKind::Answer && !e.frame.empty()) {
                    e.frame[0] = char(r.echo);
                    note(e, r);
                }
            break;
        case SimFault::SwapIdentity:
            // The status answer: echo, result, status word, serial low, serial
            // high, part number.
            for (auto& e : out)
                if (e.kind == SimEmissionKind::Answer && e.frame.size() >= 10 && uint8_t(e.frame[0]) == 0x03) {
                    for (size_t i = 0; i < 6; ++i)
                        e.frame[4 + i] = r.frame.empty() ? char(~uint8_t(e.frame[4 + i])) : r.frame[i];
                    note(e, r);
                }
            break;
        case SimFault::Status:
            for (auto& e : out)
                if (e.kind == SimEmissionKind::Answer) {
                    if (e.frame.size() < 2) e.frame.resize(2, '\0');
                    e.frame[1] = char(r.status);
                    if (!r.keepData) e.frame.resize(2);
                    note(e, r);
                }
            break;
        case SimFault::CorruptChecksum:
        case SimFault::GarbageBefore:
        case SimFault::ZeroLengthHeader:
        case SimFault::ByteByByte:
            for (auto& e : out) {
                if (e.kind != SimEmissionKind::Answer) continue;
                if (r.action == SimFault::CorruptChecksum) e.wire.corruptChecksum = true;
                if (r.action == SimFault::GarbageBefore) e.wire.garbageBefore = r.frame;
                if (r.action == SimFault::ZeroLengthHeader) e.wire.zeroLengthHeaderBefore = true;
                if (r.action == SimFault::ByteByByte) {
                    e.wire.byteByByte = true;
                    e.wire.byteGapMs = r.delayMs;
                }
                note(e, r);
            }
            break;
        }
    }
    std::stable_sort(out.begin(), out.end(),
                     [](const SimEmission& a, const SimEmission& b) { return a.offsetMs < b.offsetMs; });
    return out;
}

} // namespace vo
