#pragma once
// Where tests find the runtime files of data/: a path the build configures,
// never one found relative to the test program or the working folder (the
// build folder may lie anywhere).
#include <string>

namespace vo::test {

// The data/ folder of the source tree, without a trailing separator.
std::string DataDir();

} // namespace vo::test
