#pragma once
// Built-in file, folder, time, dialog and storage procedures of the "System"
// dictionary: the procedures that reach outside the script.
//
// Paths are stored names ("\" separators, matched without regard to case on
// the real file system) and go through the platform's one stored-path mapping;
// results name paths the same way. Attributes and times of the file system
// are given as the script language knows them: attribute bits (read-only 0x01,
// hidden 0x02, directory 0x10, archive 0x20 for a plain file) and last-write
// times packed in the MS-DOS date and time format, local time.
//
// The boolean procedures report failure by false and raise nothing; "chdir"
// raises an input/output error. "msgdlg" asks the user through the
// program-wide user prompt (a Qt message box in the program, a scripted
// answer in tests). "beep" sounds through a replaceable handler that does
// nothing by default.
#include <cstdint>
#include <ctime>
#include <functional>
#include <string_view>

#include "platform/AnsiString.h"
#include "platform/Exception.h"
#include "storagelib/SL20Prc.h"

namespace vo {

// An input/output error of the file system: "File not found" (2), "Invalid
// filename" (3), "Too many open files" (4), "File access denied" (5), "Disk
// full" (101), otherwise "I/O error %d".
class EInOutError : public Exception {
public:
    explicit EInOutError(int32_t AErrorCode);
    int32_t ErrorCode;
};
// The error of a failed system call with that errno value.
EInOutError SLInOutErrorFromErrno(int Errno);

// ---------------------------------------------------------------- file attributes

inline constexpr int32_t faReadOnly = 0x01;
inline constexpr int32_t faHidden = 0x02;
inline constexpr int32_t faSysFile = 0x04;
inline constexpr int32_t faVolumeID = 0x08;
inline constexpr int32_t faDirectory = 0x10;
inline constexpr int32_t faArchive = 0x20;
inline constexpr int32_t faAnyFile = 0x3F;

// The attribute bits of a stored path (links followed); -1 when nothing is
// there.
int32_t SLFileGetAttr(const MyAnsiString& Path);
// A time as MS-DOS date (high 16 bits) and time (low 16 bits); 0 outside the
// years 1980 to 2107.
int32_t SLDateTimeToFileDate(const std::tm& Local);
// Whether Name matches a file-name pattern with "*" and "?", compared without
// regard to case; "*.*" matches every name, a pattern ending in "." names
// without an extension.
bool SLMatchesMask(std::string_view Name, std::string_view Mask);

// Parts of a stored path, split at the last "\" or ":".
MyAnsiString SLExtractFilePath(std::string_view Path);
MyAnsiString SLExtractFileName(std::string_view Path);
MyAnsiString SLExtractFileExt(std::string_view Path);
MyAnsiString SLChangeFileExt(std::string_view Path, std::string_view Ext);

// ---------------------------------------------------------------- clock and formats

// The program's date and time format settings. The picture language is the
// one of "datetime": d dd ddd dddd ddddd dddddd, m mm mmm mmmm (minutes right
// after an hour), yy yyyy, h hh, n nn, s ss, z zzz, t tt, c, am/pm a/p ampm,
// "/" the date separator, ":" the time separator, quoted literals; letters
// in either case; anything else is copied.
struct TSLFormatSettings {
    MyAnsiString ShortDateFormat = "dd/mm/yyyy";
    MyAnsiString LongDateFormat = "dddd, d mmmm yyyy";
    MyAnsiString ShortTimeFormat = "hh:nn";
    MyAnsiString LongTimeFormat = "hh:nn:ss";
    char DateSeparator = '.';
    char TimeSeparator = ':';
    MyAnsiString TimeAMString = "AM";
    MyAnsiString TimePMString = "PM";
};
// The program-wide settings (changeable).
TSLFormatSettings& SLFormatSettings();

// A local date and time with milliseconds.
struct TSLDateTime {
    std::tm Local{};
    int32_t Millisecond = 0;
};
// The current local time; tests replace the clock (nil restores the system's).
TSLDateTime SLNow();
void SLSetClock(std::function<TSLDateTime()> Clock);

// Time formatted by a picture.
MyAnsiString SLFormatDateTime(std::string_view Format, const TSLDateTime& Time,
                              const TSLFormatSettings& Settings = SLFormatSettings());

// The alert sound of "beep" (nothing by default; the program may set one).
void SLSetBeepHandler(std::function<void()> Handler);

// ---------------------------------------------------------------- the procedures

// Files and folders.
VO_SL_PROCEDURE(TSLChDirProcedure); // "chdir"            path ->
VO_SL_PROCEDURE(TSLSetCurrentDirProcedure); // "setcurrentdir"    path -> bool
VO_SL_PROCEDURE(TSLGetCurrentDirProcedure); // "getcurrentdir"    -> path
VO_SL_PROCEDURE(TSLGetDirProcedure); // "getdir"           drive -> path
VO_SL_PROCEDURE(TSLCreateDirProcedure); // "createdir"        path -> bool
VO_SL_PROCEDURE(TSLForceDirectoriesProcedure); // "forcedirectories" path -> bool
VO_SL_PROCEDURE(TSLRemoveDirProcedure); // "removedir"        path -> bool
VO_SL_PROCEDURE(TSLDirectoryExistsProcedure); // "directoryexists"  path -> bool
VO_SL_PROCEDURE(TSLFileExistProcedure); // "fileexist"        path -> bool
VO_SL_PROCEDURE(TSLDeleteFileProcedure); // "deletefile"       path -> bool
VO_SL_PROCEDURE(TSLRenameFileProcedure); // "renamefile"       old new -> bool
VO_SL_PROCEDURE(TSLFileGetAttrProcedure); // "filegetattr"      path -> attr
VO_SL_PROCEDURE(TSLFileSearchProcedure); // "filesearch"       name list -> path
VO_SL_PROCEDURE(TSLGetDirContentsProcedure); // "getdircontents"   pattern attr -> array
VO_SL_PROCEDURE(TSLExtFilePathProcedure); // "extfilepath"      path -> folder
VO_SL_PROCEDURE(TSLExtFileNameProcedure); // "extfilename"      path -> name
VO_SL_PROCEDURE(TSLExtFileExtProcedure); // "extfileext"       path -> ext
VO_SL_PROCEDURE(TSLChFileExtProcedure); // "chfileext"        path ext -> path'
// Clock, user and storage.
VO_SL_PROCEDURE(TSLDateProcedure); // "date"       -> string
VO_SL_PROCEDURE(TSLTimeProcedure); // "time"       -> string
VO_SL_PROCEDURE(TSLDateTimeProcedure); // "datetime"   format -> string
VO_SL_PROCEDURE(TSLBeepProcedure); // "beep"       ->
VO_SL_PROCEDURE(TSLMsgDlgProcedure); // "msgdlg"     message type buttons -> answer
VO_SL_PROCEDURE(TSLLoadObjProcedure); // "loadobj"    name -> data
VO_SL_PROCEDURE(TSLLoadStoObjProcedure); // "loadstoobj" name access -> storage
VO_SL_PROCEDURE(TSLSaveObjProcedure); // "saveobj"    name obj ->

} // namespace vo
