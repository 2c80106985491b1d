#include "comm/QpRegister.h"

#include "comm/QpBytePar.h"
#include "comm/QpCopyBlock.h"
#include "comm/QpCurve.h"
#include "comm/QpCustom.h"
#include "comm/QpEraseMem.h"
#include "comm/QpFndInf.h"
#include "comm/QpGetBlk.h"
#include "comm/QpGetFirstEmpty.h"
#include "comm/QpGetStat.h"
#include "comm/QpGetStr.h"
#include "comm/QpGetWrd.h"
#include "comm/QpInstance.h"
#include "comm/QpLogin.h"
#include "comm/QpOneAdr.h"
#include "comm/QpSetBit.h"
#include "comm/QpSetBlk.h"
#include "comm/QpSetStr.h"
#include "comm/QpSetWrd.h"
#include "comm/QpSimple.h"

#include <string>

namespace vo {

std::array<TOvraPatternClass*, 19> OvraPatternClasses() {
    return {&TLoginPattern::Class(), &TGetWordPattern::Class(), &TSetWordPattern::Class(),
            &TGetBlockPattern::Class(), &TSetBlockPattern::Class(), &TSimplePattern::Class(),
            &TAddrActionPattern::Class(), &TGetStringPattern::Class(), &TSetStringPattern::Class(),
            &TCustomPattern::Class(), &TFindInfoPattern::Class(), &TGetStatusPattern::Class(),
            &TSetBitPattern::Class(), &TInstancePattern::Class(), &TCopyBlockPattern::Class(),
            &TGetFirstEmptyPattern::Class(), &TEraseMemPattern::Class(), &TCurvePattern::Class(),
            &TByteActionPattern::Class()};
}

void RegisterOvraPatterns(TOvraClient& Client) {
    if (Client.PatternCount() != 0)
        throw Exception("RegisterOvraPatterns: the client holds " + std::to_string(Client.PatternCount()) +
                        " pattern classes already");
    for (TOvraPatternClass* c : OvraPatternClasses())
        Client.RegisterOvraPattern(*c);
}

} // namespace vo
