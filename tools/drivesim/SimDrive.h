#pragma once
// SimDrive: the state of one simulated drive, without any I/O.
//
// A drive knows who it is (the facts of its login answer, its release text and
// serial numbers), holds word-addressed memory (RAM and flash regions), a small
// store of parameters by UPID (the user-level passwords live there), its info
// nodes, its firmware instances and run state, and which master is logged in.
// The protocol engine (SimProtocol) reads and changes it; tests inspect it.
//
// Addresses are in the drive's address units: one address holds
// DataFieldSize / AddrIncrement bytes (a drive with D = 2 and an increment of 1
// is word addressed, one with D = 2 and an increment of 2 byte addressed).
#include "platform/AnsiString.h"

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vo {

using SimBytes = MyAnsiString; // a telegram or memory content: 8-bit bytes

// The drive's own answers to requests it cannot carry out. Values with bit 7
// set are errors without data; 0xB3 and 0xC0 keep their meaning for the
// program (another master is logged in; the drive does not know the UPID).
struct SimStatusCodes {
    uint8_t unknownCommand = 0xC1; // command (or sub-command) the drive does not have
    uint8_t badRequest = 0xC2; // wrong request length or contents
    uint8_t addressError = 0xC3; // outside memory, or the wrong kind of memory
    uint8_t flashNotErased = 0xC4; // programming flash that is not erased
    uint8_t notLoggedIn = 0xC5; // any command but login before a login
    uint8_t noFirmware = 0xC6; // start without a firmware instance present
    uint8_t noMoreNodes = 0xC7; // find-info found no further node
    uint8_t readOnly = 0xC8; // write to a read-only parameter
    uint8_t unknownUpid = 0xC0; // parameter read or write of an unknown UPID
    uint8_t anotherMaster = 0xB3; // another master is logged in
    uint8_t notLive = 0xC9; // write of a parameter that is not live while the firmware runs
};

enum class SimRegionKind { Ram,
                           Flash };

struct SimRegion {
    std::string name;
    SimRegionKind kind = SimRegionKind::Ram;
    uint32_t base = 0; // first address
    uint32_t size = 0; // number of addresses
    uint32_t sectorSize = 0; // flash: addresses per erase sector (0 = whole region)
    SimBytes bytes; // size * bytes per address
    bool synthetic = false; // made by the drive itself to hold its release text
    uint32_t End() const { return base + size; } // one past the last address
};

// One parameter of the drive, reached by its UPID. A read returns `size` bytes;
// a shorter value written is padded with zero bytes.
struct SimParameter {
    uint16_t upid = 0;
    uint8_t size = 2;
    SimBytes ram; // value in RAM (size bytes)
    SimBytes rom; // value in ROM (size bytes)
    bool writable = true;
    bool ramWritable = true; // sub-commands 01 and 02 may write
    bool romWritable = true; // sub-commands 00 and 02 may write
    bool live = true; // may be written while the firmware runs
    int64_t step = 0; // added to the RAM value after every read (a counter, a ramp)
    bool text = false; // a string: 0x3x drives answer its reads with 64 bytes
};

// An info node: a record in drive memory that find-info telegrams locate.
struct SimInfoNode {
    uint32_t address = 0;
    uint8_t type = 0;
    uint16_t size = 0; // bytes
};

// Firmware instance 0 motion control, 1 interface, 2 application.
struct SimInstance {
    bool present = false;
    SimBytes treeName;
};

enum class SimUserLevel { Guest,
                          User,
                          Service,
                          Developer };

// Identity and login facts: the fields of the login answer, the release text
// and the identity of the status answer.
struct SimIdentity {
    uint8_t protocolVersion = 0x41;
    uint8_t addrFieldSize = 4; // A
    uint8_t dataFieldSize = 2; // D
    uint8_t addrIncrement = 1;
    uint8_t maxBufferSize = 255;
    uint16_t processorType = 0;
    uint16_t deviceType = 0;
    uint16_t deviceVersion = 0;
    uint16_t flashType = 0;
    uint32_t flashBaseAddr = 0;
    SimBytes deviceString; // up to 16 bytes
    SimBytes releaseText; // up to 32 bytes, at the generation's address
    uint16_t serNbrLow = 0;
    uint16_t serNbrHigh = 0;
    uint16_t partNbr = 0;
    uint16_t group = 0; // drive group of the Ethernet discovery
    uint64_t macId = 0; // 48-bit MAC address of the discovery answer
    uint8_t canMacId = 1; // the drive's node on a CAN bus
};

// Something the drive was asked to do that leaves no other trace (a blink, a
// reset ...), kept for tests: name and the time it happened.
struct SimEvent {
    std::string name;
    int64_t timeMs = 0;
    uint32_t arg = 0;
};

class SimDrive {
public:
    SimDrive() = default;
    explicit SimDrive(SimIdentity identity);

    // --- identity ---
    const SimIdentity& Identity() const { return identity_; }
    // Changes the identity; passwords and the release text move to the
    // addresses and UPIDs of the new protocol generation.
    void SetIdentity(const SimIdentity& identity);
    uint8_t Generation() const; // 2, 3 or 4 (high nibble; 0x02 counts as 2)
    uint32_t BytesPerAddress() const; // D / AddrIncrement
    uint32_t AddressMask() const; // the low A bytes
    uint32_t ReleaseTextAddress() const; // the generation's release address, cut to A bytes
    // Throws vo::Exception when the facts cannot describe a drive (A outside 3..4,
    // D = 0, D not a multiple of the increment, buffer too small ...).
    void Validate() const;

    // --- memory ---
    // Adds a region (size in addresses). Throws on overlap or an address that
    // does not fit into A bytes. Flash starts erased (0xFF), RAM as zeros.
    SimRegion& AddRegion(std::string name, SimRegionKind kind, uint32_t base, uint32_t size,
                         uint32_t sectorSize = 0);
    const std::vector<SimRegion>& Regions() const { return regions_; }
    SimRegion* FindRegion(uint32_t address);
    const SimRegion* FindRegion(uint32_t address) const;
    // The region that holds `count` bytes from `address` whole, or nullptr.
    SimRegion* RegionFor(uint32_t address, size_t count);
    // Byte access for tests and fixtures; throw vo::Exception outside memory.
    SimBytes Peek(uint32_t address, size_t count) const;
    void Poke(uint32_t address, std::string_view bytes); // ignores the memory kind
    bool IsErased(uint32_t address, size_t count) const;
    // Whether flash takes new bytes over old ones (false: only where erased,
    // as real flash does; a write elsewhere is refused with flashNotErased).
    bool FlashOverwrite() const { return flashOverwrite_; }
    void SetFlashOverwrite(bool on) { flashOverwrite_ = on; }

    // --- parameters ---
    SimParameter& SetParameter(uint16_t upid, uint8_t size, std::string_view value,
                               bool writable = true); // value goes to RAM and ROM
    SimParameter* FindParameter(uint16_t upid);
    const SimParameter* FindParameter(uint16_t upid) const;
    const std::map<uint16_t, SimParameter>& Parameters() const { return parameters_; }

    // --- passwords: USER and SERVICE are parameters of 16 bytes at the
    //     generation's UPIDs; GUEST and DEVELOPER have none on the drive ---
    void SetPassword(SimUserLevel level, std::string_view password);
    SimBytes Password(SimUserLevel level) const;
    static std::optional<uint16_t> PasswordUpid(uint8_t generation, SimUserLevel level);

    // --- info nodes: bytes go into memory at the address; a node may
    //     announce another size than its bytes (a damaged directory) ---
    void AddInfoNode(uint32_t address, uint8_t type, std::string_view bytes,
                     std::optional<uint16_t> announcedSize = std::nullopt);
    const std::vector<SimInfoNode>& InfoNodes() const { return nodes_; }
    // The first node of `type` at or after `address`.
    const SimInfoNode* FindInfoNode(uint32_t address, uint8_t type) const;

    // --- firmware ---
    std::array<SimInstance, 3>& Instances() { return instances_; }
    const std::array<SimInstance, 3>& Instances() const { return instances_; }
    bool Running() const { return running_; }
    void SetRunning(bool running) { running_ = running; }
    // A stop request is answered as done while the firmware keeps running.
    bool StopIgnored() const { return stopIgnored_; }
    void SetStopIgnored(bool ignored) { stopIgnored_ = ignored; }
    bool ControllerError() const { return controllerError_; }
    void SetControllerError(bool error) { controllerError_ = error; }
    // While the clock is before this time the status shows "starting".
    void SetStartingUntil(int64_t timeMs) { startingUntil_ = timeMs; }
    int64_t StartingUntil() const { return startingUntil_; }
    int64_t StartDelayMs() const { return startDelayMs_; }
    void SetStartDelayMs(int64_t ms) { startDelayMs_ = ms; }
    // Status word: bit 15 online, 14 running, 13 controller error, 10 starting,
    // 3..5 instances present, 0..2 instances running.
    uint16_t StatusWord(int64_t nowMs) const;

    // --- login: the master that holds the drive, if any ---
    const std::optional<std::string>& Owner() const { return owner_; }
    void SetOwner(std::optional<std::string> master) { owner_ = std::move(master); }
    bool RequireLogin() const { return requireLogin_; }
    void SetRequireLogin(bool require) { requireLogin_ = require; }
    const SimBytes& LastLoginPassword() const { return lastLoginPassword_; }
    void SetLastLoginPassword(SimBytes pw) { lastLoginPassword_ = std::move(pw); }

    // --- statuses of refused requests ---
    SimStatusCodes& Codes() { return codes_; }
    const SimStatusCodes& Codes() const { return codes_; }

    // --- events ---
    void Record(std::string name, int64_t timeMs, uint32_t arg = 0);
    const std::vector<SimEvent>& Events() const { return events_; }
    size_t EventCount(std::string_view name) const;

private:
    void PlaceReleaseText();
    void MovePasswords(uint8_t oldGeneration);

    SimIdentity identity_;
    std::vector<SimRegion> regions_;
    std::map<uint16_t, SimParameter> parameters_;
    std::map<SimUserLevel, SimBytes> passwords_;
    std::vector<SimInfoNode> nodes_;
    std::array<SimInstance, 3> instances_{};
    bool running_ = false;
    bool controllerError_ = false;
    bool stopIgnored_ = false;
    int64_t startingUntil_ = 0;
    int64_t startDelayMs_ = 0;
    std::optional<std::string> owner_;
    bool requireLogin_ = true;
    SimBytes lastLoginPassword_;
    SimStatusCodes codes_;
    bool flashOverwrite_ = false;
    std::vector<SimEvent> events_;
};

// Little-endian helpers used by the engine and the tests.
SimBytes SimLE(uint32_t value, size_t width);
uint32_t SimGetLE(std::string_view bytes, size_t offset, size_t width);
SimBytes SimHex(std::string_view hex); // "10 34 12 00" or "10341200" -> bytes
std::string SimToHex(std::string_view bytes); // bytes -> "10 34 12 00"

// How many bytes a 0x3x drive answers to a read of a string parameter.
inline constexpr size_t SimTextField3x = 64;
// A read moves a counting parameter on by its step.
void SimStepAfterRead(SimParameter& p);
// The drive's packed float (16-bit mantissa with its leading one in bit 15,
// signed exponent in bits 16-23, sign in bit 31), truncated toward zero.
uint32_t SimVelFloat(double value);

} // namespace vo
