#include "platform/FileNames.h"
#include "platform/FolderListings.h"

#include "platform/Cp1252.h"
#include "platform/Exception.h"
#include "platform/Time.h"

#include <algorithm>
#include <ctime>
#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <unordered_map>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace vo {

namespace {
bool IsSep(char c) { return c == '\\' || c == '/'; }

// The names in a folder, each with its code-page-1252 form, kept between
// look-ups: a stored name that does not exist (archives and files are looked
// for in several places) would list its folder again at every look-up.
struct TListing {
    dev_t Device = 0;
    ino_t Inode = 0;
    timespec MTime{};
    timespec CTime{};
    std::vector<std::pair<std::string, MyAnsiString>> Names; // real name, its 1252 form
};

std::mutex GListingMutex;
std::unordered_map<std::string, std::shared_ptr<const TListing>>& Listings() {
    static std::unordered_map<std::string, std::shared_ptr<const TListing>> listings;
    return listings;
}

bool SameListing(const TListing& L, const struct stat& St) {
    return L.Device == St.st_dev && L.Inode == St.st_ino && L.MTime.tv_sec == St.st_mtim.tv_sec &&
        L.MTime.tv_nsec == St.st_mtim.tv_nsec;
}

// The names of the folder Dir (with St its status), nullptr when it cannot be
// listed.
std::shared_ptr<const TListing> ListFolder(const fs::path& Dir, const struct stat& St) {
    const std::string key = Dir.string();
    {
        std::lock_guard lock(GListingMutex);
        auto it = Listings().find(key);
        if (it != Listings().end() && SameListing(*it->second, St))
            return it->second;
    }
    auto listing = std::make_shared<TListing>();
    listing->Device = St.st_dev;
    listing->Inode = St.st_ino;
    listing->MTime = St.st_mtim;
    listing->CTime = St.st_ctim;
    std::error_code ec;
    fs::directory_iterator it(Dir, fs::directory_options::skip_permission_denied, ec);
    if (ec)
        return nullptr;
    for (const auto& entry : it) {
        std::string n = entry.path().filename().string();
        MyAnsiString ansi = Utf8ToCp1252(n);
        listing->Names.emplace_back(std::move(n), std::move(ansi));
    }
    auto ns = [](const timespec& T) { return static_cast<int64_t>(T.tv_sec) * 1000000000 + T.tv_nsec; };
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    const int64_t changed = std::max(ns(St.st_mtim), ns(St.st_ctim));
    if (ns(now) - changed >= FolderListingSettleTime().Milliseconds() * 1000000) {
        std::lock_guard lock(GListingMutex);
        if (Listings().size() >= 256)
            Listings().clear();
        Listings()[key] = listing;
    }
    return listing;
}

// The existing child of Dir whose name equals Name without regard to case.
bool FindCaseInsensitive(const fs::path& Dir, const std::string& Name, std::string& Found) {
    struct stat st {};
    if (::stat(Dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    std::error_code ec;
    if (fs::symlink_status(Dir / Name, ec).type() != fs::file_type::not_found && !ec) {
        Found = Name; // exact match
        return true;
    }
    const std::shared_ptr<const TListing> listing = ListFolder(Dir, st);
    if (!listing)
        return false;
    const MyAnsiString wanted = Utf8ToCp1252(Name);
    const std::string* best = nullptr;
    for (const auto& [real, ansi] : listing->Names)
        if (Cp1252SameText(ansi, wanted) && (!best || real < *best))
            best = &real;
    if (!best)
        return false;
    Found = *best;
    return true;
}
} // namespace

TTimeConstant& FolderListingSettleTime() {
    static TTimeConstant constant("FileNames.FolderListingSettleTime", 2000);
    return constant;
}

fs::path StoredPathToRealPath(const MyAnsiString& Stored, const fs::path& Base) {
    if (Stored.empty())
        throw Exception("StoredPathToRealPath: empty file name");
    if (Stored.size() >= 2 && Stored[1] == ':' &&
        ((Stored[0] >= 'A' && Stored[0] <= 'Z') || (Stored[0] >= 'a' && Stored[0] <= 'z')))
        throw Exception("StoredPathToRealPath: drive letters are not supported: '" + Stored + "'");
    if (Stored.size() >= 2 && IsSep(Stored[0]) && IsSep(Stored[1]))
        throw Exception("StoredPathToRealPath: network names are not supported: '" + Stored + "'");

    // Split into components.
    std::vector<std::string> parts;
    std::string cur;
    for (char c : Stored) {
        if (IsSep(c)) {
            parts.push_back(cur);
            cur.clear();
        } else {
            cur.push_back(c);
        }
    }
    parts.push_back(cur);

    const bool absolute = IsSep(Stored[0]);
    fs::path result = absolute ? fs::path("/") : Base;
    std::size_t first = 0; // the first part still to be looked up
    // The parts that exist as written need no look-up: each would match
    // itself first (without "..", which is taken apart by name below, not by
    // the file system). The longest such beginning is found from the end.
    if (std::find(parts.begin(), parts.end(), "..") == parts.end()) {
        std::vector<fs::path> prefixes; // prefixes[i]: the path up to part i
        std::vector<std::size_t> ends;
        fs::path exact = result;
        for (std::size_t i = 0; i < parts.size(); ++i)
            if (!parts[i].empty() && parts[i] != ".") {
                exact /= Cp1252ToUtf8(parts[i]);
                prefixes.push_back(exact);
                ends.push_back(i + 1);
            }
        struct stat st {};
        for (std::size_t k = prefixes.size(); k-- > 0;)
            if (::lstat(prefixes[k].c_str(), &st) == 0) {
                if (k + 1 == prefixes.size())
                    return prefixes[k];
                result = prefixes[k];
                first = ends[k];
                break;
            }
    }
    // Where existence is looked up: an empty relative base means the current folder.
    auto lookupDir = [&](const fs::path& p) { return p.empty() ? fs::path(".") : p; };
    bool matching = true;
    for (std::size_t i = first; i < parts.size(); ++i) {
        const std::string& raw = parts[i];
        if (raw.empty() || raw == ".")
            continue;
        std::string name = Cp1252ToUtf8(raw);
        if (raw == "..") {
            if (!result.empty() && result.filename() != ".." && result != result.root_path())
                result = result.parent_path();
            else if (result != result.root_path() || result.empty())
                result /= "..";
            matching = true;
            continue;
        }
        if (matching) {
            std::string found;
            if (FindCaseInsensitive(lookupDir(result), name, found))
                name = found;
            else
                matching = false;
        }
        result /= name;
    }
    if (result.empty())
        result = ".";
    return result;
}

MyAnsiString RealPathToStored(const fs::path& Real) {
    MyAnsiString s = Utf8ToCp1252(Real.generic_string());
    std::replace(s.begin(), s.end(), '/', '\\');
    return s;
}

} // namespace vo
