// Fuzz target of the login answer decoders: the connection service's
// OvraDecodeLoginAnswer and the login pattern's Decode read the same frame
// (echo, result, facts ..). The service's decoder either refuses the frame
// with EOvraLoginAnswer or gives facts every later telegram can be shaped by;
// where both accept, they read the same facts. The same bytes as a
// "LoginData" text are refused with EOvraLoginAnswer or give checked facts.
#include "comm/QpLogin.h"
#include "devices/OvraConn.h"
#include "tests/fuzz/FuzzSupport.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

using namespace vo;

void CheckFacts(const TOvraLoginFacts& F, const std::string& Input) {
    if (F.AddrFieldSize < 3 || F.AddrFieldSize > 4 || F.DataFieldSize < 1 || F.DataFieldSize > 4 ||
        F.MaxBufferSize < 2 + F.DataFieldSize)
        fuzz::Fail("accepted facts no telegram can be shaped by", Input);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    const std::string frame(reinterpret_cast<const char*>(Data), Size);

    bool serviceTook = false;
    TOvraLoginFacts facts;
    try {
        facts = OvraDecodeLoginAnswer(frame);
        serviceTook = true;
    } catch (const EOvraLoginAnswer&) {
    }
    if (serviceTook) {
        CheckFacts(facts, frame);
        if (facts.DeviceString.size() > 16 || facts.DeviceString.find('\0') != std::string::npos)
            fuzz::Fail("device string longer than its field or with a 0x00", frame);
    }

    TLoginData data;
    uint8_t result = 0x5A; // kept when the frame is too short
    bool patternTook = true;
    try {
        TLoginPattern::Decode(frame, TOvraLoginFacts{}, result, data);
    } catch (const EOvraFrameTooShort&) {
        patternTook = false;
        if (result != 0x5A || data.ProtocolVersion != 0 || !data.DeviceString.empty())
            fuzz::Fail("a refused answer changed the record", frame);
    }
    if (patternTook && result == 0) {
        if (data.DeviceString.size() != TLoginPattern::DeviceStringSize)
            fuzz::Fail("device string not kept whole", frame);
        if (serviceTook) {
            const TOvraLoginFacts p = TLoginPattern::ToLoginFacts(data);
            if (p.ProtocolVersion != facts.ProtocolVersion || p.AddrFieldSize != facts.AddrFieldSize ||
                p.DataFieldSize != facts.DataFieldSize || p.AddrIncrement != facts.AddrIncrement ||
                p.MaxBufferSize != facts.MaxBufferSize || p.FlashBaseAddr != facts.FlashBaseAddr ||
                p.ProcessorType != facts.ProcessorType || p.DeviceType != facts.DeviceType)
                fuzz::Fail("the service and the pattern read different facts", frame);
        }
    }

    try {
        CheckFacts(OvraDecodeLoginData(frame), frame);
    } catch (const EOvraLoginAnswer&) {
    }
    return 0;
}
