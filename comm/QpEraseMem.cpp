#include "comm/QpEraseMem.h"

namespace vo {

TOvraPatternClass& TEraseMemPattern::Class() {
    static TQpPatternClass<TEraseMemPattern> cls("TEraseMemPattern");
    return cls;
}

} // namespace vo
