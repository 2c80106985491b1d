#include "platform/FileNames.h"

#include "platform/Cp1252.h"
#include "platform/Exception.h"

#include <algorithm>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace vo {

namespace {
bool IsSep(char c) { return c == '\\' || c == '/'; }

// The existing child of Dir whose name equals Name without regard to case.
bool FindCaseInsensitive(const fs::path& Dir, const std::string& Name, std::string& Found) {
    std::error_code ec;
    if (!fs::is_directory(Dir, ec))
        return false;
    if (fs::symlink_status(Dir / Name, ec).type() != fs::file_type::not_found && !ec) {
        Found = Name; // exact match
        return true;
    }
    const MyAnsiString wanted = Utf8ToCp1252(Name);
    std::vector<std::string> matches;
    fs::directory_iterator it(Dir, fs::directory_options::skip_permission_denied, ec);
    if (ec)
        return false;
    for (const auto& entry : it) {
        std::string n = entry.path().filename().string();
        if (Cp1252SameText(Utf8ToCp1252(n), wanted))
            matches.push_back(std::move(n));
    }
    if (matches.empty())
        return false;
    Found = *std::min_element(matches.begin(), matches.end());
    return true;
}
} // namespace

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
    // Where existence is looked up: an empty relative base means the current folder.
    auto lookupDir = [&](const fs::path& p) { return p.empty() ? fs::path(".") : p; };
    bool matching = true;
    for (const auto& raw : parts) {
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
