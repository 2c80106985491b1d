#include "tools/drivesim/SimProtocol.h"

#include <algorithm>

namespace vo {

namespace {

uint8_t Byte(std::string_view s, size_t i) { return uint8_t(s[i]); }

} // namespace

SimProtocol::SimProtocol(SimDrive drive) : drive_(std::move(drive)) {}

SimBytes SimProtocol::Reply(uint8_t command, uint8_t status, std::string_view data) {
    SimBytes out;
    out.reserve(2 + data.size());
    out.push_back(char(command));
    out.push_back(char(status));
    out.append(data);
    return out;
}

void SimProtocol::SetHandler(uint8_t command, Handler handler, Access access) {
    handlers_[command] = Entry{std::move(handler), access};
}

void SimProtocol::RemoveHandler(uint8_t command) { handlers_.erase(command); }

std::optional<SimAnswer> SimProtocol::Answer(std::string_view frame, const SimContext& ctx) {
    if (frame.empty()) return std::nullopt;
    const uint8_t cmd = Byte(frame, 0);
    const auto& codes = drive_.Codes();
    const size_t maxBuf = drive_.Identity().maxBufferSize;

    auto custom = handlers_.find(cmd);
    // Login, and discovery or blink (0x05), reach the drive whoever holds it.
    bool open = custom != handlers_.end() ? custom->second.access == Access::Anyone : (cmd == 0x01 || cmd == 0x05);

    SimBytes reply;
    if (frame.size() > maxBuf) {
        reply = Reply(cmd, codes.badRequest);
    } else if (!open && drive_.Owner() && *drive_.Owner() != ctx.master) {
        reply = Reply(cmd, codes.anotherMaster);
    } else if (!open && cmd != 0x02 && !drive_.Owner() && drive_.RequireLogin()) {
        reply = Reply(cmd, codes.notLoggedIn);
    } else if (custom != handlers_.end()) {
        reply = custom->second.handler(drive_, ctx, frame);
        if (reply.empty()) return std::nullopt;
    } else {
        reply = Dispatch(cmd, frame, ctx);
        if (reply.empty()) return std::nullopt;
    }
    // The drive never sends more than its buffer holds (the discovery answer
    // is no telegram answer and has its own fixed size).
    bool discovery = cmd == 0x05 && custom == handlers_.end() && reply.size() > 2;
    if (reply.size() > maxBuf && !discovery) reply = Reply(cmd, codes.badRequest);

    return SimAnswer{std::move(reply), DelayOf(cmd)};
}

SimBytes SimProtocol::Dispatch(uint8_t cmd, std::string_view req, const SimContext& ctx) {
    switch (cmd) {
    case 0x01: return Login(req, ctx);
    case 0x02: return Logout(req, ctx);
    case 0x03: return Status(req, ctx);
    case 0x05: return Blink(req, ctx);
    case 0x10: return GetWord(req);
    case 0x11: return SetWord(req, false);
    case 0x12: return SetWord(req, true);
    case 0x13: return MaskWord(req);
    case 0x15: return GetParBlock(req);
    case 0x16: return SetParBlock(req);
    case 0x20: return Start(req, ctx);
    case 0x21: return Stop(req, ctx);
    case 0x22: return Reset(req, ctx);
    case 0x23: return EraseSector(req, ctx);
    case 0x25: return FindInfo(req);
    case 0x26: return FirstEmpty(req);
    case 0x27: return EraseAll(req, ctx);
    case 0x30: return GetBlock(req, false);
    case 0x31: return SetBlock(req, false);
    case 0x32: return SetBlock(req, true);
    case 0x33: return CopyToFlash(req);
    case 0x34: return GetString(req);
    case 0x35: return SetString(req);
    case 0x36: return GetBlock(req, true);
    case 0x37: return SetBlock(req, true); // the drive decrypts; the simulator stores the bytes as sent
    case 0x88: return GetPar(req, ctx);
    case 0x89: return SetPar(req, ctx);
    case 0x90:
    case 0x94: return SubCommand(cmd, req, ctx);
    default: return Reply(cmd, drive_.Codes().unknownCommand);
    }
}

// ---------------------------------------------------------------- memory access

uint8_t SimProtocol::ReadMemory(uint32_t address, size_t count, bool flashOnly, SimBytes& out) {
    SimRegion* r = drive_.RegionFor(address, count);
    if (!r || (flashOnly && r->kind != SimRegionKind::Flash)) return drive_.Codes().addressError;
    out = drive_.Peek(address, count);
    return 0;
}

uint8_t SimProtocol::WriteMemory(uint32_t address, std::string_view data, bool flash) {
    SimRegion* r = drive_.RegionFor(address, data.size());
    if (!r) return drive_.Codes().addressError;
    if (flash) {
        if (r->kind != SimRegionKind::Flash) return drive_.Codes().addressError;
        if (!drive_.FlashOverwrite() && !drive_.IsErased(address, data.size())) return drive_.Codes().flashNotErased;
    } else if (r->kind != SimRegionKind::Ram) {
        return drive_.Codes().addressError;
    }
    drive_.Poke(address, data);
    return 0;
}

// ---------------------------------------------------------------- commands

SimBytes SimProtocol::Login(std::string_view req, const SimContext& ctx) {
    const auto& codes = drive_.Codes();
    if (req.size() > 1 + 16) return Reply(0x01, codes.badRequest);
    if (drive_.Owner() && *drive_.Owner() != ctx.master) return Reply(0x01, codes.anotherMaster);
    drive_.SetOwner(ctx.master);
    drive_.SetLastLoginPassword(SimBytes(req.substr(1)));
    drive_.Record("login", ctx.nowMs);

    const auto& id = drive_.Identity();
    SimBytes data;
    data.push_back(char(id.protocolVersion));
    data.push_back(char(id.addrFieldSize));
    data.push_back(char(id.dataFieldSize));
    data.push_back(char(id.addrIncrement));
    data.push_back(char(id.maxBufferSize));
    data += SimLE(id.processorType, 2);
    data += SimLE(id.deviceType, 2);
    data += SimLE(id.deviceVersion, 2);
    data += SimLE(id.flashType, 2);
    data += SimLE(id.flashBaseAddr, id.addrFieldSize);
    SimBytes name = id.deviceString;
    name.resize(16, '\0');
    data += name;
    return Reply(0x01, 0, data);
}

SimBytes SimProtocol::Logout(std::string_view req, const SimContext& ctx) {
    if (req.size() != 1) return Reply(0x02, drive_.Codes().badRequest);
    if (drive_.Owner()) {
        drive_.SetOwner(std::nullopt);
        drive_.Record("logout", ctx.nowMs);
    }
    return Reply(0x02, 0);
}

SimBytes SimProtocol::Status(std::string_view req, const SimContext& ctx) {
    if (req.size() != 2) return Reply(0x03, drive_.Codes().badRequest);
    const auto& id = drive_.Identity();
    SimBytes data = SimLE(drive_.StatusWord(ctx.nowMs), 2);
    data += SimLE(id.serNbrLow, 2);
    data += SimLE(id.serNbrHigh, 2);
    data += SimLE(id.partNbr, 2);
    return Reply(0x03, 0, data);
}

SimBytes SimProtocol::Blink(std::string_view req, const SimContext& ctx) {
    // 05, group (2 bytes), 01 = blink, 00 = discovery. Other lengths blink too
    // (the blink telegram is a free custom frame).
    if (req.size() == 4 && Byte(req, 3) == 0x00) return Discover(req, ctx);
    drive_.Record("blink", ctx.nowMs);
    return Reply(0x05, 0);
}

SimBytes SimProtocol::Discover(std::string_view req, const SimContext& ctx) {
    const auto& id = drive_.Identity();
    uint16_t group = uint16_t(SimGetLE(req, 1, 2));
    if (group != 0xFFFF && group != id.group) return {}; // not addressed: silent
    bool taken = drive_.Owner() && *drive_.Owner() != ctx.master;
    SimBytes name;
    if (const SimParameter* p = drive_.FindParameter(0x7070))
        name = p->ram;
    else if (const SimParameter* p = drive_.FindParameter(0x03E8))
        name = p->ram;
    else
        name = id.deviceString;
    name.resize(32, '\0');
    SimBytes release = id.releaseText;
    release.resize(32, '\0');
    SimBytes typeText = id.deviceString;
    typeText.resize(16, '\0');

    SimBytes out;
    out.push_back(char(0x05));
    out.push_back(char(taken ? drive_.Codes().anotherMaster : 0x00));
    out.push_back('1');
    out += SimLE(id.group, 2);
    out += name;
    out += SimLE(uint32_t(id.macId), 4) + SimLE(uint32_t(id.macId >> 32), 2);
    out += release;
    out += SimLE(drive_.StatusWord(ctx.nowMs), 2);
    out += SimLE(id.deviceType, 2);
    out += typeText;
    drive_.Record("discover", ctx.nowMs);
    return out;
}

SimBytes SimProtocol::GetWord(std::string_view req) {
    if (req.size() != 1 + A()) return Reply(0x10, drive_.Codes().badRequest);
    SimBytes data;
    uint8_t st = ReadMemory(SimGetLE(req, 1, A()), D(), false, data);
    return Reply(0x10, st, data);
}

SimBytes SimProtocol::SetWord(std::string_view req, bool flash) {
    uint8_t cmd = Byte(req, 0);
    if (req.size() != 1 + A() + D()) return Reply(cmd, drive_.Codes().badRequest);
    return Reply(cmd, WriteMemory(SimGetLE(req, 1, A()), req.substr(1 + A(), D()), flash));
}

SimBytes SimProtocol::MaskWord(std::string_view req) {
    if (req.size() != 1 + A() + 2 * D()) return Reply(0x13, drive_.Codes().badRequest);
    uint32_t addr = SimGetLE(req, 1, A());
    std::string_view mask = req.substr(1 + A(), D());
    std::string_view value = req.substr(1 + A() + D(), D());
    SimBytes old;
    if (uint8_t st = ReadMemory(addr, D(), false, old)) return Reply(0x13, st);
    for (size_t i = 0; i < D(); ++i)
        old[i] = char((uint8_t(old[i]) & ~uint8_t(mask[i])) | (uint8_t(value[i]) & uint8_t(mask[i])));
    return Reply(0x13, WriteMemory(addr, old, false));
}

SimBytes SimProtocol::Start(std::string_view req, const SimContext& ctx) {
    const auto& codes = drive_.Codes();
    bool withAddress = req.size() == 1 + A();
    if (req.size() != 1 && !withAddress) return Reply(0x20, codes.badRequest);
    const auto& inst = drive_.Instances();
    bool present = std::any_of(inst.begin(), inst.end(), [](const SimInstance& i) { return i.present; });
    if (!withAddress && !present) return Reply(0x20, codes.noFirmware);
    drive_.SetRunning(true);
    drive_.SetStartingUntil(ctx.nowMs + drive_.StartDelayMs());
    drive_.Record("start", ctx.nowMs, withAddress ? SimGetLE(req, 1, A()) : 0);
    return Reply(0x20, 0);
}

SimBytes SimProtocol::Stop(std::string_view req, const SimContext& ctx) {
    if (req.size() != 1) return Reply(0x21, drive_.Codes().badRequest);
    drive_.SetRunning(false);
    drive_.SetStartingUntil(0);
    drive_.Record("stop", ctx.nowMs);
    return Reply(0x21, 0);
}

SimBytes SimProtocol::Reset(std::string_view req, const SimContext& ctx) {
    if (req.size() != 1 && req.size() != 2) return Reply(0x22, drive_.Codes().badRequest);
    drive_.SetRunning(false);
    drive_.SetStartingUntil(0);
    if (req.size() == 1)
        drive_.Record("reset", ctx.nowMs);
    else
        drive_.Record("reboot", ctx.nowMs, Byte(req, 1));
    return Reply(0x22, 0);
}

SimBytes SimProtocol::EraseSector(std::string_view req, const SimContext& ctx) {
    const auto& codes = drive_.Codes();
    if (req.size() != 1 + A()) return Reply(0x23, codes.badRequest);
    uint32_t addr = SimGetLE(req, 1, A());
    SimRegion* r = drive_.FindRegion(addr);
    if (!r || r->kind != SimRegionKind::Flash) return Reply(0x23, codes.addressError);
    uint32_t sector = r->sectorSize ? r->sectorSize : r->size;
    uint32_t first = r->base + (addr - r->base) / sector * sector;
    uint32_t count = std::min(sector, r->End() - first);
    size_t bpa = drive_.BytesPerAddress();
    std::fill_n(r->bytes.begin() + std::ptrdiff_t(size_t(first - r->base) * bpa), size_t(count) * bpa, '\xFF');
    drive_.Record("erase sector", ctx.nowMs, first);
    return Reply(0x23, 0);
}

SimBytes SimProtocol::FindInfo(std::string_view req) {
    const auto& codes = drive_.Codes();
    if (req.size() != 1 + A() + 1) return Reply(0x25, codes.badRequest);
    const SimInfoNode* n = drive_.FindInfoNode(SimGetLE(req, 1, A()), Byte(req, 1 + A()));
    if (!n) return Reply(0x25, codes.noMoreNodes);
    SimBytes data = SimLE(n->address, A());
    data.push_back(char(n->type));
    data += SimLE(n->size, 2);
    return Reply(0x25, 0, data);
}

SimBytes SimProtocol::FirstEmpty(std::string_view req) {
    // The lowest address from which the flash is erased up to the end address
    // (exclusive); the end address itself when the last word is in use.
    const auto& codes = drive_.Codes();
    if (req.size() != 1 + 2 * A()) return Reply(0x26, codes.badRequest);
    uint32_t start = SimGetLE(req, 1, A());
    uint32_t end = SimGetLE(req, 1 + A(), A());
    if (end <= start) return Reply(0x26, codes.badRequest);
    SimRegion* r = drive_.FindRegion(start);
    if (!r || r->kind != SimRegionKind::Flash || end > r->End()) return Reply(0x26, codes.addressError);
    size_t bpa = drive_.BytesPerAddress();
    uint32_t a = end;
    while (a > start && drive_.IsErased(a - 1, bpa)) --a;
    return Reply(0x26, 0, SimLE(a, A()));
}

SimBytes SimProtocol::EraseAll(std::string_view req, const SimContext& ctx) {
    if (req.size() != 1) return Reply(0x27, drive_.Codes().badRequest);
    for (const auto& region : drive_.Regions()) {
        if (region.kind != SimRegionKind::Flash) continue;
        SimRegion* r = drive_.FindRegion(region.base);
        std::fill(r->bytes.begin(), r->bytes.end(), '\xFF');
    }
    drive_.Record("erase all", ctx.nowMs);
    return Reply(0x27, 0);
}

SimBytes SimProtocol::GetBlock(std::string_view req, bool flashOnly) {
    uint8_t cmd = Byte(req, 0);
    if (req.size() != 1 + A() + 1) return Reply(cmd, drive_.Codes().badRequest);
    size_t count = Byte(req, 1 + A());
    if (2 + count > drive_.Identity().maxBufferSize) return Reply(cmd, drive_.Codes().badRequest);
    SimBytes data;
    uint8_t st = ReadMemory(SimGetLE(req, 1, A()), count, flashOnly, data);
    return Reply(cmd, st, data);
}

SimBytes SimProtocol::SetBlock(std::string_view req, bool flash) {
    uint8_t cmd = Byte(req, 0);
    if (req.size() < 1 + A()) return Reply(cmd, drive_.Codes().badRequest);
    return Reply(cmd, WriteMemory(SimGetLE(req, 1, A()), req.substr(1 + A()), flash));
}

SimBytes SimProtocol::CopyToFlash(std::string_view req) {
    const auto& codes = drive_.Codes();
    if (req.size() != 1 + 2 * A() + 2) return Reply(0x33, codes.badRequest);
    uint32_t ram = SimGetLE(req, 1, A());
    uint32_t flash = SimGetLE(req, 1 + A(), A());
    size_t count = SimGetLE(req, 1 + 2 * A(), 2);
    SimRegion* src = drive_.RegionFor(ram, count);
    if (!src || src->kind != SimRegionKind::Ram) return Reply(0x33, codes.addressError);
    return Reply(0x33, WriteMemory(flash, drive_.Peek(ram, count), true));
}

SimBytes SimProtocol::GetString(std::string_view req) {
    const auto& codes = drive_.Codes();
    if (req.size() != 1 + A() + 2 || Byte(req, 1 + A()) != 0) return Reply(0x34, codes.badRequest);
    size_t count = Byte(req, 2 + A());
    if (2 + count > drive_.Identity().maxBufferSize) return Reply(0x34, codes.badRequest);
    SimBytes data;
    uint8_t st = ReadMemory(SimGetLE(req, 1, A()), count, false, data);
    return Reply(0x34, st, data);
}

SimBytes SimProtocol::SetString(std::string_view req) {
    // Address, the text, a terminating 0x00; the terminator is stored too.
    const auto& codes = drive_.Codes();
    if (req.size() < 1 + A() + 1 || req.back() != '\0') return Reply(0x35, codes.badRequest);
    return Reply(0x35, WriteMemory(SimGetLE(req, 1, A()), req.substr(1 + A()), false));
}

// ---------------------------------------------------------------- parameters

uint8_t SimProtocol::WriteParameter(uint8_t sub, uint16_t upid, std::string_view value) {
    const auto& codes = drive_.Codes();
    if (sub > 2) return codes.unknownCommand;
    SimParameter* p = drive_.FindParameter(upid);
    if (!p) return codes.unknownUpid;
    if (!p->writable) return codes.readOnly;
    if ((sub != 1 && !p->romWritable) || (sub != 0 && !p->ramWritable)) return codes.readOnly;
    if (drive_.Running() && !p->live) return codes.notLive;
    if (value.size() > p->size) return codes.badRequest;
    SimBytes v(value);
    v.resize(p->size, '\0');
    if (sub == 0 || sub == 2) p->rom = v;
    if (sub == 1 || sub == 2) p->ram = v;
    return 0;
}

SimBytes SimProtocol::GetPar(std::string_view req, const SimContext& ctx) {
    const auto& codes = drive_.Codes();
    if (req.size() < 2) return Reply(0x88, codes.badRequest);
    uint8_t sub = Byte(req, 1);
    if (sub == 0x10) { // tree name of a firmware instance
        if (req.size() != 3 || Byte(req, 2) > 2) return Reply(0x88, codes.badRequest);
        SimBytes name = drive_.Instances()[Byte(req, 2)].treeName;
        if (name.size() > 250) name.resize(250);
        return Reply(0x88, 0, SimBytes(1, char(name.size())) + name);
    }
    if (sub > 1) return Reply(0x88, codes.unknownCommand);
    if (req.size() != 4) return Reply(0x88, codes.badRequest);
    const SimParameter* p = drive_.FindParameter(uint16_t(SimGetLE(req, 2, 2)));
    if (!p) return Reply(0x88, codes.unknownUpid);
    return Reply(0x88, 0, sub == 0 ? p->rom : p->ram);
}

SimBytes SimProtocol::SetPar(std::string_view req, const SimContext& ctx) {
    const auto& codes = drive_.Codes();
    if (req.size() < 2) return Reply(0x89, codes.badRequest);
    uint8_t sub = Byte(req, 1);
    switch (sub) {
    case 0x00:
    case 0x01:
    case 0x02:
        if (req.size() < 4) return Reply(0x89, codes.badRequest);
        return Reply(0x89, WriteParameter(sub, uint16_t(SimGetLE(req, 2, 2)), req.substr(4)));
    case 0x06:
    case 0x07:
    case 0x08:
    case 0x09: {
        static const char* names[] = {"clear instance parameters", "update upid list",
                                      "set instance defaults", "clear instance"};
        if (req.size() != 3 || Byte(req, 2) > 2) return Reply(0x89, codes.badRequest);
        drive_.Record(names[sub - 6], ctx.nowMs, Byte(req, 2));
        return Reply(0x89, 0, SimBytes(1, '\0'));
    }
    case 0x0A:
        if (req.size() != 2) return Reply(0x89, codes.badRequest);
        drive_.Record("erase memory", ctx.nowMs);
        return Reply(0x89, 0, SimBytes(1, '\0'));
    default:
        return Reply(0x89, codes.unknownCommand);
    }
}

SimBytes SimProtocol::GetParBlock(std::string_view req) {
    // Sub-command, UPID, and optionally the number of bytes wanted; the value
    // is cut or padded with zero bytes to that number.
    const auto& codes = drive_.Codes();
    if (drive_.Generation() != 4) return Reply(0x15, codes.unknownCommand);
    if (req.size() != 4 && req.size() != 5) return Reply(0x15, codes.badRequest);
    uint8_t sub = Byte(req, 1);
    if (sub > 1) return Reply(0x15, codes.unknownCommand);
    const SimParameter* p = drive_.FindParameter(uint16_t(SimGetLE(req, 2, 2)));
    if (!p) return Reply(0x15, codes.unknownUpid);
    SimBytes v = sub == 0 ? p->rom : p->ram;
    if (req.size() == 5) v.resize(Byte(req, 4), '\0');
    if (2 + v.size() > drive_.Identity().maxBufferSize) return Reply(0x15, codes.badRequest);
    return Reply(0x15, 0, v);
}

SimBytes SimProtocol::SetParBlock(std::string_view req) {
    const auto& codes = drive_.Codes();
    if (drive_.Generation() != 4) return Reply(0x16, codes.unknownCommand);
    if (req.size() < 4) return Reply(0x16, codes.badRequest);
    const uint16_t upid = uint16_t(SimGetLE(req, 2, 2));
    std::string_view value = req.substr(4);
    // A text as long as the value may still carry its terminating NUL.
    if (const SimParameter* p = drive_.FindParameter(upid); p && value.size() == p->size + 1u && value.back() == '\0')
        value.remove_suffix(1);
    return Reply(0x16, WriteParameter(Byte(req, 1), upid, value));
}

SimBytes SimProtocol::SubCommand(uint8_t cmd, std::string_view req, const SimContext& ctx) {
    const auto& codes = drive_.Codes();
    if (req.size() != 2) return Reply(cmd, codes.badRequest);
    uint8_t sub = Byte(req, 1);
    if (cmd == 0x90 && sub == 0x0D) {
        drive_.Record("curve save", ctx.nowMs);
        return Reply(cmd, 0, SimBytes(1, '\0'));
    }
    if (cmd == 0x94 && sub == 0x08) {
        drive_.Record("table save", ctx.nowMs);
        return Reply(cmd, 0, SimBytes(1, '\0'));
    }
    return Reply(cmd, codes.unknownCommand);
}

} // namespace vo
