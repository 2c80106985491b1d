#include "kernel/MsgTools.h"

#include <cstdio>

#include "kernel/functions.h"

namespace vo {

namespace {
constexpr std::uint8_t TAB = 0x09;
constexpr std::uint8_t CR = 0x0D;

bool HasSeparator(const MyAnsiString& s) {
    return s.find(static_cast<char>(TAB)) != MyAnsiString::npos || s.find(static_cast<char>(CR)) != MyAnsiString::npos;
}
} // namespace

// ---------------------------------------------------------------- writer

TMxMessage* TMessageWriter::Message(const char* Operation) const {
    if (!FMessage) throw Exception(std::string("TMessageWriter.") + Operation + ": no message");
    return FMessage;
}

void TMessageWriter::CreateMessage() { FMessage = TMxMessage::Create(); }

void TMessageWriter::SetItem(TMxMessage* Msg) {
    FMessage = Msg;
    if (Msg) Msg->Clear();
}

void TMessageWriter::PutCommand(const MyAnsiString& Data) {
    if (Data.empty()) throw Exception("PutCommand: Empty Data");
    if (HasSeparator(Data)) throw Exception("TMessageWriter.PutCommand: TAB or CR in Data");
    TMxMessage* m = Message("PutCommand");
    if (m->GetSize() > 0) m->AddByte(CR);
    m->AddText(Data);
}

void TMessageWriter::PutParameter(const MyAnsiString& Data) {
    if (Data.empty()) throw Exception("TMessageWriter.PutParameter: Empty Data");
    if (HasSeparator(Data)) throw Exception("TMessageWriter.PutParameter: TAB or CR in Data");
    TMxMessage* m = Message("PutParameter");
    if (m->GetSize() == 0) throw Exception("TMessageWriter.PutParameter: need a PutCommand first");
    m->AddByte(TAB);
    m->AddText(Data);
}

// ---------------------------------------------------------------- reader

void TMessageReader::SetItem(TMxMessage* Msg) {
    FMessage = Msg;
    FStarted = false;
    if (Msg)
        BufferPointer.AssignBuffer(&Msg->Buffer());
    else
        BufferPointer.AssignBuffer(nullptr);
}

void TMessageReader::DestroyMessage() {
    TMxMessage::Free(FMessage);
    FMessage = nullptr;
    FStarted = false;
    BufferPointer.AssignBuffer(nullptr);
}

bool TMessageReader::AtEnd() const { return !FMessage || BufferPointer.EndOfBuffer(); }

std::uint8_t TMessageReader::Current() { return BufferPointer.GetByte(); }

MyAnsiString TMessageReader::ReadField() {
    MyAnsiString r;
    while (!AtEnd()) {
        std::uint8_t b = Current();
        if (b == TAB || b == CR) break;
        r.push_back(static_cast<char>(b));
        BufferPointer.Increment();
    }
    return r;
}

MyAnsiString TMessageReader::GetCommand() {
    if (AtEnd()) return {};
    if (FStarted) {
        while (!AtEnd() && Current() != CR) BufferPointer.Increment();
        if (AtEnd()) return {};
        BufferPointer.Increment(); // past the CR
    }
    FStarted = true;
    MyAnsiString r = ReadField();
    if (r.empty())
        throw EMessageFormatError("TMessageReader.GetCommand: empty command field at byte " +
                                  std::to_string(BufferPointer.Position()));
    return r;
}

MyAnsiString TMessageReader::GetParameter() {
    if (!FStarted || AtEnd() || Current() != TAB) return {};
    BufferPointer.Increment();
    MyAnsiString r = ReadField();
    if (r.empty())
        throw EMessageFormatError("TMessageReader.GetParameter: empty parameter field at byte " +
                                  std::to_string(BufferPointer.Position()));
    return r;
}

// ---------------------------------------------------------------- scalars

MyAnsiString MsgIntToText(std::int32_t Value) {
    char buf[12];
    std::snprintf(buf, sizeof buf, "%X", static_cast<unsigned>(static_cast<std::uint32_t>(Value)));
    return buf;
}

std::int32_t MsgTextToInt(const MyAnsiString& Text) {
    bool ok = !Text.empty() && Text.size() <= 8;
    for (char c : Text)
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'))) ok = false;
    if (!ok) throw EConvertError("'$" + Text + "' is not a valid integer value");
    return StrToInt("$" + Text);
}

void MsgPutInt(TMessageWriter& Writer, std::int32_t Value) { Writer.PutParameter(MsgIntToText(Value)); }

std::int32_t MsgGetInt(TMessageReader& Reader) { return MsgTextToInt(Reader.GetParameter()); }

void MsgPutStr(TMessageWriter& Writer, const MyAnsiString& Data) {
    MsgPutInt(Writer, static_cast<std::int32_t>(Data.size()));
    for (char c : Data) MsgPutInt(Writer, static_cast<std::uint8_t>(c));
}

MyAnsiString MsgGetStr(TMessageReader& Reader) {
    const std::int32_t n = MsgGetInt(Reader);
    if (n < 0) throw EMessageFormatError("MsgGetStr: negative length " + std::to_string(n));
    MyAnsiString r;
    for (std::int32_t i = 0; i < n; ++i) {
        MyAnsiString p = Reader.GetParameter();
        if (p.empty())
            throw EMessageFormatError("MsgGetStr: byte " + std::to_string(i) + " of " + std::to_string(n) +
                                      " missing");
        std::int32_t b = MsgTextToInt(p);
        if (b < 0 || b > 0xFF) throw EMessageFormatError("MsgGetStr: byte value " + p + " out of range");
        r.push_back(static_cast<char>(b));
    }
    return r;
}

void MsgPutName(TMessageWriter& Writer, const MyAnsiString& Name) { Writer.PutParameter(Name); }

} // namespace vo
