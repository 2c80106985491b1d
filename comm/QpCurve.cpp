#include "comm/QpCurve.h"

namespace vo {

TOvraPatternClass& TCurvePattern::Class() {
    static TQpPatternClass<TCurvePattern> cls("TCurvePattern");
    return cls;
}

} // namespace vo
