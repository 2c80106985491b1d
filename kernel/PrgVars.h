#pragma once
// The program's folders, set by the shell at start-up (stored names with a
// trailing "\"). Empty until set; users fall back to their own defaults.
#include "platform/AnsiString.h"

namespace vo {

// The program folder: module descriptions lie in its "Firmware" subfolder.
const MyAnsiString& WorkDir();
// Adds the trailing "\" when it is missing (an empty name stays empty).
void SetWorkDir(const MyAnsiString& Dir);

} // namespace vo
