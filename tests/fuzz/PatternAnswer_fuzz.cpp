// Fuzz target of the telegram patterns' answer decoders: the first input byte
// chooses the pattern kind, the second the drive's login facts (bit 0: A = 3
// or 4, bits 1..2: D = 1 to 4), the third the size a block or string request
// asked for; the rest is the answer frame (echo, result, data).
//
// Every decoder either raises EOvraFrameTooShort and leaves the result as it
// was (all or nothing), or takes the frame's result byte (the login pattern
// may also refuse facts with OvraResBadReply); a block read brings exactly
// the size asked for.
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
#include "tests/fuzz/FuzzSupport.h"

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>
#include <type_traits>

namespace {

using namespace vo;

constexpr uint8_t Untouched = 0x5A;

template <class TPattern>
void Run(const std::string& Frame, const TOvraLoginFacts& Facts, uint8_t Asked) {
    using TData = typename TPattern::TData;
    TData data{};
    if constexpr (requires { data.Size; })
        data.Size = Asked;
    if constexpr (requires { data.MaxSize; })
        data.MaxSize = Asked;
    uint8_t result = Untouched;
    try {
        TPattern::Decode(Frame, Facts, result, data);
    } catch (const EOvraFrameTooShort&) {
        if (result != Untouched)
            fuzz::Fail("a refused answer changed the result", Frame);
        return;
    }
    if (Frame.size() < 2)
        fuzz::Fail("an answer without a result byte was taken", Frame);
    const auto frameResult = static_cast<uint8_t>(Frame[1]);
    const bool loginRefused = std::is_same_v<TPattern, TLoginPattern> && result == OvraResBadReply;
    if (result != frameResult && !loginRefused)
        fuzz::Fail("the result is not the frame's result byte", Frame);
    if constexpr (std::is_same_v<TPattern, TGetBlockPattern>) {
        if (result == 0 && data.Data.size() != Asked)
            fuzz::Fail("a block read brought another size than asked", Frame);
    }
    if constexpr (std::is_same_v<TPattern, TGetStringPattern>) {
        if (result == 0 && data.Data.size() != Asked)
            fuzz::Fail("a string read brought another size than asked", Frame);
    }
}

using TRunner = void (*)(const std::string&, const TOvraLoginFacts&, uint8_t);
constexpr TRunner Runners[] = {
    &Run<TByteActionPattern>,
    &Run<TCopyBlockPattern>,
    &Run<TCurvePattern>,
    &Run<TCustomPattern>,
    &Run<TEraseMemPattern>,
    &Run<TFindInfoPattern>,
    &Run<TGetBlockPattern>,
    &Run<TGetFirstEmptyPattern>,
    &Run<TGetStatusPattern>,
    &Run<TGetStringPattern>,
    &Run<TGetWordPattern>,
    &Run<TInstancePattern>,
    &Run<TLoginPattern>,
    &Run<TAddrActionPattern>,
    &Run<TSetBitPattern>,
    &Run<TSetBlockPattern>,
    &Run<TSetStringPattern>,
    &Run<TSetWordPattern>,
    &Run<TSimplePattern>,
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    if (Size < 3)
        return 0;
    TOvraLoginFacts facts;
    facts.ProtocolVersion = (Data[1] & 1) ? 0x41 : 0x31;
    facts.AddrFieldSize = static_cast<uint8_t>(3 + (Data[1] & 1));
    facts.DataFieldSize = static_cast<uint8_t>(1 + ((Data[1] >> 1) & 3));
    facts.AddrIncrement = 1;
    facts.MaxBufferSize = 255;
    const std::string frame(reinterpret_cast<const char*>(Data) + 3, Size - 3);
    Runners[Data[0] % std::size(Runners)](frame, facts, Data[2]);
    return 0;
}
