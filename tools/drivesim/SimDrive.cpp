#include "tools/drivesim/SimDrive.h"

#include <cmath>

#include "platform/Exception.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace vo {

namespace {

constexpr size_t kReleaseTextSize = 32;
constexpr size_t kPasswordSize = 16;

std::string Hex32(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%X", v);
    return buf;
}

} // namespace

uint32_t SimVelFloat(double value) {
    if (value == 0 || !std::isfinite(value)) return 0;
    int x = 0;
    const double f = std::frexp(std::fabs(value), &x); // |value| = f * 2^x, f in [0.5, 1)
    const uint32_t mantissa = uint32_t(f * 65536.0) & 0xFFFF;
    const uint32_t exponent = uint32_t(uint8_t(int8_t(x - 1)));
    return (value < 0 ? 0x80000000u : 0) | (exponent << 16) | mantissa;
}

SimBytes SimLE(uint32_t value, size_t width) {
    SimBytes out;
    for (size_t i = 0; i < width; ++i)
        out.push_back(static_cast<char>(i < 4 ? (value >> (8 * i)) & 0xFF : 0));
    return out;
}

uint32_t SimGetLE(std::string_view bytes, size_t offset, size_t width) {
    uint32_t v = 0;
    for (size_t i = 0; i < width && i < 4; ++i)
        if (offset + i < bytes.size())
            v |= uint32_t(uint8_t(bytes[offset + i])) << (8 * i);
    return v;
}

SimBytes SimHex(std::string_view hex) {
    SimBytes out;
    int nibbles = 0;
    unsigned cur = 0;
    for (char c : hex) {
        if (std::isspace(static_cast<unsigned char>(c)) || c == ',' || c == ':')
            continue;
        int v;
        if (c >= '0' && c <= '9')
            v = c - '0';
        else if (c >= 'a' && c <= 'f')
            v = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            v = c - 'A' + 10;
        else
            throw Exception(std::string("SimHex: not a hexadecimal digit: '") + c + "'");
        cur = cur * 16 + unsigned(v);
        if (++nibbles == 2) {
            out.push_back(static_cast<char>(cur));
            cur = 0;
            nibbles = 0;
        }
    }
    if (nibbles != 0)
        throw Exception("SimHex: odd number of hexadecimal digits");
    return out;
}

std::string SimToHex(std::string_view bytes) {
    static const char* digits = "0123456789ABCDEF";
    std::string out;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i) out.push_back(' ');
        uint8_t b = uint8_t(bytes[i]);
        out.push_back(digits[b >> 4]);
        out.push_back(digits[b & 15]);
    }
    return out;
}

SimDrive::SimDrive(SimIdentity identity) {
    SetIdentity(identity);
}

void SimDrive::SetIdentity(const SimIdentity& identity) {
    uint8_t oldGeneration = Generation();
    identity_ = identity;
    for (auto& r : regions_) // keep the memory in step with a changed word width
        r.bytes.resize(size_t(r.size) * BytesPerAddress(), r.kind == SimRegionKind::Flash ? '\xFF' : '\0');
    if (identity_.deviceString.size() > 16) identity_.deviceString.resize(16);
    if (identity_.releaseText.size() > kReleaseTextSize) identity_.releaseText.resize(kReleaseTextSize);
    MovePasswords(oldGeneration);
    PlaceReleaseText();
}

uint8_t SimDrive::Generation() const {
    uint8_t hi = identity_.protocolVersion >> 4;
    if (hi == 0) return 2; // the oldest drives (0x02) speak the 0x2x table
    return hi;
}

uint32_t SimDrive::BytesPerAddress() const {
    if (identity_.addrIncrement == 0 || identity_.dataFieldSize == 0) return 1;
    uint32_t bpa = identity_.dataFieldSize / identity_.addrIncrement;
    return bpa == 0 ? 1 : bpa;
}

uint32_t SimDrive::AddressMask() const {
    return identity_.addrFieldSize >= 4 ? 0xFFFFFFFFu : ((1u << (8 * identity_.addrFieldSize)) - 1);
}

uint32_t SimDrive::ReleaseTextAddress() const {
    uint32_t addr;
    switch (identity_.protocolVersion >> 4) {
    case 3: addr = 0xA2001F48u; break;
    case 4: addr = 0x300830u; break;
    default: addr = 0x200748u; break;
    }
    return addr & AddressMask();
}

void SimDrive::Validate() const {
    const auto& id = identity_;
    if (id.addrFieldSize < 3 || id.addrFieldSize > 4)
        throw Exception("SimDrive.Validate: address field size must be 3 or 4");
    if (id.dataFieldSize == 0 || id.dataFieldSize > 4)
        throw Exception("SimDrive.Validate: data field size must be 1 to 4");
    if (id.addrIncrement == 0 || id.dataFieldSize % id.addrIncrement != 0)
        throw Exception("SimDrive.Validate: the data field size must be a multiple of the address increment");
    // The login answer itself must fit into the buffer.
    if (id.maxBufferSize < 2 + 5 + 8 + id.addrFieldSize + 16)
        throw Exception("SimDrive.Validate: maximum buffer size too small for the login answer");
}

// ---------------------------------------------------------------- memory

SimRegion& SimDrive::AddRegion(std::string name, SimRegionKind kind, uint32_t base, uint32_t size,
                               uint32_t sectorSize) {
    if (size == 0)
        throw Exception("SimDrive.AddRegion: region " + name + " is empty");
    uint64_t end = uint64_t(base) + size;
    if (end - 1 > AddressMask())
        throw Exception("SimDrive.AddRegion: region " + name + " does not fit the address field");
    // The drive's own release-text region gives way to a described one.
    regions_.erase(std::remove_if(regions_.begin(), regions_.end(),
                                  [&](const SimRegion& r) { return r.synthetic && base < r.End() && r.base < end; }),
                   regions_.end());
    for (const auto& r : regions_) {
        if (base < r.End() && r.base < end)
            throw Exception("SimDrive.AddRegion: region " + name + " overlaps region " + r.name);
    }
    SimRegion r;
    r.name = std::move(name);
    r.kind = kind;
    r.base = base;
    r.size = size;
    r.sectorSize = sectorSize;
    r.bytes.assign(size_t(size) * BytesPerAddress(), kind == SimRegionKind::Flash ? '\xFF' : '\0');
    regions_.push_back(std::move(r));
    PlaceReleaseText();
    return *FindRegion(base);
}

SimRegion* SimDrive::FindRegion(uint32_t address) {
    return const_cast<SimRegion*>(static_cast<const SimDrive*>(this)->FindRegion(address));
}

const SimRegion* SimDrive::FindRegion(uint32_t address) const {
    for (const auto& r : regions_)
        if (address >= r.base && address < r.End()) return &r;
    return nullptr;
}

SimRegion* SimDrive::RegionFor(uint32_t address, size_t count) {
    SimRegion* r = FindRegion(address);
    if (!r) return nullptr;
    uint64_t offset = uint64_t(address - r->base) * BytesPerAddress();
    if (offset + count > r->bytes.size()) return nullptr;
    return r;
}

SimBytes SimDrive::Peek(uint32_t address, size_t count) const {
    const SimRegion* r = FindRegion(address);
    uint64_t offset = r ? uint64_t(address - r->base) * BytesPerAddress() : 0;
    if (!r || offset + count > r->bytes.size())
        throw Exception("SimDrive.Peek: " + std::to_string(count) + " bytes at " + Hex32(address) +
                        " are outside memory");
    return r->bytes.substr(size_t(offset), count);
}

void SimDrive::Poke(uint32_t address, std::string_view bytes) {
    SimRegion* r = RegionFor(address, bytes.size());
    if (!r)
        throw Exception("SimDrive.Poke: " + std::to_string(bytes.size()) + " bytes at " + Hex32(address) +
                        " are outside memory");
    size_t offset = size_t(address - r->base) * BytesPerAddress();
    std::copy(bytes.begin(), bytes.end(), r->bytes.begin() + std::ptrdiff_t(offset));
}

bool SimDrive::IsErased(uint32_t address, size_t count) const {
    SimBytes b = Peek(address, count);
    return std::all_of(b.begin(), b.end(), [](char c) { return uint8_t(c) == 0xFF; });
}

void SimDrive::PlaceReleaseText() {
    // The release text lives in memory at the generation's address. A drive
    // description that has no memory there gets a small region of its own.
    uint32_t addr = ReleaseTextAddress();
    uint32_t bpa = BytesPerAddress();
    uint32_t addresses = uint32_t((kReleaseTextSize + bpa - 1) / bpa);
    SimBytes text = identity_.releaseText;
    text.resize(kReleaseTextSize, '\0');

    // Drop an earlier own region that no longer sits at the right place.
    regions_.erase(std::remove_if(regions_.begin(), regions_.end(),
                                  [&](const SimRegion& r) {
                                      return r.synthetic && (r.base != addr || r.size != addresses);
                                  }),
                   regions_.end());
    if (RegionFor(addr, kReleaseTextSize)) {
        Poke(addr, text);
        return;
    }
    if (FindRegion(addr)) return; // a region ends within the text: leave it, reads fail there
    uint64_t end = uint64_t(addr) + addresses;
    for (const auto& r : regions_)
        if (addr < r.End() && r.base < end) return;
    SimRegion r;
    r.name = "release";
    r.synthetic = true;
    r.kind = SimRegionKind::Ram;
    r.base = addr;
    r.size = addresses;
    r.bytes.assign(size_t(addresses) * bpa, '\0');
    std::copy(text.begin(), text.end(), r.bytes.begin());
    regions_.push_back(std::move(r));
}

// ---------------------------------------------------------------- parameters

SimParameter& SimDrive::SetParameter(uint16_t upid, uint8_t size, std::string_view value, bool writable) {
    if (value.size() > size)
        throw Exception("SimDrive.SetParameter: value of UPID " + Hex32(upid) + " longer than its size");
    SimParameter p;
    p.upid = upid;
    p.size = size;
    p.ram = SimBytes(value);
    p.ram.resize(size, '\0');
    p.rom = p.ram;
    p.writable = writable;
    return parameters_[upid] = std::move(p);
}

SimParameter* SimDrive::FindParameter(uint16_t upid) {
    auto it = parameters_.find(upid);
    return it == parameters_.end() ? nullptr : &it->second;
}

const SimParameter* SimDrive::FindParameter(uint16_t upid) const {
    auto it = parameters_.find(upid);
    return it == parameters_.end() ? nullptr : &it->second;
}

std::optional<uint16_t> SimDrive::PasswordUpid(uint8_t generation, SimUserLevel level) {
    bool gen4 = generation == 4;
    switch (level) {
    case SimUserLevel::User: return gen4 ? uint16_t(0x7044) : uint16_t(0x0CC0);
    case SimUserLevel::Service: return gen4 ? uint16_t(0x7048) : uint16_t(0x0CC5);
    default: return std::nullopt;
    }
}

void SimDrive::SetPassword(SimUserLevel level, std::string_view password) {
    SimBytes pw(password.substr(0, kPasswordSize));
    passwords_[level] = pw;
    if (auto upid = PasswordUpid(Generation(), level))
        SetParameter(*upid, kPasswordSize, pw, true);
}

SimBytes SimDrive::Password(SimUserLevel level) const {
    auto it = passwords_.find(level);
    return it == passwords_.end() ? SimBytes() : it->second;
}

void SimDrive::MovePasswords(uint8_t oldGeneration) {
    uint8_t newGeneration = Generation();
    if (oldGeneration == newGeneration) return;
    for (auto& [level, pw] : passwords_) {
        if (auto old = PasswordUpid(oldGeneration, level)) parameters_.erase(*old);
    }
    for (auto& [level, pw] : passwords_) {
        if (auto upid = PasswordUpid(newGeneration, level)) SetParameter(*upid, kPasswordSize, pw, true);
    }
}

// ---------------------------------------------------------------- info nodes

void SimDrive::AddInfoNode(uint32_t address, uint8_t type, std::string_view bytes,
                           std::optional<uint16_t> announcedSize) {
    if (bytes.size() > 0xFFFF)
        throw Exception("SimDrive.AddInfoNode: node too large");
    Poke(address, bytes);
    nodes_.push_back(SimInfoNode{address, type, announcedSize.value_or(uint16_t(bytes.size()))});
    std::stable_sort(nodes_.begin(), nodes_.end(),
                     [](const SimInfoNode& a, const SimInfoNode& b) { return a.address < b.address; });
}

const SimInfoNode* SimDrive::FindInfoNode(uint32_t address, uint8_t type) const {
    for (const auto& n : nodes_)
        if (n.address >= address && n.type == type) return &n;
    return nullptr;
}

// ---------------------------------------------------------------- firmware

uint16_t SimDrive::StatusWord(int64_t nowMs) const {
    uint16_t w = 0x8000;
    bool starting = nowMs < startingUntil_;
    if (running_ && !starting) w |= 0x4000;
    if (controllerError_) w |= 0x2000;
    if (starting) w |= 0x0400;
    for (int i = 0; i < 3; ++i) {
        if (instances_[size_t(i)].present) {
            w |= uint16_t(0x08 << i);
            if (running_ && !starting) w |= uint16_t(1 << i);
        }
    }
    return w;
}

// ---------------------------------------------------------------- events

void SimDrive::Record(std::string name, int64_t timeMs, uint32_t arg) {
    events_.push_back(SimEvent{std::move(name), timeMs, arg});
}

size_t SimDrive::EventCount(std::string_view name) const {
    return size_t(std::count_if(events_.begin(), events_.end(),
                                [&](const SimEvent& e) { return e.name == name; }));
}

} // namespace vo
