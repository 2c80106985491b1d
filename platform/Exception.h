#pragma once
// The program's general exception class. Errors inside the system are raised as
// this class (or a class derived from it) with a message that starts with the
// raising class's name, a point, the operation and a colon.
#include <stdexcept>
#include <string>

namespace vo {

class Exception : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
    explicit Exception(const std::string& msg) : std::runtime_error(msg) {}
};

} // namespace vo
