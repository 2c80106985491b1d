#pragma once
// SimProtocol: the drive's protocol engine. One request frame in (command byte
// first), at most one answer out: the echo of the command byte, a status byte
// and the data, with the time the drive takes to answer. No I/O and no clock
// of its own: the caller passes the time, so tests never sleep.
//
// Requests carry addresses in A bytes and words in D bytes, little-endian, as
// the drive announced in its login answer. Every request is checked for its
// exact length; a request the drive cannot carry out gets one of the statuses
// of SimStatusCodes (configurable on the drive).
#include "tools/drivesim/SimDrive.h"

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace vo {

struct SimContext {
    std::string master; // who sent the request ("rs232", "udp:10.0.0.1:1234", "can:255" ...)
    int64_t nowMs = 0; // time of arrival on the simulator's clock
};

struct SimAnswer {
    SimBytes frame; // echo, status, data
    int64_t delayMs = 0; // the drive's processing time
};

class SimProtocol {
public:
    // A command handler returns the whole answer frame, or an empty frame for
    // no answer at all.
    using Handler = std::function<SimBytes(SimDrive&, const SimContext&, std::string_view request)>;

    explicit SimProtocol(SimDrive drive = SimDrive());

    SimDrive& Drive() { return drive_; }
    const SimDrive& Drive() const { return drive_; }

    // The drive's answer to one frame; nullopt when it stays silent (an empty
    // frame has no command byte to answer).
    std::optional<SimAnswer> Answer(std::string_view frame, const SimContext& ctx);

    // Who may use a command: only the master logged in (when the drive asks
    // for a login), or anyone (login, discovery and blink, scan probes).
    enum class Access { LoggedIn,
                        Anyone };

    // Adds a command or replaces the built-in one (later subsystems' telegrams:
    // oscilloscope, logs, curves ...).
    void SetHandler(uint8_t command, Handler handler, Access access = Access::LoggedIn);
    void RemoveHandler(uint8_t command);
    // Processing time of one command, and of all others.
    void SetDelay(uint8_t command, int64_t ms) { delays_[command] = ms; }
    void SetDefaultDelay(int64_t ms) { defaultDelay_ = ms; }
    int64_t DelayOf(uint8_t command) const {
        auto it = delays_.find(command);
        return it != delays_.end() ? it->second : defaultDelay_;
    }

    // The answer frame "echo, status" (and data) for handlers.
    static SimBytes Reply(uint8_t command, uint8_t status, std::string_view data = {});

private:
    SimBytes Dispatch(uint8_t cmd, std::string_view req, const SimContext& ctx);

    SimBytes Login(std::string_view req, const SimContext& ctx);
    SimBytes Logout(std::string_view req, const SimContext& ctx);
    SimBytes Status(std::string_view req, const SimContext& ctx);
    SimBytes Blink(std::string_view req, const SimContext& ctx);
    SimBytes Discover(std::string_view req, const SimContext& ctx);
    SimBytes GetWord(std::string_view req);
    SimBytes SetWord(std::string_view req, bool flash);
    SimBytes MaskWord(std::string_view req);
    SimBytes Start(std::string_view req, const SimContext& ctx);
    SimBytes Stop(std::string_view req, const SimContext& ctx);
    SimBytes Reset(std::string_view req, const SimContext& ctx);
    SimBytes EraseSector(std::string_view req, const SimContext& ctx);
    SimBytes FindInfo(std::string_view req);
    SimBytes FirstEmpty(std::string_view req);
    SimBytes EraseAll(std::string_view req, const SimContext& ctx);
    SimBytes GetBlock(std::string_view req, bool flashOnly);
    SimBytes SetBlock(std::string_view req, bool flash);
    SimBytes CopyToFlash(std::string_view req);
    SimBytes GetString(std::string_view req);
    SimBytes SetString(std::string_view req);
    SimBytes GetPar(std::string_view req, const SimContext& ctx);
    SimBytes SetPar(std::string_view req, const SimContext& ctx);
    SimBytes GetParBlock(std::string_view req);
    SimBytes SetParBlock(std::string_view req);
    SimBytes SubCommand(uint8_t cmd, std::string_view req, const SimContext& ctx);

    // Writes `data` at `address` into RAM (flash = false) or erased flash;
    // returns the status.
    uint8_t WriteMemory(uint32_t address, std::string_view data, bool flash);
    uint8_t ReadMemory(uint32_t address, size_t count, bool flashOnly, SimBytes& out);
    uint8_t WriteParameter(uint8_t sub, uint16_t upid, std::string_view value);

    size_t A() const { return drive_.Identity().addrFieldSize; }
    size_t D() const { return drive_.Identity().dataFieldSize; }

    SimDrive drive_;
    struct Entry {
        Handler handler;
        Access access;
    };
    std::map<uint8_t, Entry> handlers_;
    std::map<uint8_t, int64_t> delays_;
    int64_t defaultDelay_ = 0;
};

} // namespace vo
