#include "storagelib/SL20Stu.h"

#include <filesystem>
#include <system_error>

#include "platform/Cp1252.h"
#include "platform/Exception.h"
#include "platform/FileNames.h"

namespace vo {

int CountSlashes(std::string_view Name) noexcept {
    int n = 0;
    for (char c : Name)
        if (c == '\\') ++n;
    return n;
}

bool HasRootSlash(std::string_view Name) noexcept {
    if (!Name.empty() && Name[0] == '\\') return true;
    return Name.size() >= 3 && Name[1] == ':' && Name[2] == '\\';
}

int CountDirectories(std::string_view Name) noexcept {
    return CountSlashes(Name) - (HasRootSlash(Name) ? 1 : 0);
}

void SplitName(std::string_view Name, int Level, MyAnsiString& Dir, MyAnsiString& Rest) {
    const int dirs = CountDirectories(Name);
    if (Level < 0 || Level > dirs) throw Exception("DirIndex out of bounds in procedure SplitName");
    const bool root = HasRootSlash(Name);
    MyAnsiString dir;
    MyAnsiString rest;
    int counter = root ? -1 : 0;
    for (char c : Name) {
        if (c == '\\') {
            ++counter;
            if (counter == Level) continue;
        }
        if (counter < Level)
            dir.push_back(c);
        else
            rest.push_back(c);
    }
    if (root && dirs == 0) dir.push_back('\\');
    if (!root && Level == 0) dir = ".";
    Dir = std::move(dir);
    Rest = std::move(rest);
}

TStreamAccess ConvertAccessString(std::string_view Text) {
    const MyAnsiString up = Cp1252UpperCase(Text);
    if (up == "R") return saRead;
    if (up == "W") return saWrite;
    if (up == "RW") return saReadWrite;
    throw Exception("illegal access attribute '" + up + "'");
}

TStorageFormat ConvertFormatString(std::string_view Text) {
    const MyAnsiString up = Cp1252UpperCase(Text);
    if (up == "ASCII") return sfASCII;
    if (up == "EASCII") return sfEASCII;
    if (up == "UNKNOWN") return sfUnknown;
    throw Exception("unknown storage object format '" + up + "'");
}

MyAnsiString StorageFormatText(TStorageFormat Format) {
    switch (Format) {
    case sfASCII: return "ascii";
    case sfEASCII: return "eascii";
    default: return "unknown";
    }
}

MyAnsiString ChangeFileExt(std::string_view Name, std::string_view Ext) {
    const std::size_t sep = Name.find_last_of("\\/:");
    const std::size_t dot = Name.find_last_of('.');
    MyAnsiString out(Name);
    if (dot != std::string_view::npos && (sep == std::string_view::npos || dot > sep)) out.erase(dot);
    out.append(Ext.data(), Ext.size());
    return out;
}

MyAnsiString ExtractStoredFileName(std::string_view Name) {
    const std::size_t scheme = Name.find("://");
    if (scheme != std::string_view::npos) Name.remove_prefix(scheme + 3);
    const std::size_t sep = Name.find_last_of('\\');
    if (sep != std::string_view::npos) Name.remove_prefix(sep + 1);
    return MyAnsiString(Name);
}

namespace {
std::filesystem::file_status StoredStatus(const MyAnsiString& Name) {
    try {
        std::error_code ec;
        return std::filesystem::status(StoredPathToRealPath(Name), ec);
    } catch (const Exception&) {
        return std::filesystem::file_status(std::filesystem::file_type::not_found);
    }
}
} // namespace

bool StoredFileExists(const MyAnsiString& Name) {
    return std::filesystem::is_regular_file(StoredStatus(Name));
}

bool StoredDirExists(const MyAnsiString& Name) { return std::filesystem::is_directory(StoredStatus(Name)); }

MyAnsiString CurrentStoredDir() {
    std::error_code ec;
    const std::filesystem::path cur = std::filesystem::current_path(ec);
    if (ec) return ".";
    MyAnsiString s = RealPathToStored(cur);
    while (s.size() > 1 && s.back() == '\\') s.pop_back();
    return s;
}

} // namespace vo
