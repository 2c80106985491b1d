#include "comm/QpLogin.h"

namespace vo {

TOvraPatternClass& TLoginPattern::Class() {
    static TQpPatternClass<TLoginPattern> cls("TLoginPattern");
    return cls;
}

void TLoginPattern::Put(TOvraActor& Actor, const MyAnsiString& Password, int32_t User) const {
    TData d;
    d.Password = Password.substr(0, PasswordMax);
    TOvraPattern::Put(Actor, std::move(d), User);
}

TOvraLoginFacts TLoginPattern::ToLoginFacts(const TData& Data) {
    TOvraLoginFacts f;
    f.ProtocolVersion = Data.ProtocolVersion;
    f.DataFieldSize = Data.DataFieldSize;
    f.AddrFieldSize = Data.AddrFieldSize;
    f.AddrIncrement = Data.AddrIncrement;
    f.MaxBufferSize = Data.MaxBufferSize;
    f.ProcessorType = Data.ProcessorType;
    f.DeviceType = Data.DeviceType;
    f.DeviceVersion = Data.DeviceVersion;
    f.FlashType = Data.FlashType;
    f.FlashBaseAddr = Data.FlashBaseAddr;
    f.DeviceString = Data.DeviceString;
    return f;
}

void TLoginPattern::Encode(const TData& Data, const TOvraLoginFacts&, MyAnsiString& Frame) {
    Frame += Data.Password.substr(0, PasswordMax);
}

void TLoginPattern::Decode(const MyAnsiString& Frame, const TOvraLoginFacts&, uint8_t& Result, TData& Data) {
    int i = 0;
    const uint8_t res = FrmGetResult(Frame, i);
    if (res != 0) {
        Result = res;
        return;
    }
    TData d = Data;
    d.ProtocolVersion = static_cast<uint8_t>(FrmGetInt(Frame, i, 1));
    d.AddrFieldSize = static_cast<uint8_t>(FrmGetInt(Frame, i, 1)); // the address width comes first
    d.DataFieldSize = static_cast<uint8_t>(FrmGetInt(Frame, i, 1));
    d.AddrIncrement = static_cast<uint8_t>(FrmGetInt(Frame, i, 1));
    d.MaxBufferSize = static_cast<uint8_t>(FrmGetInt(Frame, i, 1));
    if (d.AddrFieldSize < 1 || d.AddrFieldSize > 4 || d.DataFieldSize == 0) {
        // No telegram could be shaped by these facts.
        Result = OvraResBadReply;
        return;
    }
    d.ProcessorType = static_cast<uint16_t>(FrmGetInt(Frame, i, 2));
    d.DeviceType = static_cast<uint16_t>(FrmGetInt(Frame, i, 2));
    d.DeviceVersion = static_cast<uint16_t>(FrmGetInt(Frame, i, 2));
    d.FlashType = static_cast<uint16_t>(FrmGetInt(Frame, i, 2));
    d.FlashBaseAddr = static_cast<int32_t>(FrmGetInt(Frame, i, d.AddrFieldSize));
    d.DeviceString = FrmGetBytes(Frame, i, DeviceStringSize);
    Result = res;
    Data = std::move(d);
}

} // namespace vo
