#include "comm/QpFrame.h"

namespace vo {

TOvraLoginFacts RecordFacts(const TServiceRecordHeader& Header) {
    if (const TOvraService* s = Header.OvraSrv.Get())
        return s->LoginFacts();
    return {};
}

MyAnsiString FrmGetBytes(const MyAnsiString& Frame, int& Index, size_t N) {
    if (N == 0)
        return {};
    if (Index < 1 || static_cast<size_t>(Index) - 1 + N > Frame.size())
        throw EOvraFrameTooShort("FrmGetBytes: frame too short (" + std::to_string(N) + " bytes at position " +
                                 std::to_string(Index) + " of " + std::to_string(Frame.size()) + ")");
    MyAnsiString out = Frame.substr(static_cast<size_t>(Index) - 1, N);
    Index += static_cast<int>(N);
    return out;
}

MyAnsiString FrmGetCounted(const MyAnsiString& Frame, int& Index) {
    const size_t n = FrmGetInt(Frame, Index, 1);
    return FrmGetBytes(Frame, Index, n);
}

uint8_t FrmGetResult(const MyAnsiString& Frame, int& Index) {
    Index = 2;
    return static_cast<uint8_t>(FrmGetInt(Frame, Index, 1));
}

void CheckShortString(const MyAnsiString& ClassName, const char* What, const MyAnsiString& S) {
    if (S.size() > OvraShortStringMax)
        throw Exception(ClassName + ".Put: " + What + " of " + std::to_string(S.size()) +
                        " bytes is longer than 255 bytes");
}

} // namespace vo
