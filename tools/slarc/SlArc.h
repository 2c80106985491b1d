#pragma once
// slarc: writes a program archive (".sla") from plain-text files of the text
// notation, with the program's own archive writer.
//
//   slarc OUT.sla --root DIR [--scramble] FILE|FOLDER...
//
// Every file becomes one entry named by its path relative to DIR, with "\"
// between folder levels; a folder stands for every file below it, in sorted
// order, so the archive never depends on the order of a directory listing.
// Each file is read once with the program's reader, so that a syntax error
// fails the build naming the file and line; the entry then holds the file's
// text as written (comments and line numbers kept). With --scramble the
// entries are stored in the "%SLE" form; the archive is reproducible (the
// scrambled form's random bytes come from a fixed source).
#include <string>
#include <vector>

namespace vo::slarc {

struct TOptions {
    std::string Output;
    std::string Root;
    std::vector<std::string> Inputs;
    bool Scramble = false;
};

// Parses the command line (without the program name); false and a message
// in Error for a malformed one.
bool ParseArguments(const std::vector<std::string>& Args, TOptions& Options, std::string& Error);

// The files to store, in order, each with its entry name. Raises vo::Exception
// for a missing input or one outside the root.
struct TInput {
    std::string Path; // real path
    std::string Entry; // entry name, "\" separators
};
std::vector<TInput> CollectInputs(const TOptions& Options);

// Writes the archive; raises vo::Exception (syntax errors name file and line).
void WriteArchive(const TOptions& Options);

// The whole program: 0 on success, 1 on errors (written to Err), 2 on usage.
int Run(const std::vector<std::string>& Args, std::string& Err);

} // namespace vo::slarc
