#pragma once
// The token scanners of the text notation reader and the interface through
// which they hand what they read to the reader.
//
// A scanner looks at the bytes at the current position; when they start its
// kind of token it consumes the token, reports it and returns true, otherwise
// it gives back the byte it looked at and returns false. The reader tries the
// scanners in the order they were added, but only those whose CanStart admits
// the next byte: a table by first byte replaces trying all of them in turn.
#include <cstdint>
#include <memory>
#include <string_view>

#include "storagelib/SL20Bas.h"
#include "storagelib/SL20StStrm.h"

namespace vo {

// Byte classes of the notation.
namespace sl_bytes {
constexpr bool IsBlank(uint8_t c) noexcept { return c == 0 || c == 8 || c == 9 || c == 10 || c == 13 || c == 32; }
constexpr bool IsDigit(uint8_t c) noexcept { return c >= '0' && c <= '9'; }
constexpr bool IsNumberStart(uint8_t c) noexcept { return c == '$' || c == '+' || c == '-' || IsDigit(c); }
constexpr bool IsNameStart(uint8_t c) noexcept {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}
constexpr bool IsNameByte(uint8_t c) noexcept { return IsNameStart(c) || IsDigit(c); }
constexpr bool IsSeparator(uint8_t c) noexcept { return c == '.' || c == ':'; }
constexpr bool IsHexDigit(uint8_t c) noexcept {
    return IsDigit(c) || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}
} // namespace sl_bytes

// The value of a valid number token as the number scanner collects it
// (decimal with an optional sign, or "$" hex; a real with fraction or
// exponent); a value out of range raises the conversion error.
int64_t SLIntegerToken(std::string_view Tok);
double SLRealToken(std::string_view Tok);

// Takes the blank bytes at the current position (what the whitespace scanner
// accepts); true when there were any.
bool SLSkipBlanks(TSLLookaheadStream& Stream);

// What a scanner may do.
class TDecoderInterface {
public:
    virtual ~TDecoderInterface() = default;
    // A finished value (may be nil); the reader retains it.
    virtual void PushElement(TSLObject* Obj) = 0;
    // An opening bracket with its type letter, name (may be empty) and debug
    // record (may be nil).
    virtual void BeginOfComposite(char CompType, std::string_view Ident, std::unique_ptr<TDbgInfo> DbgInfo) = 0;
    // A closing bracket.
    virtual void EndOfComposite() = 0;
    // A back reference by number / by name.
    virtual void ResolvePointer(int64_t Index) = 0;
    virtual void ResolvePointer(std::string_view Ident) = 0;
    // A named constant (the text the constant scanner collected).
    virtual void ResolveConstant(std::string_view Ident) = 0;
    // The stream being read.
    virtual TSLLookaheadStream* GetStream() = 0;
};

class TSLScanner : public TSLObject {
    VO_REFOBJ_CLASS(TSLScanner, TSLObject)
public:
    virtual bool ScanStream(TDecoderInterface& ScannerInterface, bool Debug) = 0;
    // Whether a token of this scanner can start with the byte B. A scanner
    // that answers false for B must give B back and return false when it is
    // tried on it. The default admits every byte.
    virtual bool CanStart(uint8_t B) const { return true; }

protected:
    TSLScanner() = default;
};

// Blank bytes (0, 8, 9, 10, 13, 32).
class TSLWhitespaceScanner : public TSLScanner {
    VO_REFOBJ_CLASS(TSLWhitespaceScanner, TSLScanner)
public:
    bool ScanStream(TDecoderInterface& ScannerInterface, bool Debug) override;
    bool CanStart(uint8_t B) const override { return sl_bytes::IsBlank(B); }
};

// Integers (decimal, "$" hex) and reals. A token that is not a valid number
// (a lone sign, "$" without digits, an exponent without digits) is refused
// with "invalid number '<token>'".
class TSLNumberScanner : public TSLScanner {
    VO_REFOBJ_CLASS(TSLNumberScanner, TSLScanner)
public:
    bool ScanStream(TDecoderInterface& ScannerInterface, bool Debug) override;
    bool CanStart(uint8_t B) const override { return sl_bytes::IsNumberStart(B); }
};

// 'strings' with "@" escapes.
class TSLStringScanner : public TSLScanner {
    VO_REFOBJ_CLASS(TSLStringScanner, TSLScanner)
public:
    bool ScanStream(TDecoderInterface& ScannerInterface, bool Debug) override;
    bool CanStart(uint8_t B) const override { return B == '\''; }
};

// Executable names and "/" literal names.
class TSLIdentScanner : public TSLScanner {
    VO_REFOBJ_CLASS(TSLIdentScanner, TSLScanner)
public:
    bool ScanStream(TDecoderInterface& ScannerInterface, bool Debug) override;
    bool CanStart(uint8_t B) const override { return B == '/' || sl_bytes::IsNameStart(B); }
};

// "[" with type letter and optional ":name", and "]".
class TSLCompositeScanner : public TSLScanner {
    VO_REFOBJ_CLASS(TSLCompositeScanner, TSLScanner)
public:
    bool ScanStream(TDecoderInterface& ScannerInterface, bool Debug) override;
    bool CanStart(uint8_t B) const override { return B == '[' || B == ']'; }
};

// "#0" and "#1".
class TSLBooleanScanner : public TSLScanner {
    VO_REFOBJ_CLASS(TSLBooleanScanner, TSLScanner)
public:
    bool ScanStream(TDecoderInterface& ScannerInterface, bool Debug) override;
    bool CanStart(uint8_t B) const override { return B == '#'; }
};

// "@number" and "@name" back references.
class TSLPointerScanner : public TSLScanner {
    VO_REFOBJ_CLASS(TSLPointerScanner, TSLScanner)
public:
    bool ScanStream(TDecoderInterface& ScannerInterface, bool Debug) override;
    bool CanStart(uint8_t B) const override { return B == '@'; }
};

// "%" to the end of the line.
class TSLCommentScanner : public TSLScanner {
    VO_REFOBJ_CLASS(TSLCommentScanner, TSLScanner)
public:
    bool ScanStream(TDecoderInterface& ScannerInterface, bool Debug) override;
    bool CanStart(uint8_t B) const override { return B == '%'; }
};

// "*NAME" constants of the CONST dictionary.
class TSLConstantScanner : public TSLScanner {
    VO_REFOBJ_CLASS(TSLConstantScanner, TSLScanner)
public:
    bool ScanStream(TDecoderInterface& ScannerInterface, bool Debug) override;
    bool CanStart(uint8_t B) const override { return B == '*'; }
};

} // namespace vo
