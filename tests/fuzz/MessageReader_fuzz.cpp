// Fuzz target of the message text-field reader: any body is read command by
// command and parameter by parameter (with the integer and byte-string
// readers on the way, as the services read replies). Errors are only
// EMessageFormatError and EConvertError. A body read without an error is
// written again by the writer from the fields read, byte for byte the same.
#include "kernel/MsgTools.h"
#include "kernel/functions.h"
#include "tests/fuzz/FuzzSupport.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace {

using namespace vo;

struct TCommand {
    MyAnsiString Text;
    std::vector<MyAnsiString> Parameters;
};

// The body as fields; false when the reader raised a format error.
bool ReadFields(TMxMessage& Msg, std::vector<TCommand>& Commands) {
    TMessageReader reader;
    reader.SetItem(&Msg);
    try {
        for (MyAnsiString c = reader.GetCommand(); !c.empty(); c = reader.GetCommand()) {
            TCommand cmd{c, {}};
            for (MyAnsiString p = reader.GetParameter(); !p.empty(); p = reader.GetParameter())
                cmd.Parameters.push_back(p);
            Commands.push_back(std::move(cmd));
        }
    } catch (const EMessageFormatError&) {
        reader.SetItem(nullptr);
        return false;
    }
    reader.SetItem(nullptr);
    return true;
}

// The scalar readers over the same body: a byte string or an integer after
// each command, in turn.
void ReadScalars(TMxMessage& Msg) {
    TMessageReader reader;
    reader.SetItem(&Msg);
    bool bytes = false;
    try {
        while (!reader.GetCommand().empty()) {
            bytes = !bytes;
            try {
                if (bytes) {
                    const MyAnsiString s = MsgGetStr(reader);
                    if (s.size() > static_cast<size_t>(Msg.GetSize()))
                        fuzz::Fail("a byte string longer than its body", s);
                } else {
                    MsgGetInt(reader);
                }
            } catch (const EConvertError&) {
            }
        }
    } catch (const EMessageFormatError&) {
    }
    reader.SetItem(nullptr);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    MxEnsureMessaging();
    const std::string body(reinterpret_cast<const char*>(Data), Size);
    TMxMessagePtr msg(TMxMessage::Create());
    msg->AddText(body);

    std::vector<TCommand> commands;
    if (ReadFields(*msg, commands)) {
        TMessageWriter writer;
        writer.CreateMessage();
        TMxMessagePtr again(writer.GetItem());
        for (const TCommand& c : commands) {
            writer.PutCommand(c.Text);
            for (const MyAnsiString& p : c.Parameters)
                writer.PutParameter(p);
        }
        if (again->GetText() != body)
            fuzz::Fail("the fields read do not write the same body", body + "\n---\n" + again->GetText());
    }
    ReadScalars(*msg);
    return 0;
}
