#pragma once
// SimFaultPlan: what goes wrong between the drive and the medium. Each rule
// matches requests by command byte (and medium) and fires on chosen
// occurrences; it rewrites the list of frames the drive sends for that request:
// drops the answer, delays it, sends "wait longer" (status 0x01) first,
// duplicates it, adds an unsolicited frame, truncates it, changes its echo byte
// or its status; on a byte stream (RS232) it also corrupts the check sum, puts
// garbage before the frame, sends an empty frame first or writes byte by byte.
//
// Rules are counted independently: each counts the requests it matches
// (command and medium), fired or not, so "the 2nd read word" means the 2nd
// 0x10 request since the rule was added.
#include "tools/drivesim/SimDrive.h"

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vo {

enum class SimFault {
    Drop, // no answer
    Delay, // answer delayMs later
    WaitLonger, // `repeat` frames "echo 01 [waitSeconds]" delayMs apart, then the answer
    Duplicate, // the answer again, `repeat` more times, delayMs apart
    Unsolicited, // an extra `frame`, delayMs before (`before`) or after the answer
    Truncate, // the answer cut to `keepBytes` bytes
    ChangeEcho, // the answer's first byte becomes `echo`
    Status, // the answer's status becomes `status` (data kept only with `keepData`)
    CorruptChecksum, // RS232: the header's sum is wrong
    GarbageBefore, // RS232: the bytes of `frame` are written before the 0xA5
    ZeroLengthHeader, // RS232: an empty frame (A5 00 00) is written before the answer
    ByteByByte, // RS232: every byte written on its own, delayMs apart
    SwapIdentity, // a status answer (0x03) carries `frame`'s serial and part numbers: another drive
    HangUp, // no answer, and the medium ends the link (a pseudo-terminal hangs up)
};

const char* SimFaultName(SimFault f);

struct SimFaultRule {
    std::optional<uint8_t> command; // the request's command byte; unset: every request
    std::optional<uint16_t> upid; // a parameter request (88, 89, 15, 16) of this UPID only
    std::string medium; // the medium's name; empty: every medium
    uint32_t from = 1; // first matching request it fires on (1-based)
    uint32_t times = 1; // how many matching requests from there; 0: all
    SimFault action = SimFault::Drop;
    int64_t delayMs = 0;
    int waitSeconds = -1; // WaitLonger: the third byte; -1: the 2-byte form
    uint32_t repeat = 1;
    uint8_t status = 0;
    bool keepData = false;
    size_t keepBytes = 1;
    uint8_t echo = 0;
    SimBytes frame;
    bool before = false;
    // Whether the drive still carries the request out. Unset: it does, except
    // for Status (a drive that refuses does nothing).
    std::optional<bool> execute;

    // A rule from its text form, for the command line and drive files:
    //   [cmd=<hex>] [upid=<hex>] [medium=<name>] [from=<n>] [times=<n>] <action>
    // actions: drop | delay=<ms> | waitlonger[=<s>][,every=<ms>][,repeat=<n>] |
    //   duplicate[=<ms>][,repeat=<n>] | unsolicited=<hex bytes>[,after=<ms>][,before] |
    //   truncate=<n> | echo=<hex> | status=<hex>[,keepdata] | badsum |
    //   garbage=<hex bytes> | emptyframe | bytewise[=<ms>] |
    //   swapid[=<12 hex digits: serial low, serial high, part number, LE>] | hangup
    // plus "noexec" or "exec". Throws vo::Exception on a malformed text.
    static SimFaultRule Parse(std::string_view text);
    std::string Describe() const;
};

// How a frame goes on the wire; only a byte stream honours these.
struct SimWireEffects {
    bool corruptChecksum = false;
    SimBytes garbageBefore;
    bool zeroLengthHeaderBefore = false;
    bool byteByByte = false;
    int64_t byteGapMs = 0;
};

enum class SimEmissionKind { Answer,
                             WaitLonger,
                             Unsolicited };

// One frame the drive sends, offsetMs after the request arrived.
struct SimEmission {
    int64_t offsetMs = 0;
    SimBytes frame;
    SimEmissionKind kind = SimEmissionKind::Answer;
    SimWireEffects wire;
    std::string note; // the faults that shaped it, for the transcript
};

struct SimFaultOutcome {
    bool execute = true; // let the drive carry the request out
    std::vector<std::string> fired; // descriptions of the rules that fired
};

class SimFaultPlan {
public:
    // Adds a rule; returns its id.
    int Add(SimFaultRule rule);
    int Add(std::string_view text) { return Add(SimFaultRule::Parse(text)); }
    void Remove(int id);
    void Clear();
    size_t Size() const;
    // How often the rule has fired so far.
    uint32_t Fired(int id) const;

    // Step 1, when a request arrives: counts it against every rule and picks
    // those that fire. The returned handle is passed to Shape.
    struct Match {
        std::vector<SimFaultRule> rules;
        SimFaultOutcome outcome;
    };
    // Request: the whole request frame (for rules that look at the UPID).
    Match Arrive(uint8_t command, std::string_view medium, std::string_view request = {});

    // Step 2: the emissions for the drive's answer (nullopt: the drive stays
    // silent; a rule that needs an answer to work on then does nothing).
    // When the request was not carried out, `answer` is unset and faults that
    // shape an answer synthesise "echo status" where they can.
    static std::vector<SimEmission> Shape(const Match& match, uint8_t command,
                                          const std::optional<SimBytes>& answer, int64_t answerDelayMs);

private:
    struct Entry {
        int id;
        SimFaultRule rule;
        uint32_t seen = 0;
        uint32_t fired = 0;
    };
    mutable std::mutex mutex_;
    std::vector<Entry> entries_;
    int nextId_ = 1;
};

} // namespace vo
