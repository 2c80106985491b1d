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

// A text is not a valid number, or a number does not fit its target
// ("'%s' is not a valid integer value").
class EConvertError : public Exception {
public:
    using Exception::Exception;
};

// A value is not of the class an operation requires ("Invalid class typecast").
class EInvalidCast : public Exception {
public:
    EInvalidCast() : Exception("Invalid class typecast") {}
    using Exception::Exception;
};

// An abstract operation was called.
class EAbstractError : public Exception {
public:
    EAbstractError() : Exception("Abstract Error") {}
};

} // namespace vo
