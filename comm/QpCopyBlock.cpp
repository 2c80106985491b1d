#include "comm/QpCopyBlock.h"

#include <string>

namespace vo {

TOvraPatternClass& TCopyBlockPattern::Class() {
    static TQpPatternClass<TCopyBlockPattern> cls("TCopyBlockPattern");
    return cls;
}

void TCopyBlockPattern::Put(TOvraActor& Actor, int32_t RamAddr, int32_t FlashAddr, int32_t Size, int32_t User) const {
    if (Size < 0 || Size > 0xFFFF)
        throw Exception(ClassName() + ".Put: size " + std::to_string(Size) + " does not fit the telegram");
    TOvraPattern::Put(Actor, TData{RamAddr, FlashAddr, Size}, User);
}

void TCopyBlockPattern::Encode(const TData& Data, const TOvraLoginFacts& Facts, MyAnsiString& Frame) {
    FrmPutInt(static_cast<uint32_t>(Data.RamAddr), Facts.AddrFieldSize, Frame);
    FrmPutInt(static_cast<uint32_t>(Data.FlashAddr), Facts.AddrFieldSize, Frame);
    FrmPutInt(static_cast<uint32_t>(Data.Size), 2, Frame);
}

void TCopyBlockPattern::Decode(const MyAnsiString& Frame, const TOvraLoginFacts&, uint8_t& Result, TData&) {
    int i = 0;
    Result = FrmGetResult(Frame, i);
}

} // namespace vo
