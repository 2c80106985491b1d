#include "tools/drivesim/SimDriveFile.h"

#include "tools/drivesim/SimDescriptions.h"

#include "platform/Exception.h"

#include <bit>
#include <algorithm>
#include <cctype>
#include <charconv>
#include <fstream>
#include <sstream>

namespace vo {

namespace {

struct Line {
    int no = 0;
    std::string key;
    std::string value;
};

struct Section {
    int no = 0;
    std::string name;
    std::string arg;
    std::vector<Line> lines;
};

std::string Lower(std::string_view s) {
    std::string out(s);
    for (auto& c : out) c = char(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string Trim(std::string_view s) {
    size_t a = 0, b = s.size();
    while (a < b && std::isspace(static_cast<unsigned char>(s[a]))) ++a;
    while (b > a && std::isspace(static_cast<unsigned char>(s[b - 1]))) --b;
    return std::string(s.substr(a, b - a));
}

class Parser {
public:
    Parser(std::string_view text, std::string fileName) : file_(std::move(fileName)) { Split(text); }

    SimDriveDescription Build();

private:
    [[noreturn]] void Fail(int line, const std::string& msg) const {
        throw Exception("SimDriveFile: " + file_ + ":" + std::to_string(line) + ": " + msg);
    }

    void Split(std::string_view text);
    uint64_t Number(const Line& l, uint64_t max) const;
    bool Bool(const Line& l) const;
    SimBytes Bytes(const Line& l) const;
    uint64_t ArgNumber(const Section& s, uint64_t max) const;

    void Identity(const Section& s, SimIdentity& id, SimDrive& d);
    void Region(const Section& s, SimDrive& d);
    void Apply(const Section& s, SimDriveDescription& out);

    std::string file_;
    std::vector<Section> sections_;
};

void Parser::Split(std::string_view text) {
    int no = 0;
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        std::string_view raw = text.substr(pos, end - pos);
        pos = end + 1;
        ++no;
        // A '#' outside quotes starts a comment.
        bool quoted = false;
        size_t cut = raw.size();
        for (size_t i = 0; i < raw.size(); ++i) {
            if (raw[i] == '\\' && quoted) {
                ++i;
                continue;
            }
            if (raw[i] == '"') quoted = !quoted;
            if (raw[i] == '#' && !quoted) {
                cut = i;
                break;
            }
        }
        std::string line = Trim(raw.substr(0, cut));
        if (line.empty()) {
            if (end == text.size()) break;
            continue;
        }
        if (line.front() == '[') {
            if (line.back() != ']') Fail(no, "section header without ']'");
            std::string inner = Trim(std::string_view(line).substr(1, line.size() - 2));
            size_t sp = inner.find_first_of(" \t");
            Section s;
            s.no = no;
            s.name = Lower(inner.substr(0, sp));
            s.arg = sp == std::string::npos ? "" : Trim(std::string_view(inner).substr(sp));
            sections_.push_back(std::move(s));
        } else {
            size_t eq = line.find('=');
            if (eq == std::string::npos) Fail(no, "expected 'key = value'");
            if (sections_.empty()) Fail(no, "value outside a section");
            sections_.back().lines.push_back(
                Line{no, Lower(Trim(std::string_view(line).substr(0, eq))), Trim(std::string_view(line).substr(eq + 1))});
        }
        if (end == text.size()) break;
    }
}

uint64_t Parser::Number(const Line& l, uint64_t max) const {
    std::string_view v = l.value;
    int base = 10;
    if (v.size() > 2 && v[0] == '0' && (v[1] == 'x' || v[1] == 'X')) {
        v.remove_prefix(2);
        base = 16;
    }
    uint64_t n = 0;
    auto [p, ec] = std::from_chars(v.data(), v.data() + v.size(), n, base);
    if (v.empty() || ec != std::errc() || p != v.data() + v.size()) Fail(l.no, "'" + l.key + "' needs a number");
    if (n > max) Fail(l.no, "'" + l.key + "' out of range (at most " + std::to_string(max) + ")");
    return n;
}

bool Parser::Bool(const Line& l) const {
    std::string v = Lower(l.value);
    if (v == "yes" || v == "true" || v == "1") return true;
    if (v == "no" || v == "false" || v == "0") return false;
    Fail(l.no, "'" + l.key + "' needs yes or no");
}

SimBytes Parser::Bytes(const Line& l) const {
    const std::string& v = l.value;
    // "velfloat: 1000" and "float: 1.5": a 32-bit value in the drive's packed
    // float or in IEEE single precision, little-endian.
    for (const char* prefix : {"velfloat:", "float:"}) {
        const std::string p(prefix);
        if (Lower(v.substr(0, p.size())) != p) continue;
        double d = 0;
        try {
            size_t used = 0;
            const std::string number = v.substr(p.size());
            d = std::stod(number, &used);
            if (number.find_first_not_of(" \t", used) != std::string::npos) throw Exception("");
        } catch (...) {
            Fail(l.no, "'" + l.key + "' needs a number after " + p);
        }
        const uint32_t word = p == "velfloat:" ? SimVelFloat(d) : std::bit_cast<uint32_t>(float(d));
        return SimLE(word, 4);
    }
    if (Lower(v.substr(0, 4)) == "hex:") {
        try {
            return SimHex(std::string_view(v).substr(4));
        } catch (const Exception& e) {
            Fail(l.no, e.what());
        }
    }
    if (v.size() < 2 || v.front() != '"' || v.back() != '"') Fail(l.no, "'" + l.key + "' needs \"text\" or hex: bytes");
    std::string_view body = std::string_view(v).substr(1, v.size() - 2);
    SimBytes out;
    for (size_t i = 0; i < body.size(); ++i) {
        char c = body[i];
        if (c == '"') Fail(l.no, "unescaped '\"' inside a text");
        if (c != '\\') {
            out.push_back(c);
            continue;
        }
        if (i + 1 >= body.size()) Fail(l.no, "'\\' at the end of a text");
        char e = body[++i];
        if (e == '\\' || e == '"') {
            out.push_back(e);
        } else if (e == '0') {
            out.push_back('\0');
        } else if (e == 'x' && i + 2 < body.size() &&
                   std::isxdigit(static_cast<unsigned char>(body[i + 1])) &&
                   std::isxdigit(static_cast<unsigned char>(body[i + 2]))) {
            out += SimHex(body.substr(i + 1, 2));
            i += 2;
        } else {
            Fail(l.no, std::string("bad escape '\\") + e + "'");
        }
    }
    return out;
}

uint64_t Parser::ArgNumber(const Section& s, uint64_t max) const {
    Line l{s.no, s.name, s.arg};
    return Number(l, max);
}

void Parser::Identity(const Section& s, SimIdentity& id, SimDrive& d) {
    for (const auto& l : s.lines) {
        const auto& k = l.key;
        if (k == "protocol_version")
            id.protocolVersion = uint8_t(Number(l, 0xFF));
        else if (k == "address_size")
            id.addrFieldSize = uint8_t(Number(l, 0xFF));
        else if (k == "data_size")
            id.dataFieldSize = uint8_t(Number(l, 0xFF));
        else if (k == "address_increment")
            id.addrIncrement = uint8_t(Number(l, 0xFF));
        else if (k == "max_buffer_size")
            id.maxBufferSize = uint8_t(Number(l, 0xFF));
        else if (k == "processor_type")
            id.processorType = uint16_t(Number(l, 0xFFFF));
        else if (k == "device_type")
            id.deviceType = uint16_t(Number(l, 0xFFFF));
        else if (k == "device_version")
            id.deviceVersion = uint16_t(Number(l, 0xFFFF));
        else if (k == "flash_type")
            id.flashType = uint16_t(Number(l, 0xFFFF));
        else if (k == "flash_base")
            id.flashBaseAddr = uint32_t(Number(l, 0xFFFFFFFF));
        else if (k == "device_string") {
            id.deviceString = Bytes(l);
            if (id.deviceString.size() > 16) Fail(l.no, "device_string is longer than 16 bytes");
        } else if (k == "release_text") {
            id.releaseText = Bytes(l);
            if (id.releaseText.size() > 32) Fail(l.no, "release_text is longer than 32 bytes");
        } else if (k == "serial_low")
            id.serNbrLow = uint16_t(Number(l, 0xFFFF));
        else if (k == "serial_high")
            id.serNbrHigh = uint16_t(Number(l, 0xFFFF));
        else if (k == "part_number")
            id.partNbr = uint16_t(Number(l, 0xFFFF));
        else if (k == "group")
            id.group = uint16_t(Number(l, 0xFFFE));
        else if (k == "mac_id")
            id.macId = Number(l, 0xFFFFFFFFFFFFull);
        else if (k == "can_mac_id")
            id.canMacId = uint8_t(Number(l, 0xFF));
        else if (k == "start_delay_ms")
            d.SetStartDelayMs(int64_t(Number(l, 3600000)));
        else if (k == "require_login")
            d.SetRequireLogin(Bool(l));
        else if (k == "running")
            d.SetRunning(Bool(l));
        else if (k == "controller_error")
            d.SetControllerError(Bool(l));
        else if (k == "stop_ignored")
            d.SetStopIgnored(Bool(l));
        else
            Fail(l.no, "unknown key '" + k + "' in [identity]");
    }
}

void Parser::Region(const Section& s, SimDrive& d) {
    if (s.arg.empty()) Fail(s.no, "[region] needs a name");
    std::optional<SimRegionKind> kind;
    std::optional<uint32_t> base, size;
    uint32_t sector = 0;
    for (const auto& l : s.lines) {
        if (l.key == "kind") {
            std::string v = Lower(l.value);
            if (v == "ram")
                kind = SimRegionKind::Ram;
            else if (v == "flash")
                kind = SimRegionKind::Flash;
            else
                Fail(l.no, "kind is ram or flash");
        } else if (l.key == "base")
            base = uint32_t(Number(l, 0xFFFFFFFF));
        else if (l.key == "size")
            size = uint32_t(Number(l, 0x1000000));
        else if (l.key == "sector")
            sector = uint32_t(Number(l, 0xFFFFFFFF));
        else
            Fail(l.no, "unknown key '" + l.key + "' in [region]");
    }
    if (!kind || !base || !size) Fail(s.no, "[region " + s.arg + "] needs kind, base and size");
    try {
        d.AddRegion(s.arg, *kind, *base, *size, sector);
    } catch (const Exception& e) {
        Fail(s.no, e.what());
    }
}

void Parser::Apply(const Section& s, SimDriveDescription& out) {
    SimDrive& d = out.drive;
    auto guard = [&](int line, auto&& f) {
        try {
            f();
        } catch (const Exception& e) {
            Fail(line, e.what());
        }
    };
    if (s.name == "passwords") {
        for (const auto& l : s.lines) {
            SimBytes pw = Bytes(l);
            if (pw.size() > 16) Fail(l.no, "a password has at most 16 bytes");
            if (l.key == "user")
                d.SetPassword(SimUserLevel::User, pw);
            else if (l.key == "service")
                d.SetPassword(SimUserLevel::Service, pw);
            else
                Fail(l.no, "passwords are for USER and SERVICE");
        }
    } else if (s.name == "memory") {
        uint32_t addr = uint32_t(ArgNumber(s, 0xFFFFFFFF));
        SimBytes data;
        for (const auto& l : s.lines) {
            if (l.key != "data") Fail(l.no, "unknown key '" + l.key + "' in [memory]");
            data += Bytes(l);
        }
        guard(s.no, [&] { d.Poke(addr, data); });
    } else if (s.name == "parameter") {
        uint16_t upid = uint16_t(ArgNumber(s, 0xFFFF));
        std::optional<uint8_t> size;
        SimBytes value, rom;
        bool haveRom = false, writable = true;
        int64_t step = 0;
        for (const auto& l : s.lines) {
            if (l.key == "step") {
                try {
                    step = std::stoll(l.value, nullptr, 0);
                } catch (...) {
                    Fail(l.no, "'step' needs a number");
                }
            } else if (l.key == "size")
                size = uint8_t(Number(l, 250));
            else if (l.key == "value")
                value = Bytes(l);
            else if (l.key == "rom") {
                rom = Bytes(l);
                haveRom = true;
            } else if (l.key == "writable")
                writable = Bool(l);
            else
                Fail(l.no, "unknown key '" + l.key + "' in [parameter]");
        }
        if (!size) Fail(s.no, "[parameter] needs a size");
        guard(s.no, [&] {
            const SimParameter* described = d.FindParameter(upid);
            const bool text = described && described->text;
            SimParameter& p = d.SetParameter(upid, *size, value, writable);
            p.step = step;
            p.text = text;
            if (haveRom) {
                if (rom.size() > *size) throw Exception("rom value longer than the size");
                rom.resize(*size, '\0');
                p.rom = rom;
            }
        });
    } else if (s.name == "instance") {
        size_t i = size_t(ArgNumber(s, 2));
        for (const auto& l : s.lines) {
            if (l.key == "present")
                d.Instances()[i].present = Bool(l);
            else if (l.key == "tree_name")
                d.Instances()[i].treeName = Bytes(l);
            else
                Fail(l.no, "unknown key '" + l.key + "' in [instance]");
        }
    } else if (s.name == "node") {
        uint32_t addr = uint32_t(ArgNumber(s, 0xFFFFFFFF));
        std::optional<uint8_t> type;
        std::optional<uint16_t> announced;
        SimBytes raw;
        bool fieldsGiven = false;
        SimNodeFields f;
        auto text = [&](const Line& l) {
            fieldsGiven = true;
            return Bytes(l);
        };
        auto num = [&](const Line& l, uint64_t max) {
            fieldsGiven = true;
            return Number(l, max);
        };
        for (const auto& l : s.lines) {
            const auto& k = l.key;
            if (k == "type")
                type = uint8_t(Number(l, 0xFF));
            else if (k == "size")
                announced = uint16_t(Number(l, 0xFFFF));
            else if (k == "data")
                raw += Bytes(l);
            else if (k == "file_type")
                f.fileType = uint16_t(num(l, 0xFFFF));
            else if (k == "file_version")
                f.fileVersion = uint16_t(num(l, 0xFFFF));
            else if (k == "file_sub_type")
                f.fileSubType = uint16_t(num(l, 0xFFFF));
            else if (k == "name")
                f.name = text(l);
            else if (k == "start_address")
                f.startAddress = uint32_t(num(l, 0xFFFFFFFF));
            else if (k == "tree_sub_name")
                f.treeSubName = text(l);
            else if (k == "tree_version")
                f.treeVersion = uint16_t(num(l, 0xFFFF));
            else if (k == "tree_sub_version")
                f.treeSubVersion = uint16_t(num(l, 0xFFFF));
            else if (k == "beta_info")
                f.betaInfo = text(l);
            else if (k == "complete_name")
                f.completeName = text(l);
            else if (k == "file_info")
                f.fileInfo = text(l);
            else
                Fail(l.no, "unknown key '" + k + "' in [node]");
        }
        if (!type) Fail(s.no, "[node] needs a type");
        if (fieldsGiven && !raw.empty()) Fail(s.no, "[node] takes data or fields, not both");
        SimBytes bytes = fieldsGiven ? SimBuildInfoNode(f, d.Identity().protocolVersion, d.Identity().dataFieldSize)
                                     : raw;
        guard(s.no, [&] { d.AddInfoNode(addr, *type, bytes, announced); });
    } else if (s.name == "codes") {
        auto& c = d.Codes();
        for (const auto& l : s.lines) {
            uint8_t v = uint8_t(Number(l, 0xFF));
            const auto& k = l.key;
            if (k == "unknown_command")
                c.unknownCommand = v;
            else if (k == "bad_request")
                c.badRequest = v;
            else if (k == "address_error")
                c.addressError = v;
            else if (k == "flash_not_erased")
                c.flashNotErased = v;
            else if (k == "not_logged_in")
                c.notLoggedIn = v;
            else if (k == "no_firmware")
                c.noFirmware = v;
            else if (k == "no_more_nodes")
                c.noMoreNodes = v;
            else if (k == "read_only")
                c.readOnly = v;
            else if (k == "unknown_upid")
                c.unknownUpid = v;
            else if (k == "another_master")
                c.anotherMaster = v;
            else if (k == "not_live")
                c.notLive = v;
            else
                Fail(l.no, "unknown key '" + k + "' in [codes]");
        }
    } else if (s.name == "delays") {
        for (const auto& l : s.lines) {
            int64_t ms = int64_t(Number(Line{l.no, l.key, l.value}, 3600000));
            if (l.key == "default") {
                out.defaultDelay = ms;
            } else {
                // The key is the command byte in hexadecimal, with or without 0x.
                std::string k = l.key.rfind("0x", 0) == 0 ? l.key : "0x" + l.key;
                out.delays[uint8_t(Number(Line{l.no, "command", k}, 0xFF))] = ms;
            }
        }
    } else if (s.name == "faults") {
        for (const auto& l : s.lines) {
            if (l.key != "rule") Fail(l.no, "[faults] holds rule = ... lines");
            try {
                out.faults.push_back(SimFaultRule::Parse(l.value));
            } catch (const Exception& e) {
                Fail(l.no, e.what());
            }
        }
    } else if (s.name == "gateway") {
        for (const auto& l : s.lines) {
            if (l.key != "block_max") Fail(l.no, "unknown key '" + l.key + "' in [gateway]");
            out.gatewayBlockMax = int(Number(Line{l.no, l.key, l.value}, 0xFFFF));
        }
    } else {
        Fail(s.no, "unknown section [" + s.name + "]");
    }
}

SimDriveDescription Parser::Build() {
    SimDriveDescription out;
    SimIdentity id;
    bool haveIdentity = false;
    for (const auto& s : sections_) {
        if (s.name != "identity") continue;
        if (haveIdentity) Fail(s.no, "a second [identity]");
        haveIdentity = true;
        Identity(s, id, out.drive);
    }
    if (!haveIdentity) throw Exception("SimDriveFile: " + file_ + ": no [identity] section");
    try {
        out.drive.SetIdentity(id);
        out.drive.Validate();
    } catch (const Exception& e) {
        throw Exception("SimDriveFile: " + file_ + ": " + e.what());
    }
    for (const auto& s : sections_)
        if (s.name == "region") Region(s, out.drive);
    // The module descriptions first: [parameter] sections override them.
    for (const auto& s : sections_) {
        if (s.name != "descriptions") continue;
        for (const auto& l : s.lines) {
            if (l.key != "file") Fail(l.no, "[descriptions] holds file = ... lines");
            const std::string rel = Bytes(l);
            const std::string path = !rel.empty() && rel[0] == '/' ? rel : SimDataDir() + "/" + rel;
            try {
                SimApplyDescription(out.drive, path);
            } catch (const Exception& e) {
                Fail(l.no, e.what());
            }
        }
    }
    for (const auto& s : sections_)
        if (s.name != "identity" && s.name != "region" && s.name != "descriptions") Apply(s, out);
    return out;
}

} // namespace

SimDriveDescription SimParseDrive(std::string_view text, const std::string& fileName) {
    Parser p(text, fileName);
    SimDriveDescription d = p.Build();
    d.name = fileName;
    return d;
}

SimDriveDescription SimLoadDrive(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw Exception("SimDriveFile: cannot read " + path);
    std::ostringstream ss;
    ss << in.rdbuf();
    std::string name = path.substr(path.find_last_of('/') == std::string::npos ? 0 : path.find_last_of('/') + 1);
    return SimParseDrive(ss.str(), name);
}

std::string SimDataDir() {
#ifdef VO_DRIVESIM_DATA_DIR
    return VO_DRIVESIM_DATA_DIR;
#else
    return "data/drivesim";
#endif
}

SimBytes SimBuildInfoNode(const SimNodeFields& f, uint8_t protocolVersion, uint8_t dataFieldSize) {
    uint8_t hi = protocolVersion >> 4;
    size_t completeAt = (hi == 3 || hi == 4) ? 76 : 74;
    SimBytes node(34, '\0');
    auto put = [&](size_t at, std::string_view bytes, size_t width) {
        if (node.size() < at + width) node.resize(at + width, '\0');
        SimBytes b(bytes.substr(0, width));
        b.resize(width, '\0');
        std::copy(b.begin(), b.end(), node.begin() + std::ptrdiff_t(at));
    };
    put(4, SimLE(f.fileType, 2), 2);
    put(6, SimLE(f.fileVersion, 2), 2);
    put(10, SimLE(f.fileSubType, 2), 2);
    if (!f.name.empty()) put(12, f.name, 16);
    if (f.startAddress) put(28, SimLE(*f.startAddress, 4), 4);
    if (!f.treeSubName.empty()) put(28, f.treeSubName, 16);
    if (f.treeVersion || f.treeSubVersion) {
        put(44, SimLE(f.treeVersion, 2), 2);
        put(46, SimLE(f.treeSubVersion, 2), 2);
    }
    if (!f.betaInfo.empty()) put(48, f.betaInfo, 16);
    if (!f.completeName.empty()) put(completeAt, f.completeName, 62);
    if (!f.fileInfo.empty()) put(80, f.fileInfo, f.fileInfo.size());
    size_t d = dataFieldSize ? dataFieldSize : 1;
    node.resize((node.size() + d - 1) / d * d, '\0');
    return node;
}

} // namespace vo
