#pragma once
// Message text fields: the body format of the messages between the
// communication client and server (and the script runtime's test messages).
//
// A body is one or more command fields; every command field after the first
// is preceded by one CR byte (0x0D). A command field is the command text
// followed by zero or more parameters, each one TAB byte (0x09) and the
// parameter text. Texts are non-empty and contain neither TAB nor CR; they are
// copied byte for byte.
//
// Scalars travel as hexadecimal text: an integer is one parameter of
// upper-case hex digits without leading zeros (negative values as their 8
// digit two's complement); a byte string is its length as an integer
// parameter followed by one integer parameter per byte.
#include <cstdint>

#include "kernel/MxBLib20.h"
#include "kernel/MxMLib20.h"
#include "platform/AnsiString.h"
#include "platform/Exception.h"

namespace vo {

// A body that does not follow the format (an empty field, a missing or
// malformed parameter).
class EMessageFormatError : public Exception {
public:
    using Exception::Exception;
};

class TMessageWriter {
public:
    // Takes a new message from the message pool.
    void CreateMessage();
    // Takes Msg (for example one that is to be answered) and clears its body.
    void SetItem(TMxMessage* Msg);
    // The message; the caller sets its addresses and sends it.
    TMxMessage* GetItem() const { return FMessage; }

    // Appends CR (unless the body is empty) and Data. Raises
    // "PutCommand: Empty Data" for an empty Data and
    // "TMessageWriter.PutCommand: TAB or CR in Data" for a text that would
    // break the format; the body is then left as it was.
    void PutCommand(const MyAnsiString& Data);
    // Appends TAB and Data. Raises "TMessageWriter.PutParameter: Empty Data",
    // "TMessageWriter.PutParameter: need a PutCommand first" or
    // "TMessageWriter.PutParameter: TAB or CR in Data".
    void PutParameter(const MyAnsiString& Data);

private:
    TMxMessage* Message(const char* Operation) const;
    TMxMessage* FMessage = nullptr;
};

class TMessageReader {
public:
    // Takes Msg and puts the cursor on byte 0.
    void SetItem(TMxMessage* Msg);
    TMxMessage* GetItem() const { return FMessage; }
    // Gives the message back to the pool.
    void DestroyMessage();

    // The next command text (skipping unread parameters of the current one);
    // empty when the body is exhausted. An empty command field raises
    // EMessageFormatError.
    MyAnsiString GetCommand();
    // The next parameter of the current command; empty when it has no
    // further parameter. An empty parameter field raises EMessageFormatError.
    MyAnsiString GetParameter();

private:
    bool AtEnd() const;
    std::uint8_t Current();
    MyAnsiString ReadField();

    TMxMessage* FMessage = nullptr;
    TMxBufferPointer BufferPointer;
    bool FStarted = false; // a command was read
};

// Scalar conventions.
// 26 -> "1A", 0 -> "0", -1 -> "FFFFFFFF".
MyAnsiString MsgIntToText(std::int32_t Value);
// 1 to 8 hexadecimal digits of either case; anything else (an empty text
// included) raises EConvertError ("'$<text>' is not a valid integer value").
std::int32_t MsgTextToInt(const MyAnsiString& Text);

void MsgPutInt(TMessageWriter& Writer, std::int32_t Value);
// The next parameter as an integer; a missing or malformed one raises
// EConvertError.
std::int32_t MsgGetInt(TMessageReader& Reader);
// The length, then one parameter per byte.
void MsgPutStr(TMessageWriter& Writer, const MyAnsiString& Data);
// Reads a byte string; a negative length, a missing byte or a byte value
// outside 0..FF raises EMessageFormatError (EConvertError for a parameter
// that is no hexadecimal number).
MyAnsiString MsgGetStr(TMessageReader& Reader);
// A name as one parameter as it is.
void MsgPutName(TMessageWriter& Writer, const MyAnsiString& Name);

} // namespace vo
