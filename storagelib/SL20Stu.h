#pragma once
// Name helpers the storage plug-ins share. Names are 8-bit strings with "\"
// as the only separator; a name is rooted when it starts with "\" or with a
// drive ("C:\").
#include <string_view>

#include "platform/AnsiString.h"
#include "storagelib/SL20StStrm.h"

namespace vo {

// The number of "\" characters.
int CountSlashes(std::string_view Name) noexcept;
// True for "\..." and for "X:\..." (at least three characters).
bool HasRootSlash(std::string_view Name) noexcept;
// The number of folder levels in front of the last name part.
int CountDirectories(std::string_view Name) noexcept;
// Splits Name after its first Level folder levels: A\B\f.stx with 2 gives
// A\B and f.stx, with 0 gives "." and A\B\f.stx; \f.stx with 0 gives "\" and
// f.stx. A level below 0 or above CountDirectories raises
// "DirIndex out of bounds in procedure SplitName".
void SplitName(std::string_view Name, int Level, MyAnsiString& Dir, MyAnsiString& Rest);

// "R", "W", "RW" in any letter case; anything else raises
// "illegal access attribute '%s'" with the upper-cased text.
TStreamAccess ConvertAccessString(std::string_view Text);
// "ASCII", "EASCII", "UNKNOWN" in any letter case; anything else raises
// "unknown storage object format '%s'" with the upper-cased text.
TStorageFormat ConvertFormatString(std::string_view Text);
// "ascii", "eascii" or "unknown".
MyAnsiString StorageFormatText(TStorageFormat Format);

// Name with its extension (the part from the last "." after the last "\")
// replaced by Ext ("" removes it).
MyAnsiString ChangeFileExt(std::string_view Name, std::string_view Ext);
// The last part of a name (after the last "\"), without a scheme.
MyAnsiString ExtractStoredFileName(std::string_view Name);

// Whether a stored name names an existing file / folder (the name is mapped
// with the platform's one stored-path mapping; a name the mapping refuses
// names nothing).
bool StoredFileExists(const MyAnsiString& Name);
bool StoredDirExists(const MyAnsiString& Name);
// The current folder as a stored name, without a trailing "\".
MyAnsiString CurrentStoredDir();

} // namespace vo
