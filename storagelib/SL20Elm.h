#pragma once
// Scalar values: 64-bit integers, doubles, 8-bit strings, booleans and
// identifiers, and the text conversions they share.
#include <cstdint>
#include <string_view>

#include "storagelib/SL20Bas.h"
#include "storagelib/SL20Pool.h"

namespace vo {

// Integer text: optional leading blanks, an optional sign, then decimal digits
// or a hexadecimal number after "$", "x", "X", "0x" or "0X" (the 64-bit pattern
// of at most 16 significant digits, negated after "-"). Nothing may follow.
// Raises EConvertError "'<text>' is not a valid integer value".
int64_t SLStrToInt64(std::string_view Text);
// Real text: optional blanks, optional sign, digits with an optional "." and
// fraction, optional exponent, optional trailing blanks; "." is always the
// decimal separator. Raises EConvertError "'<text>' is not a valid floating
// point value".
double SLStrToFloat(std::string_view Text);
// General notation with 15 significant digits (1E20, 1.5E-7, 0.0001, 123.456);
// NaN and the infinities as NAN, INF and -INF.
MyAnsiString SLFloatToStrGeneral(double Value);
// A picture format ("0", "#", ".", ",", "E+00", quoted literals, sections
// separated by ";") with "." as the decimal separator.
MyAnsiString SLFormatFloat(std::string_view Format, double Value);
// The conversion text of a double: the program-wide float format string when
// one is set, else the general notation.
MyAnsiString SLFloatToStr(double Value);

class TSLNumber : public TSLObject {
    VO_REFOBJ_CLASS(TSLNumber, TSLObject)
public:
    virtual int64_t GetLongintValue() const = 0;
    virtual void SetLongintValue(int64_t Value) = 0;
    virtual double GetDoubleValue() const = 0;
    virtual void SetDoubleValue(double Value) = 0;
    virtual MyAnsiString GetStringValue() const = 0;
    virtual void SetStringValue(std::string_view Value) = 0;
    virtual bool GetBooleanValue() const = 0;
    virtual void SetBooleanValue(bool Value) = 0;

    // The program-wide picture format of double-to-text conversions; empty (the
    // general notation) unless somebody sets one.
    static const MyAnsiString& GetFloatFormatString();
    static void SetFloatFormatString(const MyAnsiString& Format);

protected:
    TSLNumber() = default;
};

class TSLLongint final : public TSLNumber {
    VO_REFOBJ_CLASS(TSLLongint, TSLNumber)
    VO_SL_POOLED
public:
    explicit TSLLongint(int64_t Value = 0) noexcept : FLongintValue(Value) { FTraits |= slLongint; }

    int64_t GetLongintValue() const override { return FLongintValue; }
    void SetLongintValue(int64_t Value) override { FLongintValue = Value; }
    double GetDoubleValue() const override { return static_cast<double>(FLongintValue); }
    // Rounds to the nearest integer, halves to the even neighbour.
    void SetDoubleValue(double Value) override;
    MyAnsiString GetStringValue() const override;
    void SetStringValue(std::string_view Value) override;
    bool GetBooleanValue() const override { return FLongintValue != 0; }
    // True gives -1 (all bits set), false 0.
    void SetBooleanValue(bool Value) override { FLongintValue = Value ? -1 : 0; }

    void Encode(TEncoderInterface& Encoder) override;
    void AssignObject(const TSLObject* Obj) override;
    TRef<TSLObject> CopyRef() const override;
    bool IsEqual(const TSLObject* Obj) const override;
    TSLLongint* CopyLongint() const;

private:
    int64_t FLongintValue;
};

class TSLDouble final : public TSLNumber {
    VO_REFOBJ_CLASS(TSLDouble, TSLNumber)
    VO_SL_POOLED
public:
    explicit TSLDouble(double Value = 0.0) noexcept : FDoubleValue(Value) { FTraits |= slDouble; }

    // Truncated toward zero.
    int64_t GetLongintValue() const override;
    void SetLongintValue(int64_t Value) override { FDoubleValue = static_cast<double>(Value); }
    double GetDoubleValue() const override { return FDoubleValue; }
    void SetDoubleValue(double Value) override { FDoubleValue = Value; }
    MyAnsiString GetStringValue() const override { return SLFloatToStr(FDoubleValue); }
    void SetStringValue(std::string_view Value) override { FDoubleValue = SLStrToFloat(Value); }
    bool GetBooleanValue() const override { return FDoubleValue != 0.0; }
    void SetBooleanValue(bool Value) override { FDoubleValue = Value ? 1.0 : 0.0; }

    void Encode(TEncoderInterface& Encoder) override;
    void AssignObject(const TSLObject* Obj) override;
    TRef<TSLObject> CopyRef() const override;
    bool IsEqual(const TSLObject* Obj) const override;
    TSLDouble* CopyDouble() const;

private:
    double FDoubleValue;
};

class TSLString : public TSLObject {
    VO_REFOBJ_CLASS(TSLString, TSLObject)
    VO_SL_POOLED
public:
    TSLString() = default;
    explicit TSLString(MyAnsiString Value) noexcept : FStringValue(std::move(Value)) {}
    explicit TSLString(std::string_view Value) : FStringValue(Value) {}
    explicit TSLString(const char* Value) : FStringValue(Value) {}

    const MyAnsiString& GetStringValue() const noexcept { return FStringValue; }
    void SetStringValue(std::string_view Value) { FStringValue.assign(Value.data(), Value.size()); }
    int64_t GetLongintValue() const { return SLStrToInt64(FStringValue); }
    void SetLongintValue(int64_t Value);
    double GetDoubleValue() const { return SLStrToFloat(FStringValue); }
    void SetDoubleValue(double Value) { FStringValue = SLFloatToStr(Value); }
    // "TRUE" and "FALSE", ASCII letters compared without regard to case.
    bool GetBooleanValue() const;
    void SetBooleanValue(bool Value) { FStringValue = Value ? "true" : "false"; }

    void Encode(TEncoderInterface& Encoder) override;
    void AssignObject(const TSLObject* Obj) override;
    TRef<TSLObject> CopyRef() const override;
    bool IsEqual(const TSLObject* Obj) const override;
    TSLString* CopyString() const;

private:
    MyAnsiString FStringValue;
};

class TSLBoolean : public TSLObject {
    VO_REFOBJ_CLASS(TSLBoolean, TSLObject)
    VO_SL_POOLED
public:
    explicit TSLBoolean(bool Value = false) noexcept : FBooleanValue(Value) {}

    bool GetBooleanValue() const noexcept { return FBooleanValue; }
    void SetBooleanValue(bool Value) noexcept { FBooleanValue = Value; }
    MyAnsiString GetStringValue() const { return FBooleanValue ? "true" : "false"; }
    // "TRUE" or "FALSE" in any mix of case; anything else is refused.
    void SetStringValue(std::string_view Value);

    void Encode(TEncoderInterface& Encoder) override;
    void AssignObject(const TSLObject* Obj) override;
    TRef<TSLObject> CopyRef() const override;
    bool IsEqual(const TSLObject* Obj) const override;
    TSLBoolean* CopyBoolean() const;

private:
    bool FBooleanValue;
};

// A name: executable (resolved and executed by the interpreter) or literal
// (pushed as data, written with a leading "/").
class TSLIdent : public TSLObject {
    VO_REFOBJ_CLASS(TSLIdent, TSLObject)
    VO_SL_POOLED
public:
    TSLIdent() noexcept { FTraits |= slIdent; }
    TSLIdent(MyAnsiString Value, bool Executable) noexcept
        : FIdentValue(std::move(Value)), FExecutable(Executable) { FTraits |= slIdent; }
    TSLIdent(std::string_view Value, bool Executable) : FIdentValue(Value), FExecutable(Executable) { FTraits |= slIdent; }
    TSLIdent(const char* Value, bool Executable) : FIdentValue(Value), FExecutable(Executable) { FTraits |= slIdent; }
    ~TSLIdent() override;

    const MyAnsiString& GetIdentValue() const noexcept { return FIdentValue; }
    void SetIdentValue(std::string_view Value) {
        NameChanging();
        FIdentValue.assign(Value.data(), Value.size());
    }
    bool GetExecutable() const override { return FExecutable; }
    void SetExecutable(bool Value) override { FExecutable = Value; }

    void Encode(TEncoderInterface& Encoder) override;
    // Copies the name only; the receiver keeps its own executable flag.
    void AssignObject(const TSLObject* Obj) override;
    TRef<TSLObject> CopyRef() const override;
    // Same name byte for byte; the flags are not compared.
    bool IsEqual(const TSLObject* Obj) const override;
    TSLIdent* CopyIdent() const;

    // Whether the name is plain (neither a namespace prefix nor a path), and
    // the hash of its folded bytes; both worked out on first use. An ident
    // whose hash was asked raises its name's binding epoch when it is renamed
    // or freed, so a lookup cached under its address never outlives it.
    bool IsPlainName() const noexcept {
        if (FNameKind == nkUnknown) ClassifyName();
        return FNameKind == nkPlain;
    }
    uint32_t NameHash() const noexcept {
        if (FNameKind == nkUnknown) ClassifyName();
        return FHash;
    }

private:
    enum : uint8_t { nkUnknown,
                     nkPlain,
                     nkCompound };
    void ClassifyName() const noexcept;
    void NameChanging() noexcept;

    MyAnsiString FIdentValue;
    bool FExecutable = false;
    mutable uint8_t FNameKind = nkUnknown;
    mutable uint32_t FHash = 0;
};

} // namespace vo
