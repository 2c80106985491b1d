#pragma once
// The integer and number conversion error of the whole program: a text that
// is no valid number, or a number that does not fit its target
// ("'%s' is not a valid integer value").
#include "platform/Exception.h"

namespace vo {

class EConvertError : public Exception {
public:
    using Exception::Exception;
};

} // namespace vo
