// What one variable puts into a batch of drive telegrams and takes from the
// answers.
#include "devices/QsBasic.h"
#include "parameters/varItem.h"
#include "parameters/varService.h"
#include "platform/Exception.h"

namespace vo {

namespace {

constexpr std::uint8_t RamSelect = 0x01; // UPID telegrams address the RAM value

MyAnsiString UpidBytes(std::int32_t UPID) {
    MyAnsiString r;
    r += static_cast<char>(RamSelect);
    r += static_cast<char>(UPID & 0xFF);
    r += static_cast<char>((UPID >> 8) & 0xFF);
    return r;
}

template <class TPattern>
TPattern& Need(TPattern* Pattern, const char* What) {
    if (!Pattern)
        throw Exception(MyAnsiString("TVarItem.SetActorData: the drive has no telegram for ") + What);
    return *Pattern;
}

} // namespace

TVarTelegramPatterns TVarTelegramPatterns::Of(TBasicOvraService& Service) {
    TVarTelegramPatterns p;
    p.GetParWithUPID = Service.GetParWithUPID();
    p.SetParWithUPID = Service.SetParWithUPID();
    p.GetBlockUPID = Service.GetBlockUPID();
    p.SetBlockUPID = Service.SetBlockUPID();
    p.GetMemoryBlock = Service.GetMemoryBlock();
    p.SetMemoryBlock = Service.SetMemoryBlock();
    p.MaskMemoryWord = Service.MaskMemoryWord();
    p.FourX = (Service.ProtocolVersion() >> 4) == 4;
    return p;
}

void TVarItem::SetActorData(TOvraActor& Actor, TBasicOvraService& Service) {
    SetActorData(Actor, TVarTelegramPatterns::Of(Service));
}

void TVarItem::GetActorData(TOvraActor& Actor, TBasicOvraService& Service) {
    GetActorData(Actor, TVarTelegramPatterns::Of(Service));
}

void TVarItem::SetActorData(TOvraActor& Actor, const TVarTelegramPatterns& Service) {
    const int type = TVariableManager::StrToVarType(FVarType);
    const bool isString = type == 8;
    const bool byUpid = FVarSourceType != vstUserDefined;
    const bool block = isString && Service.FourX;
    if (CheckFlag(vfWriteReq)) {
        SetFlag(vfWriteExe);
        ClearFlag(vfWriteReq);
        ClearFlag(vfValid);
        if (byUpid) {
            MyAnsiString request = UpidBytes(FDeviceUPID) + FData;
            if (block) {
                if (static_cast<int>(FData.size()) < GetDataSize())
                    request += '\0';
                Need(Service.SetBlockUPID, "block writes by UPID").Put(Actor, request, 0);
            } else {
                Need(Service.SetParWithUPID, "writes by UPID").Put(Actor, request, 0);
            }
        } else if (type == 7) {
            const std::uint32_t mask = 1u << (FBitAddr & 31);
            std::uint32_t data = 0;
            for (std::size_t i = FData.size(); i-- > 0;) data = (data << 8) | static_cast<unsigned char>(FData[i]);
            Need(Service.MaskMemoryWord, "masked writes")
                .Put(Actor, static_cast<std::int32_t>(FAddress), static_cast<std::int32_t>(data),
                     static_cast<std::int32_t>(mask), 0);
        } else {
            Need(Service.SetMemoryBlock, "block writes")
                .Put(Actor, static_cast<std::int32_t>(FAddress), FData.substr(0, 255), 0);
        }
    }
    if (CheckFlag(vfReadReq)) {
        SetFlag(vfReadExe);
        ClearFlag(vfReadReq);
        ClearFlag(vfValid);
        if (byUpid) {
            MyAnsiString request = UpidBytes(FDeviceUPID);
            if (block) {
                request += static_cast<char>(GetDataSize());
                Need(Service.GetBlockUPID, "block reads by UPID").Put(Actor, request, 0);
            } else {
                Need(Service.GetParWithUPID, "reads by UPID").Put(Actor, request, 0);
            }
        } else {
            Need(Service.GetMemoryBlock, "block reads")
                .Put(Actor, static_cast<std::int32_t>(FAddress), static_cast<std::uint8_t>(GetDataSize()), 0);
        }
    }
}

void TVarItem::GetActorData(TOvraActor& Actor, const TVarTelegramPatterns& Service) {
    const int type = TVariableManager::StrToVarType(FVarType);
    const bool isString = type == 8;
    if (CheckFlag(vfWriteExe)) {
        ClearFlag(vfWriteExe);
        if (Actor.GetResult() == 0)
            SetFlag(vfValid);
        Actor.Next();
    }
    if (CheckFlag(vfReadExe)) {
        ClearFlag(vfReadExe);
        if (Actor.GetResult() == 0) {
            try {
                MyAnsiString bytes;
                if (FVarSourceType == vstUserDefined)
                    bytes = Need(Service.GetMemoryBlock, "block reads").GetData(Actor);
                else if (isString && Service.FourX)
                    bytes = Need(Service.GetBlockUPID, "block reads by UPID").GetResponse(Actor);
                else
                    bytes = Need(Service.GetParWithUPID, "reads by UPID").GetResponse(Actor);
                if (isString) {
                    if (static_cast<int>(bytes.size()) > GetDataSize())
                        bytes.resize(static_cast<std::size_t>(GetDataSize()));
                    SetDataCache(bytes);
                } else if (static_cast<int>(bytes.size()) >= static_cast<int>(FSize)) {
                    SetDataCache(bytes);
                }
            } catch (const std::exception&) {
                // An answer this variable cannot take leaves it invalid; the
                // batch goes on with the next record.
                ClearFlag(vfValid);
            }
        }
        Actor.Next();
    }
}

} // namespace vo
