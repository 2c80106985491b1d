// slarc OUT.sla --root DIR [--scramble] FILE|FOLDER...
#include <cstdio>
#include <string>
#include <vector>

#include "tools/slarc/SlArc.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string err;
    const int rc = vo::slarc::Run(args, err);
    if (rc != 0) std::fprintf(stderr, "%s\n", err.c_str());
    return rc;
}
