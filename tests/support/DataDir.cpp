#include "tests/support/DataDir.h"

namespace vo::test {

std::string DataDir() { return VO_DATA_DIR; }

} // namespace vo::test
