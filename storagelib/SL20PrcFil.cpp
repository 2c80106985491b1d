#include "storagelib/SL20PrcFil.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "kernel/UserPrompt.h"
#include "platform/Cp1252.h"
#include "platform/FileNames.h"
#include "storagelib/CtxIntf.h"
#include "storagelib/SL20Arr.h"
#include "storagelib/SL20Sto.h"
#include "storagelib/SL20Stu.h"

namespace vo {

namespace fs = std::filesystem;

// ---------------------------------------------------------------- errors

namespace {

std::string InOutErrorText(int32_t Code) {
    switch (Code) {
    case 2: return "File not found";
    case 3: return "Invalid filename";
    case 4: return "Too many open files";
    case 5: return "File access denied";
    case 101: return "Disk full";
    default: return "I/O error " + std::to_string(Code);
    }
}

} // namespace

EInOutError::EInOutError(int32_t AErrorCode) : Exception(InOutErrorText(AErrorCode)), ErrorCode(AErrorCode) {}

EInOutError SLInOutErrorFromErrno(int Errno) {
    switch (Errno) {
    case ENOENT: return EInOutError(2);
    case ENOTDIR:
    case ENAMETOOLONG:
    case EINVAL: return EInOutError(3);
    case EMFILE:
    case ENFILE: return EInOutError(4);
    case EACCES:
    case EPERM:
    case EROFS: return EInOutError(5);
    case ENOSPC: return EInOutError(101);
    default: return EInOutError(Errno);
    }
}

// ---------------------------------------------------------------- paths and attributes

namespace {

// The real path of a stored name; false for a name the mapping refuses.
bool MapPath(const MyAnsiString& Stored, fs::path& Real) {
    try {
        Real = StoredPathToRealPath(Stored);
        return true;
    } catch (const Exception&) {
        return false;
    }
}

bool IsDirectory(const fs::path& P) {
    std::error_code ec;
    return fs::is_directory(P, ec);
}

// Exists as anything but a directory (links followed).
bool IsFile(const fs::path& P) {
    std::error_code ec;
    const fs::file_status st = fs::status(P, ec);
    return !ec && fs::exists(st) && !fs::is_directory(st);
}

// Something (also a dangling link) is at P.
bool Occupied(const fs::path& P) {
    std::error_code ec;
    const fs::file_status st = fs::symlink_status(P, ec);
    return !ec && fs::exists(st);
}

bool HiddenName(std::string_view Name) { return Name.size() > 1 && Name.front() == '.' && Name != ".."; }

int32_t AttrOfStat(const struct stat& St, std::string_view Name) {
    int32_t attr = 0;
    if (S_ISDIR(St.st_mode))
        attr |= faDirectory;
    else if (S_ISREG(St.st_mode))
        attr |= faArchive;
    else
        attr |= faSysFile;
    if ((St.st_mode & S_IWUSR) == 0) attr |= faReadOnly;
    if (HiddenName(Name)) attr |= faHidden;
    return attr;
}

// stat of P, links followed; a dangling link is described by the link itself.
bool StatOf(const fs::path& P, struct stat& St, bool FollowLinks = true) {
    if (FollowLinks && ::stat(P.c_str(), &St) == 0) return true;
    return ::lstat(P.c_str(), &St) == 0;
}

std::tm LocalTimeOf(time_t T) {
    std::tm tm{};
    ::localtime_r(&T, &tm);
    return tm;
}

void Push(TSLContext* Context, const TRef<TSLObject>& Obj) { SLPushOperand(Context, Obj); }
void PushBool(TSLContext* Context, bool Value) { Push(Context, MakeRef<TSLBoolean>(Value)); }
void PushString(TSLContext* Context, MyAnsiString Value) { Push(Context, MakeRef<TSLString>(std::move(Value))); }

const MyAnsiString& StringAt(TSLContext* Context, int Depth) {
    return SLOperandAs<TSLString>(Context, Depth)->GetStringValue();
}

// A stored path operand is popped and Op(real path) decides the result; a
// path the mapping refuses gives false.
template <class Op>
void BoolOnPath(TSLContext* Context, Op Fn) {
    const MyAnsiString stored = StringAt(Context, 0);
    SLPopOperands(Context, 1);
    fs::path real;
    bool ok = false;
    if (MapPath(stored, real)) {
        try {
            ok = Fn(real);
        } catch (const std::exception&) {
            ok = false;
        }
    }
    PushBool(Context, ok);
}

MyAnsiString CurrentDirText() {
    std::error_code ec;
    const fs::path p = fs::current_path(ec);
    if (ec) throw SLInOutErrorFromErrno(ec.value());
    return RealPathToStored(p);
}

} // namespace

int32_t SLFileGetAttr(const MyAnsiString& Path) {
    fs::path real;
    if (!MapPath(Path, real)) return -1;
    struct stat st {};
    if (::stat(real.c_str(), &st) != 0) return -1;
    return AttrOfStat(st, Utf8ToCp1252(real.filename().string()));
}

int32_t SLDateTimeToFileDate(const std::tm& Local) {
    const int year = Local.tm_year + 1900;
    if (year < 1980 || year > 2107) return 0;
    const uint32_t date = (static_cast<uint32_t>(year - 1980) << 9) | (static_cast<uint32_t>(Local.tm_mon + 1) << 5) |
        static_cast<uint32_t>(Local.tm_mday);
    const uint32_t time = (static_cast<uint32_t>(Local.tm_hour) << 11) | (static_cast<uint32_t>(Local.tm_min) << 5) |
        static_cast<uint32_t>(std::min(Local.tm_sec, 59) / 2);
    return static_cast<int32_t>((date << 16) | time);
}

bool SLMatchesMask(std::string_view Name, std::string_view Mask) {
    MyAnsiString name = Cp1252UpperCase(Name);
    MyAnsiString mask = Cp1252UpperCase(Mask);
    if (mask == "*.*") mask = "*";
    if (mask.size() > 1 && mask.back() == '.') {
        // "name." and "*.": only names without an extension.
        mask.pop_back();
        if (name.find('.') != MyAnsiString::npos) return false;
    }
    // Wildcard matching with one back-track point for the last "*".
    std::size_t n = 0, m = 0, starM = MyAnsiString::npos, starN = 0;
    while (n < name.size()) {
        if (m < mask.size() && (mask[m] == '?' || mask[m] == name[n])) {
            ++n;
            ++m;
        } else if (m < mask.size() && mask[m] == '*') {
            starM = m++;
            starN = n;
        } else if (starM != MyAnsiString::npos) {
            m = starM + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == '*') ++m;
    return m == mask.size();
}

namespace {

std::size_t LastDelimiter(std::string_view Path, std::string_view Delimiters) {
    return Path.find_last_of(Delimiters);
}

} // namespace

MyAnsiString SLExtractFilePath(std::string_view Path) {
    const std::size_t i = LastDelimiter(Path, "\\:");
    return i == std::string_view::npos ? MyAnsiString() : MyAnsiString(Path.substr(0, i + 1));
}

MyAnsiString SLExtractFileName(std::string_view Path) {
    const std::size_t i = LastDelimiter(Path, "\\:");
    return MyAnsiString(i == std::string_view::npos ? Path : Path.substr(i + 1));
}

MyAnsiString SLExtractFileExt(std::string_view Path) {
    const std::size_t i = LastDelimiter(Path, ".\\:");
    if (i == std::string_view::npos || Path[i] != '.') return {};
    return MyAnsiString(Path.substr(i));
}

MyAnsiString SLChangeFileExt(std::string_view Path, std::string_view Ext) {
    std::size_t i = LastDelimiter(Path, ".\\:");
    if (i == std::string_view::npos || Path[i] != '.') i = Path.size();
    MyAnsiString out(Path.substr(0, i));
    out.append(Ext);
    return out;
}

// ---------------------------------------------------------------- clock and formats

TSLFormatSettings& SLFormatSettings() {
    static TSLFormatSettings settings;
    return settings;
}

namespace {

std::function<TSLDateTime()>& ClockHook() {
    static std::function<TSLDateTime()> clock;
    return clock;
}

std::function<void()>& BeepHook() {
    static std::function<void()> beep;
    return beep;
}

constexpr const char* ShortDayNames[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* LongDayNames[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
constexpr const char* ShortMonthNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                           "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr const char* LongMonthNames[] = {"January", "February", "March", "April", "May", "June",
                                          "July", "August", "September", "October", "November", "December"};

std::string Num(int Value, int Width) {
    std::string s = std::to_string(Value);
    if (static_cast<int>(s.size()) < Width) s.insert(0, static_cast<std::size_t>(Width) - s.size(), '0');
    return s;
}

char Up(char C) { return (C >= 'a' && C <= 'z') ? static_cast<char>(C - 'a' + 'A') : C; }

bool StartsWithNoCase(std::string_view Text, std::size_t Pos, std::string_view Word) {
    if (Text.size() - Pos < Word.size()) return false;
    for (std::size_t i = 0; i < Word.size(); ++i)
        if (Up(Text[Pos + i]) != Up(Word[i])) return false;
    return true;
}

// Whether the picture asks for a 12-hour clock (an am/pm specifier).
bool HasAmPm(std::string_view Format) {
    for (std::size_t i = 0; i < Format.size(); ++i) {
        const char c = Format[i];
        if (c == '"' || c == '\'') {
            const std::size_t close = Format.find(c, i + 1);
            if (close == std::string_view::npos) return false;
            i = close;
            continue;
        }
        if (StartsWithNoCase(Format, i, "am/pm") || StartsWithNoCase(Format, i, "a/p") ||
            StartsWithNoCase(Format, i, "ampm"))
            return true;
    }
    return false;
}

class TDateTimeFormatter {
public:
    TDateTimeFormatter(const TSLDateTime& T, const TSLFormatSettings& S) : Time(T), Settings(S) {}

    void Append(std::string_view Format, int Depth) {
        if (Depth > 2) return; // a setting that names itself
        const bool twelve = HasAmPm(Format);
        bool afterHour = false;
        std::size_t i = 0;
        while (i < Format.size()) {
            const char c = Format[i];
            const char u = Up(c);
            std::size_t run = 1;
            while (i + run < Format.size() && Up(Format[i + run]) == u) ++run;
            const std::tm& tm = Time.Local;
            switch (u) {
            case '"':
            case '\'': {
                const std::size_t close = Format.find(c, i + 1);
                const std::size_t end = close == std::string_view::npos ? Format.size() : close;
                Out.append(Format.substr(i + 1, end - i - 1));
                i = close == std::string_view::npos ? Format.size() : close + 1;
                continue;
            }
            case 'D':
                if (run == 1)
                    Out += std::to_string(tm.tm_mday);
                else if (run == 2)
                    Out += Num(tm.tm_mday, 2);
                else if (run == 3)
                    Out += ShortDayNames[tm.tm_wday % 7];
                else if (run == 4)
                    Out += LongDayNames[tm.tm_wday % 7];
                else if (run == 5)
                    Append(Settings.ShortDateFormat, Depth + 1);
                else
                    Append(Settings.LongDateFormat, Depth + 1);
                afterHour = false;
                break;
            case 'M':
                if (afterHour && run <= 2) {
                    Out += run == 1 ? std::to_string(tm.tm_min) : Num(tm.tm_min, 2);
                } else if (run == 1) {
                    Out += std::to_string(tm.tm_mon + 1);
                } else if (run == 2) {
                    Out += Num(tm.tm_mon + 1, 2);
                } else if (run == 3) {
                    Out += ShortMonthNames[tm.tm_mon % 12];
                } else {
                    Out += LongMonthNames[tm.tm_mon % 12];
                }
                afterHour = false;
                break;
            case 'Y':
                Out += run <= 2 ? Num((tm.tm_year + 1900) % 100, 2) : Num(tm.tm_year + 1900, 4);
                afterHour = false;
                break;
            case 'H': {
                int hour = tm.tm_hour;
                if (twelve) {
                    hour %= 12;
                    if (hour == 0) hour = 12;
                }
                Out += run == 1 ? std::to_string(hour) : Num(hour, 2);
                afterHour = true;
                break;
            }
            case 'N':
                Out += run == 1 ? std::to_string(tm.tm_min) : Num(tm.tm_min, 2);
                afterHour = false;
                break;
            case 'S':
                Out += run == 1 ? std::to_string(tm.tm_sec) : Num(tm.tm_sec, 2);
                afterHour = false;
                break;
            case 'Z':
                Out += run < 3 ? std::to_string(Time.Millisecond) : Num(Time.Millisecond, 3);
                afterHour = false;
                break;
            case 'T':
                Append(run == 1 ? Settings.ShortTimeFormat : Settings.LongTimeFormat, Depth + 1);
                afterHour = false;
                break;
            case 'C':
                Append(Settings.ShortDateFormat, Depth + 1);
                Out += ' ';
                Append(Settings.LongTimeFormat, Depth + 1);
                afterHour = false;
                break;
            case 'A': {
                const bool pm = tm.tm_hour >= 12;
                if (StartsWithNoCase(Format, i, "am/pm")) {
                    Out += pm ? Format.substr(i + 3, 2) : Format.substr(i, 2);
                    i += 5;
                } else if (StartsWithNoCase(Format, i, "a/p")) {
                    Out += pm ? Format[i + 2] : Format[i];
                    i += 3;
                } else if (StartsWithNoCase(Format, i, "ampm")) {
                    Out += pm ? Settings.TimePMString : Settings.TimeAMString;
                    i += 4;
                } else {
                    Out += c;
                    i += 1;
                }
                continue;
            }
            case '/':
                Out.append(run, Settings.DateSeparator);
                break;
            case ':':
                Out.append(run, Settings.TimeSeparator);
                break;
            default:
                Out.append(Format.substr(i, run));
                break;
            }
            i += run;
        }
    }

    MyAnsiString Out;

private:
    const TSLDateTime& Time;
    const TSLFormatSettings& Settings;
};

} // namespace

TSLDateTime SLNow() {
    if (const auto& clock = ClockHook()) return clock();
    const auto now = std::chrono::system_clock::now();
    const time_t t = std::chrono::system_clock::to_time_t(now);
    TSLDateTime dt;
    dt.Local = LocalTimeOf(t);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    dt.Millisecond = static_cast<int32_t>(ms < 0 ? ms + 1000 : ms);
    return dt;
}

void SLSetClock(std::function<TSLDateTime()> Clock) { ClockHook() = std::move(Clock); }

MyAnsiString SLFormatDateTime(std::string_view Format, const TSLDateTime& Time, const TSLFormatSettings& Settings) {
    TDateTimeFormatter f(Time, Settings);
    f.Append(Format, 0);
    return std::move(f.Out);
}

void SLSetBeepHandler(std::function<void()> Handler) { BeepHook() = std::move(Handler); }

// ---------------------------------------------------------------- files and folders

void TSLChDirProcedure::Execute(TSLContext* Context) {
    const MyAnsiString stored = StringAt(Context, 0);
    fs::path real;
    if (!MapPath(stored, real)) throw EInOutError(3);
    if (::chdir(real.c_str()) != 0) throw SLInOutErrorFromErrno(errno);
    SLPopOperands(Context, 1);
}

void TSLSetCurrentDirProcedure::Execute(TSLContext* Context) {
    BoolOnPath(Context, [](const fs::path& p) { return ::chdir(p.c_str()) == 0; });
}

void TSLGetCurrentDirProcedure::Execute(TSLContext* Context) { PushString(Context, CurrentDirText()); }

void TSLGetDirProcedure::Execute(TSLContext* Context) {
    // Every drive of this system is the one file-system tree: its current
    // folder is the current folder.
    (void)SLOperandAs<TSLLongint>(Context, 0);
    MyAnsiString dir = CurrentDirText();
    SLPopOperands(Context, 1);
    PushString(Context, std::move(dir));
}

void TSLCreateDirProcedure::Execute(TSLContext* Context) {
    BoolOnPath(Context, [](const fs::path& p) { return ::mkdir(p.c_str(), 0777) == 0; });
}

void TSLForceDirectoriesProcedure::Execute(TSLContext* Context) {
    BoolOnPath(Context, [](const fs::path& p) {
        std::error_code ec;
        fs::create_directories(p, ec);
        return IsDirectory(p);
    });
}

void TSLRemoveDirProcedure::Execute(TSLContext* Context) {
    BoolOnPath(Context, [](const fs::path& p) { return ::rmdir(p.c_str()) == 0; });
}

void TSLDirectoryExistsProcedure::Execute(TSLContext* Context) {
    BoolOnPath(Context, [](const fs::path& p) { return IsDirectory(p); });
}

void TSLFileExistProcedure::Execute(TSLContext* Context) {
    BoolOnPath(Context, [](const fs::path& p) { return IsFile(p); });
}

void TSLDeleteFileProcedure::Execute(TSLContext* Context) {
    BoolOnPath(Context, [](const fs::path& p) {
        std::error_code ec;
        if (fs::is_directory(fs::symlink_status(p, ec))) return false;
        return ::unlink(p.c_str()) == 0;
    });
}

void TSLRenameFileProcedure::Execute(TSLContext* Context) {
    const MyAnsiString newName = StringAt(Context, 0);
    const MyAnsiString oldName = StringAt(Context, 1);
    SLPopOperands(Context, 2);
    fs::path from, to;
    bool ok = false;
    // Like the system's move: an existing target is never replaced.
    if (MapPath(oldName, from) && MapPath(newName, to) && Occupied(from) && !Occupied(to))
        ok = ::rename(from.c_str(), to.c_str()) == 0;
    PushBool(Context, ok);
}

void TSLFileGetAttrProcedure::Execute(TSLContext* Context) {
    const MyAnsiString path = StringAt(Context, 0);
    SLPopOperands(Context, 1);
    Push(Context, MakeRef<TSLLongint>(SLFileGetAttr(path)));
}

void TSLFileSearchProcedure::Execute(TSLContext* Context) {
    const MyAnsiString list = StringAt(Context, 0);
    const MyAnsiString name = StringAt(Context, 1);
    SLPopOperands(Context, 2);
    auto found = [](const MyAnsiString& Candidate) {
        fs::path real;
        return !Candidate.empty() && MapPath(Candidate, real) && IsFile(real);
    };
    MyAnsiString result;
    if (found(name)) {
        result = name;
    } else {
        std::size_t pos = 0;
        while (pos <= list.size()) {
            const std::size_t end = std::min(list.find(';', pos), list.size());
            MyAnsiString dir = list.substr(pos, end - pos);
            pos = end + 1;
            if (dir.empty()) continue;
            if (dir.back() != '\\' && dir.back() != ':') dir += '\\';
            if (found(dir + name)) {
                result = dir + name;
                break;
            }
        }
    }
    PushString(Context, std::move(result));
}

void TSLGetDirContentsProcedure::Execute(TSLContext* Context) {
    const int32_t attr = SLLow32(SLOperandAs<TSLLongint>(Context, 0)->GetLongintValue());
    const MyAnsiString pattern = StringAt(Context, 1);
    SLPopOperands(Context, 2);
    TRef<TSLArray> result = MakeRef<TSLArray>();

    const std::size_t sep = pattern.find_last_of("\\/");
    const MyAnsiString folder = sep == MyAnsiString::npos ? MyAnsiString() : pattern.substr(0, sep + 1);
    const MyAnsiString mask = sep == MyAnsiString::npos ? pattern : pattern.substr(sep + 1);
    fs::path dir;
    if (!mask.empty() && (folder.empty() ? (dir = ".", true) : MapPath(folder, dir)) && IsDirectory(dir)) {
        struct TFound {
            MyAnsiString Name;
            struct stat St;
        };
        std::vector<TFound> entries;
        auto consider = [&](const MyAnsiString& Name, const fs::path& Real) {
            if (!SLMatchesMask(Name, mask)) return;
            TFound f{Name, {}};
            if (StatOf(Real, f.St)) entries.push_back(std::move(f));
        };
        std::error_code ec;
        const fs::path canonical = fs::weakly_canonical(dir, ec);
        if (ec || canonical != canonical.root_path()) {
            consider(".", dir);
            consider("..", dir / "..");
        }
        for (fs::directory_iterator it(dir, fs::directory_options::skip_permission_denied, ec), end;
             !ec && it != end; it.increment(ec))
            consider(Utf8ToCp1252(it->path().filename().string()), it->path());
        // "." and ".." first, then by name without regard to case.
        auto rank = [](const MyAnsiString& n) { return n == "." ? 0 : n == ".." ? 1
                                                                                : 2; };
        std::sort(entries.begin(), entries.end(), [&](const TFound& a, const TFound& b) {
            if (rank(a.Name) != rank(b.Name)) return rank(a.Name) < rank(b.Name);
            const MyAnsiString ua = Cp1252UpperCase(a.Name), ub = Cp1252UpperCase(b.Name);
            return ua != ub ? ua < ub : a.Name < b.Name;
        });
        // Plain files always; hidden, system and directory entries only when
        // the filter has their bit.
        const int32_t exclude = ~attr & (faHidden | faSysFile | faVolumeID | faDirectory);
        for (const TFound& f : entries) {
            const int32_t a = f.Name == "." || f.Name == ".." ? faDirectory : AttrOfStat(f.St, f.Name);
            if ((a & exclude) != 0) continue;
            TRef<TSLDictionary> d = MakeRef<TSLDictionary>();
            d->AddObject("Attr", MakeRef<TSLLongint>(a).Get());
            d->AddObject("Name", MakeRef<TSLString>(f.Name).Get());
            d->AddObject("Size", MakeRef<TSLLongint>(S_ISDIR(f.St.st_mode) ? 0 : int64_t{f.St.st_size}).Get());
            d->AddObject("Time", MakeRef<TSLLongint>(SLDateTimeToFileDate(LocalTimeOf(f.St.st_mtime))).Get());
            result->AddObject(d.Get());
        }
    }
    Push(Context, result);
}

void TSLExtFilePathProcedure::Execute(TSLContext* Context) {
    MyAnsiString r = SLExtractFilePath(StringAt(Context, 0));
    SLPopOperands(Context, 1);
    PushString(Context, std::move(r));
}

void TSLExtFileNameProcedure::Execute(TSLContext* Context) {
    MyAnsiString r = SLExtractFileName(StringAt(Context, 0));
    SLPopOperands(Context, 1);
    PushString(Context, std::move(r));
}

void TSLExtFileExtProcedure::Execute(TSLContext* Context) {
    MyAnsiString r = SLExtractFileExt(StringAt(Context, 0));
    SLPopOperands(Context, 1);
    PushString(Context, std::move(r));
}

void TSLChFileExtProcedure::Execute(TSLContext* Context) {
    const MyAnsiString& ext = StringAt(Context, 0);
    MyAnsiString r = SLChangeFileExt(StringAt(Context, 1), ext);
    SLPopOperands(Context, 2);
    PushString(Context, std::move(r));
}

// ---------------------------------------------------------------- clock and user

void TSLDateProcedure::Execute(TSLContext* Context) {
    PushString(Context, SLFormatDateTime(SLFormatSettings().ShortDateFormat, SLNow()));
}

void TSLTimeProcedure::Execute(TSLContext* Context) {
    PushString(Context, SLFormatDateTime(SLFormatSettings().LongTimeFormat, SLNow()));
}

void TSLDateTimeProcedure::Execute(TSLContext* Context) {
    const MyAnsiString format = StringAt(Context, 0);
    SLPopOperands(Context, 1);
    PushString(Context, SLFormatDateTime(format, SLNow()));
}

void TSLBeepProcedure::Execute(TSLContext*) {
    if (const auto& beep = BeepHook()) beep();
}

void TSLMsgDlgProcedure::Execute(TSLContext* Context) {
    const MyAnsiString buttons = StringAt(Context, 0);
    const MyAnsiString type = StringAt(Context, 1);
    const MyAnsiString message = StringAt(Context, 2);
    SLPopOperands(Context, 3);
    TContextInterface& ctx = *Context->FContextInterface;

    TMsgDlgButtons set;
    for (char c : buttons) {
        switch (Up(c)) {
        case 'Y': set += TMsgDlgBtn::mbYes; break;
        case 'N': set += TMsgDlgBtn::mbNo; break;
        case 'O': set += TMsgDlgBtn::mbOK; break;
        case 'C': set += TMsgDlgBtn::mbCancel; break;
        case 'A': set += TMsgDlgBtn::mbAbort; break;
        case 'R': set += TMsgDlgBtn::mbRetry; break;
        case 'I': set += TMsgDlgBtn::mbIgnore; break;
        default: ctx.RaiseStandardException("illegal button AnsiChar"); return;
        }
    }
    TMsgDlgType kind = TMsgDlgType::mtInformation;
    switch (type.empty() ? '\0' : type.front()) {
    case 'C': kind = TMsgDlgType::mtConfirmation; break;
    case 'E': kind = TMsgDlgType::mtError; break;
    case 'I': kind = TMsgDlgType::mtInformation; break;
    case 'W': kind = TMsgDlgType::mtWarning; break;
    default: ctx.RaiseStandardException("illegal dialog type AnsiChar"); return;
    }
    const char* answer = nullptr;
    switch (MessageDlg(message, kind, set)) {
    case mrOk: answer = "O"; break;
    case mrCancel: answer = "C"; break;
    case mrAbort: answer = "A"; break;
    case mrRetry: answer = "R"; break;
    case mrIgnore: answer = "I"; break;
    case mrYes: answer = "Y"; break;
    case mrNo: answer = "N"; break;
    default: ctx.RaiseStandardException("illegal msgdlg result"); return;
    }
    PushString(Context, answer);
}

// ---------------------------------------------------------------- storage

namespace {

TStorageManager& Manager() {
    TStorageManager* manager = StorageManager();
    if (!manager) throw Exception("no storage manager");
    return *manager;
}

bool ContextDebug(TStorageManager& M, TSLContext* Context) {
    TScriptEngineInterface* engine = M.GetInterpreter();
    return engine && engine->GetContextDebug(Context);
}

// Shows a script the context reads to the debugger of its script task.
void TellDebugger(TStorageManager& M, TSLContext* Context, const MyAnsiString& Name, TSLStorageObject* Obj) {
    uint16_t id = 0;
    if (M.GetStorageIDManager().NameExist(Obj->GetName(), id) || M.GetStorageIDManager().NameExist(Name, id))
        M.GetInterpreter()->AddScriptToDebugger(Context, Name, id);
}

} // namespace

void TSLLoadObjProcedure::Execute(TSLContext* Context) {
    const MyAnsiString name = StringAt(Context, 0);
    TStorageManager& m = Manager();
    const bool debug = ContextDebug(m, Context);
    TRef<TSLStorageObject> obj(m.GetObject(name, saRead, debug));
    if (debug) TellDebugger(m, Context, name, obj.Get());
    TRef<TSLObject> data(obj->GetData());
    SLPopOperands(Context, 1);
    SLPushOperand(Context, data.Get());
}

void TSLLoadStoObjProcedure::Execute(TSLContext* Context) {
    const TStreamAccess access = ConvertAccessString(StringAt(Context, 0));
    const MyAnsiString name = StringAt(Context, 1);
    TStorageManager& m = Manager();
    const bool debug = ContextDebug(m, Context);
    TRef<TSLStorageObject> obj(m.GetObject(name, access, debug));
    if (debug) TellDebugger(m, Context, name, obj.Get());
    SLPopOperands(Context, 2);
    SLPushOperand(Context, obj.Get());
}

void TSLSaveObjProcedure::Execute(TSLContext* Context) {
    TRef<TSLObject> data(SLOperand(Context, 0));
    const MyAnsiString name = StringAt(Context, 1);
    TRef<TSLStorageObject> obj(Manager().CreateObject(name));
    obj->SetData(data.Get());
    obj->Write();
    SLPopOperands(Context, 2);
}

} // namespace vo
