#include "platform/ComPorts.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace vo {

namespace {

std::string_view Trim(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front())))
        s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back())))
        s.remove_suffix(1);
    return s;
}

// The number after a device family's prefix ("ttyS12" -> 12), or -1 when the
// rest of the name is not a plain number.
long SuffixNumber(std::string_view name, std::string_view prefix) {
    if (name.size() <= prefix.size() || name.substr(0, prefix.size()) != prefix)
        return -1;
    std::string_view rest = name.substr(prefix.size());
    if (rest.size() > 6)
        return -1;
    long n = 0;
    for (char c : rest) {
        if (c < '0' || c > '9')
            return -1;
        n = n * 10 + (c - '0');
    }
    return n;
}

} // namespace

ComPortTable& ComPortTable::Instance() {
    static ComPortTable table;
    return table;
}

ComPortTable::ComPortTable(std::string devDir, std::string sysTtyDir)
    : FDevDir(std::move(devDir)), FSysTtyDir(std::move(sysTtyDir)) {}

std::optional<int> ComPortTable::PortNumber(std::string_view name) {
    if (name.size() < 4 || name.size() > 6)
        return std::nullopt;
    for (int i = 0; i < 3; ++i)
        if (std::toupper(static_cast<unsigned char>(name[i])) != "COM"[i])
            return std::nullopt;
    std::string_view digits = name.substr(3);
    if (digits.front() == '0')
        return std::nullopt;
    int n = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return std::nullopt;
        n = n * 10 + (c - '0');
    }
    if (n < 1 || n > MaxPort)
        return std::nullopt;
    return n;
}

bool ComPortTable::HasUart(const std::string& ttyName) const {
    // The kernel's port type of a serial port: 0 is "unknown", a ttyS without a
    // UART. Anything else, or no readable number, counts as present.
    std::ifstream in(std::filesystem::path(FSysTtyDir) / ttyName / "type");
    long type = -1;
    if (!(in >> type))
        return true;
    return type != 0;
}

std::vector<std::string> ComPortTable::Scan() const {
    // In the order of the port numbers: USB adapters, USB modem-class devices,
    // built-in UARTs.
    static constexpr std::string_view Families[] = {"ttyUSB", "ttyACM", "ttyS"};
    constexpr std::size_t Uarts = 2;
    std::vector<std::pair<long, std::string>> found[std::size(Families)];
    std::error_code ec;
    for (std::filesystem::directory_iterator it(FDevDir, ec), end; !ec && it != end; it.increment(ec)) {
        std::string name = it->path().filename().string();
        for (std::size_t f = 0; f < std::size(Families); ++f) {
            long n = SuffixNumber(name, Families[f]);
            if (n < 0)
                continue;
            std::error_code sec;
            if (!std::filesystem::is_character_file(it->path(), sec))
                continue;
            if (f == Uarts && !HasUart(name))
                continue;
            found[f].emplace_back(n, it->path().string());
        }
    }
    std::vector<std::string> out;
    for (auto& fam : found) {
        std::sort(fam.begin(), fam.end());
        for (auto& e : fam)
            out.push_back(std::move(e.second));
    }
    return out;
}

std::vector<std::string> ComPortTable::DefaultDevices() const {
    std::lock_guard lk(FMutex);
    if (!FDefaults)
        FDefaults = Scan();
    return *FDefaults;
}

void ComPortTable::Rescan() {
    auto found = Scan();
    std::lock_guard lk(FMutex);
    FDefaults = std::move(found);
}

std::optional<std::string> ComPortTable::DevicePath(std::string_view name) const {
    auto nr = PortNumber(name);
    if (!nr) {
        if (name.find('/') != std::string_view::npos)
            return std::string(name);
        return std::nullopt;
    }
    std::lock_guard lk(FMutex);
    if (auto it = FMappings.find(*nr); it != FMappings.end())
        return it->second;
    if (!FDefaults)
        FDefaults = Scan();
    if (static_cast<std::size_t>(*nr) <= FDefaults->size())
        return (*FDefaults)[*nr - 1];
    return std::nullopt;
}

void ComPortTable::Map(std::string_view name, std::string path) {
    auto nr = PortNumber(name);
    if (!nr)
        throw Exception("ComPortTable.Map: '" + std::string(name) + "' is not a port name COM1 to COM256");
    if (path.empty())
        throw Exception("ComPortTable.Map: empty device path for " + std::string(name));
    std::lock_guard lk(FMutex);
    FMappings[*nr] = std::move(path);
}

void ComPortTable::Unmap(std::string_view name) {
    auto nr = PortNumber(name);
    if (!nr)
        return;
    std::lock_guard lk(FMutex);
    FMappings.erase(*nr);
}

void ComPortTable::ClearMappings() {
    std::lock_guard lk(FMutex);
    FMappings.clear();
}

std::map<int, std::string> ComPortTable::Mappings() const {
    std::lock_guard lk(FMutex);
    return FMappings;
}

void ComPortTable::ApplyMapping(std::string_view text) {
    std::vector<std::pair<int, std::string>> entries;
    std::size_t pos = 0;
    while (pos <= text.size()) {
        std::size_t end = text.find_first_of(";\r\n", pos);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view entry = Trim(text.substr(pos, end - pos));
        pos = end + 1;
        if (entry.empty())
            continue;
        std::size_t eq = entry.find('=');
        std::optional<int> nr;
        if (eq != std::string_view::npos)
            nr = PortNumber(Trim(entry.substr(0, eq)));
        if (!nr)
            throw Exception("ComPortTable.ApplyMapping: bad entry '" + std::string(entry) +
                            "' (expected COMn=path, n from 1 to 256)");
        entries.emplace_back(*nr, std::string(Trim(entry.substr(eq + 1))));
    }
    std::lock_guard lk(FMutex);
    for (auto& [nr, path] : entries) {
        if (path.empty())
            FMappings.erase(nr);
        else
            FMappings[nr] = std::move(path);
    }
}

} // namespace vo
