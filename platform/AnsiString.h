#pragma once
// MyAnsiString: the system's 8-bit string, bytes of code page 1252. Every name,
// key, caption, path and payload of the data model, the telegrams and the stored
// files is one. Convert to UTF-8 only at the GUI and file-name boundary
// (platform/Cp1252.h).
#include <string>

namespace vo {
using MyAnsiString = std::string;
} // namespace vo
