#pragma once
// The command line as two containers the program queries by name: the
// dictionary of switches ("-Name" or "-Name:value"; key the name without "-",
// value the text after the first ":" or empty) and the array of plain
// arguments, both in command-line order. A switch given twice (in any letter
// case) is reported to the user as
// "Error: Command Line Parameter Duplication of '-%s'"; the first one keeps
// its value. An empty argument ends the list.
#include <string>
#include <vector>

#include "storagelib/SL20Arr.h"
#include "storagelib/SL20Dic.h"

namespace vo {

// The switches and the plain arguments of the last ReadProgramParameters
// (empty containers before it).
TSLDictionary* ProgParamDict();
TSLArray* ProgParamArray();

// Replaces both containers with new ones filled from Args (the arguments
// after the program path, UTF-8, already split). An argument that cannot be
// taken is shown to the user in a message box and skipped.
void ReadProgramParameters(const std::vector<std::string>& Args);
// The same from main's arguments (argv[0], the program, is skipped).
void ReadProgramParameters(int argc, const char* const* argv);
// The same from the running process's own command line.
void ReadProgramParameters();

} // namespace vo
