#pragma once
// Stored file names -> real paths. Names stored in settings, configurations,
// scripts and archives are CP1252 text with "\" as separator and compare
// without regard to case (they come from Windows). Everything that opens a
// file goes through StoredPathToRealPath.
#include "platform/AnsiString.h"

#include <filesystem>

namespace vo {

// Maps a stored name to a real path:
// - "\" and "/" both separate components; the text is converted to UTF-8;
// - a leading separator makes the path absolute, otherwise it is relative to
//   Base (the current folder when Base is empty);
// - "." components are dropped and ".." goes up one component;
// - every component that exists is matched without regard to case (an exact
//   match wins; among several case variants the first in name order);
//   components from the first one that does not exist on are kept as given,
//   so new files and folders can be created under the stored name.
// Raises vo::Exception for an empty name, a drive letter ("C:...") or a
// network name ("\\server\...").
std::filesystem::path StoredPathToRealPath(const MyAnsiString& Stored, const std::filesystem::path& Base = {});

// The stored form of a real path: UTF-8 to CP1252, "/" to "\".
MyAnsiString RealPathToStored(const std::filesystem::path& Real);

} // namespace vo
