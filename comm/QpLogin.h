#pragma once
// Login: logs in to the drive and reads its login answer, the facts that shape
// every later telegram (address and data widths, address increment, buffer
// size) and the drive's identity.
// Request: the password's bytes, at most 16, unchanged (no length byte).
// Answer, in this order: ProtocolVersion (1), AddrFieldSize A (1),
// DataFieldSize D (1), AddrIncrement (1), MaxBufferSize (1), ProcessorType,
// DeviceType, DeviceVersion, FlashType (2 each), FlashBaseAddr (the A bytes
// just received), DeviceString (16, kept whole).
// Command 0x01 (FDeviceLogin).
//
// An answer whose facts cannot shape a telegram (an address size outside 1 to
// 4, a data size of 0) gets the result OvraResBadReply and its fields are not
// taken.
#include "comm/QpFrame.h"

namespace vo {

struct TLoginData {
    MyAnsiString Password; // at most 16 bytes
    uint8_t ProtocolVersion = 0;
    uint8_t DataFieldSize = 0;
    uint8_t AddrFieldSize = 0;
    uint8_t AddrIncrement = 0;
    uint8_t MaxBufferSize = 0;
    uint16_t ProcessorType = 0;
    uint16_t DeviceType = 0;
    uint16_t DeviceVersion = 0;
    uint16_t FlashType = 0;
    int32_t FlashBaseAddr = 0;
    MyAnsiString DeviceString; // 16 bytes after a login answer
};
using TLoginRecord = TOvraRecord<TLoginData>;

class TLoginPattern : public TOvraPattern {
public:
    using TData = TLoginData;
    static TOvraPatternClass& Class();
    static constexpr size_t PasswordMax = 16;
    static constexpr size_t DeviceStringSize = 16;

    TLoginPattern(TOvraService* AOwner, uint8_t AOvraId) : TOvraPattern(AOwner, AOvraId) {}
    const TOvraPatternClass& PatternClass() const override { return Class(); }

    // Keeps the first 16 bytes of Password.
    void Put(TOvraActor& Actor, const MyAnsiString& Password, int32_t User) const;
    TData Get(TOvraActor& Actor) const { return TOvraPattern::Get<TData>(Actor).RecDat; }
    uint8_t GetProtocolVersion(TOvraActor& Actor) const { return Get(Actor).ProtocolVersion; }
    uint8_t GetDataFieldSize(TOvraActor& Actor) const { return Get(Actor).DataFieldSize; }
    uint8_t GetAddrFieldSize(TOvraActor& Actor) const { return Get(Actor).AddrFieldSize; }
    uint8_t GetAddrIncrement(TOvraActor& Actor) const { return Get(Actor).AddrIncrement; }
    uint8_t GetMaxBufferSize(TOvraActor& Actor) const { return Get(Actor).MaxBufferSize; }
    uint16_t GetProcessorType(TOvraActor& Actor) const { return Get(Actor).ProcessorType; }
    uint16_t GetDeviceType(TOvraActor& Actor) const { return Get(Actor).DeviceType; }
    uint16_t GetDeviceVersion(TOvraActor& Actor) const { return Get(Actor).DeviceVersion; }
    uint16_t GetFlashType(TOvraActor& Actor) const { return Get(Actor).FlashType; }
    int32_t GetFlashBaseAddr(TOvraActor& Actor) const { return Get(Actor).FlashBaseAddr; }
    MyAnsiString GetDeviceString(TOvraActor& Actor) const { return Get(Actor).DeviceString; }

    // The login facts of a decoded login answer (the device string as it
    // came, all 16 bytes).
    static TOvraLoginFacts ToLoginFacts(const TData& Data);

    static void Encode(const TData& Data, const TOvraLoginFacts& Facts, MyAnsiString& Frame);
    static void Decode(const MyAnsiString& Frame, const TOvraLoginFacts& Facts, uint8_t& Result, TData& Data);
};

} // namespace vo
