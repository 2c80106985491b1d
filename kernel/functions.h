#pragma once
// Small conversions shared by the drive-facing code: little-endian byte strings
// and numbers, binary digit texts, IPv4 and MAC-ID texts, hexadecimal text to
// bytes, texts of communication result codes, the firmware tree-name
// compatibility test, the integer text conversions that raise EConvertError,
// and the input logic of the four-field IPv4 address control.
//
// Every routine is a free function without state of its own and may be called
// from any thread.
#include <array>
#include <cstdint>

#include "platform/Exception.h"
#include "platform/AnsiString.h"
#include "platform/Exception.h"

namespace vo {

// Integer texts. Leading blanks are skipped, an optional sign follows, then
// either decimal digits or a hexadecimal number introduced by "$" or "0x"; no
// other character may follow. Decimal values must fit the result type; a
// hexadecimal text may use the whole width (StrToInt("$FFFFFFFF") is -1).
// Anything else raises EConvertError.
std::int32_t StrToInt(const MyAnsiString& S);
std::int64_t StrToInt64(const MyAnsiString& S);
// The same, returning Default instead of raising.
std::int32_t StrToIntDef(const MyAnsiString& S, std::int32_t Default);

// The first Count bytes of Data read little-endian (byte 1 least significant).
// Count 0 gives 0; with more than 8 bytes the higher bytes shift out. A Count
// that is negative or larger than Data's length raises EConvertError.
std::int64_t DataToValue(const MyAnsiString& Data, int Count);

// Exactly Count bytes, byte k holding bits 8(k-1)..8k-1 of Value; bytes past
// the eighth are 0. A negative Count raises EConvertError.
MyAnsiString ValueToData(std::int64_t Value, int Count);

// Value masked to its low 1, 2 or 4 bytes (any other count: not masked),
// written as Count*8 digits "0"/"1", most significant first. Digits above
// bit 63 are "0". Count 0 (or less) gives "".
MyAnsiString IntToBinary(std::int64_t Value, int Count);

// Every "1" adds the power of two of its place (the last character is 2^0);
// any other character counts as 0. A value that does not fit a signed 64-bit
// number (a "1" 64 or more places from the end) raises EConvertError.
std::int64_t BinaryToInt(const MyAnsiString& S);

// Whether the firmware tree Tree1 (the stored one) fits the drive's tree Tree2
// for a user with permission Permission. Newer tells whether Tree1 is the
// newer one. A version part without numbers raises EConvertError.
bool AreTreesCompatible(const MyAnsiString& Tree1, const MyAnsiString& Tree2, int Permission,
                        bool& Newer);

// IPv4 addresses are 32-bit integers with the first dotted octet in the most
// significant byte.
MyAnsiString IntToIPStr(std::int32_t IP); // 192.168.1.10
MyAnsiString AdjustIntToIPStr(std::int32_t IP); // 192.168.001.010
// Dotted decimal to address: the numbers before the first three dots are
// added shifted left by 24, 16 and 8 bits, the rest unshifted (numbers are
// added, not masked: "1.2" is 0x01000002). A part that is no decimal number,
// or more than three dots, raises EConvertError.
std::int32_t IPStrToInt(const MyAnsiString& S);

// S left-padded with Fill up to Length; a longer S comes back unchanged.
MyAnsiString AdjustString(const MyAnsiString& S, int Length, char Fill);

// The low 48 bits as six upper-case hex byte pairs joined by ":", first byte
// (bits 47..40) first; "" for the value 0.
MyAnsiString IntToMACIDStr(std::int64_t MacId);

// Hexadecimal text to bytes: groups of hex digits separated by any other
// character; a one-digit group is that digit's value, a longer group its last
// two digits. At most 255 bytes ("01 2 a3f" gives 01 02 3F).
MyAnsiString BufToStr(const MyAnsiString& S);

// Text of a communication result code.
MyAnsiString GetOvraErrorMessage(int Code);

// Input logic of the four-field IPv4 address control TIP4Edit: what the
// fields hold, where the caret and the focus are, and how keys and edits
// change that. The widget (TIP4Edit, with the GUI forms) owns one, mirrors its
// fields into its edit controls and feeds key-down and change events in. The error box for an octet out of range goes through the
// program's user prompt (kernel/UserPrompt.h).
class TIP4EditLogic {
public:
    // Virtual key codes the key handler knows.
    enum : int {
        VK_BACK = 8,
        VK_SHIFT = 16,
        VK_CONTROL = 17,
        VK_SPACE = 32,
        VK_LEFT = 37,
        VK_RIGHT = 39,
        VK_DELETE = 46,
        VK_0 = 48,
        VK_9 = 57,
        VK_NUMPAD0 = 96,
        VK_NUMPAD9 = 105,
        VK_DECIMAL = 110,
        VK_LSHIFT = 160,
        VK_RCONTROL = 163,
        VK_OEM_PERIOD = 190
    };
    // Modifier state at a key-down.
    enum TShiftFlag : unsigned { ssShift = 1,
                                 ssAlt = 2,
                                 ssCtrl = 4,
                                 ssLeft = 8 };

    struct TField {
        MyAnsiString Text = "0";
        int SelStart = 0; // caret position
        int SelLength = 0; // selected characters from SelStart
        bool ReadOnly = false;
        void SelectAll() {
            SelStart = 0;
            SelLength = static_cast<int>(Text.size());
        }
    };

    static constexpr int MaxLength = 3;

    std::array<TField, 4> Editor;
    int Focused = 0; // index of the field with the focus
    bool Visible = true;
    bool Enabled = true;

    // Octets high byte first, in decimal, into the four fields.
    void SetIPValue(std::int32_t IPValue);
    // Sum of each field's number shifted left by 24, 16, 8 and 0 bits. A field
    // that is empty or no number raises EConvertError.
    std::int32_t GetIPValue() const;
    void SetVisibility(bool AVisible) {
        Visible = AVisible;
        Enabled = AVisible;
    }

    // Key-down in field Index: moves the focus on arrows, blank and ".",
    // and makes the field read-only for a key whose character must not be
    // typed. Returns the (new) focused field.
    int KeyDown(int Index, int Key, unsigned Shift);
    // The text of field Index was changed to NewText (caret at CaretPos, -1 for
    // the end): clamps numbers above 254, moves on after a third digit and
    // replaces a non-number by "0".
    void Change(int Index, const MyAnsiString& NewText, int CaretPos = -1);

private:
    void FocusField(int Index);
    void CheckIndex(int Index) const;
};

} // namespace vo
