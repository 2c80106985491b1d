#pragma once
// The generic bases of the parameter families: integers (device unit, width,
// formatting in the five display modes), Booleans (truth texts, the
// visibility flags they set), strings, and directories (a node of the
// project tree with permissions by user level).
//
// GUI thread only.
#include <cstdint>
#include <vector>

#include "parameters/Parameter.h"

namespace vo {

class TApplicationViewFactory;
class TDeviceUnit;
class TModelItem;

// Telegram bytes by UPID, shared by the value types.
// The read sub-command of an address usage: 0x00 (ROM) with the ROM-read bit,
// else 0x01 (RAM) with the RAM-read bit; -1 with neither.
int ParReadSubCommand(std::uint16_t AddrUsage) noexcept;
// The write sub-command: 0x02 with both write bits, 0x00 with the ROM-write
// bit, 0x01 with the RAM-write bit; -1 with neither.
int ParWriteSubCommand(std::uint16_t AddrUsage) noexcept;
// The sub-command followed by the UPID, low byte first.
MyAnsiString ParUPIDRequest(int SubCommand, std::int32_t UPID);
// Appends the low Count bytes of Value, low byte first.
void ParAppendLE(MyAnsiString& Bytes, std::uint64_t Value, std::size_t Count);
// The first Count bytes of Bytes as a little-endian number; missing bytes
// count as 0.
std::uint64_t ParReadLE(const MyAnsiString& Bytes, std::size_t Count) noexcept;
// The value of a read answer of Width bytes (little-endian); false when the
// answer is shorter than that (a failed read).
bool ParValueFromAnswer(const MyAnsiString& Answer, std::size_t Width, std::uint64_t& Value) noexcept;
// The text of a read answer: at most 64 characters, ending before the first
// NUL.
MyAnsiString ParTextFromAnswer(const MyAnsiString& Answer);

class TGenericIntParameter : public TParameter {
public:
    // After the base: "AdditionalFunction" (optional, compared in upper
    // case: "UPID", "RAMWRITEUPID", "UPIDSCALE:<master UPID>"), then "UUID"
    // (required): the device unit with that UUID.
    TGenericIntParameter(TParameterService& AOwner, TSLRecord* ARecord);

    const char* ClassName() const override { return "TGenericIntParameter"; }

    // By mode: "SCALED" the physical value and the unit caption in US; "HEX"
    // two hex digits per byte of the width and "h"; "DEC" decimal; "BIN" the
    // width's bits; "ASCII" the bytes as characters, most significant first.
    // Any other mode leaves V.ValueStr as passed. V.UnitStr is emptied first.
    void GetScaledValue(TValueRec& V, TUnitSystem US, const MyAnsiString& DisplayMode) const override;
    // "HEX" and "DEC" as above, any other mode "".
    MyAnsiString GetRawDataStr(const MyAnsiString& DisplayMode) const override;
    double GetBaseScaledValue() const override;
    void GetUnit(double& Scale, MyAnsiString& Unit, TUnitSystem US) const override;
    MyAnsiString GetDisplayModeStr() const override;

    // Supplied by each integer type.
    virtual void GetMinValueStr(TValueRec& V, TUnitSystem US, const MyAnsiString& DisplayMode) const;
    virtual void GetMaxValueStr(TValueRec& V, TUnitSystem US, const MyAnsiString& DisplayMode) const;
    virtual double GetDefaultValueDouble(TUnitSystem US) const;
    virtual double GetMinValueDouble(TUnitSystem US) const;
    virtual double GetMaxValueDouble(TUnitSystem US) const;
    virtual std::int64_t GetMinValueInt() const;
    virtual std::int64_t GetMaxValueInt() const;
    virtual std::int64_t GetDefaultValue() const;

    // The hex text of a value of a width: "%<2w>.<2w>x" + "h" over the low 32
    // bits, negative values of width 1 and 2 kept to their width.
    static MyAnsiString HexText(std::int64_t Value, int Width);

    // The device unit; the identity unit when the device has none of the
    // record's UUID.
    const TDeviceUnit& Unit() const;
    TDeviceUnit* DeviceUnit() const noexcept { return FDeviceUnit; }
    std::int32_t UUID() const noexcept { return FUUID; }
    std::int32_t Size() const noexcept { return FSize; }
    bool IsUPID() const noexcept { return FIsUPID; }
    bool IsRamWriteUPID() const noexcept { return FIsRamWriteUPID; }
    bool IsUPIDScaled() const noexcept { return FIsUPIDScaled; }
    std::int32_t UPIDScaleUPID() const noexcept { return FUPIDScaleUPID; }

protected:
    TDeviceUnit* FDeviceUnit = nullptr;
    std::int32_t FUUID = 0;
    std::int32_t FSize = 4; // 1, 2 or 4, set by each integer type
    bool FIsUPID = false;
    bool FIsRamWriteUPID = false;
    bool FIsUPIDScaled = false;
    std::int32_t FUPIDScaleUPID = 0;
};

class TGenericBoolParameter : public TParameter {
public:
    // After the base: "SetVFlag" (required, an array of flag names, may be
    // empty); with names the node becomes a visibility-flag source.
    TGenericBoolParameter(TParameterService& AOwner, TSLRecord* ARecord);

    const char* ClassName() const override { return "TGenericBoolParameter"; }

    // "True" or "False", whatever the mode; no unit.
    void GetScaledValue(TValueRec& V, TUnitSystem US, const MyAnsiString& DisplayMode) const override;
    // Upper-cased: "TRUE", "1", "ON" true; "FALSE", "0", "OFF" false;
    // anything else raises "invalid boolean parameter" + the upper-cased text.
    void SetScaledValue(const MyAnsiString& Text, TUnitSystem US, const MyAnsiString& DisplayMode) override;

    // When valid and true: every flag of the list becomes true.
    void UpdateSetVFlags();
    const std::vector<TVisibilityFlag*>& SetVFlagList() const noexcept { return FSetVFlagList; }

protected:
    std::vector<TVisibilityFlag*> FSetVFlagList;
};

class TGenericStrParameter : public TParameter {
public:
    using TParameter::TParameter;

    const char* ClassName() const override { return "TGenericStrParameter"; }

    // GetStrValue cut to 64 characters; no unit.
    void GetScaledValue(TValueRec& V, TUnitSystem US, const MyAnsiString& DisplayMode) const override;
    void SetScaledValue(const MyAnsiString& Text, TUnitSystem US, const MyAnsiString& DisplayMode) override;
};

class TGenericDirParameter : public TParameter {
public:
    // After the base: the model item (data: this node, caption, the parameter
    // view factory of the parameter manager), then ChangePermission.
    TGenericDirParameter(TParameterService& AOwner, TSLRecord* ARecord);
    // Takes the model item out of its parent and releases it.
    ~TGenericDirParameter() override;

    const char* ClassName() const override { return "TGenericDirParameter"; }

    // A directory child's model item starts hidden under this one's.
    TParameter& AddChild(std::unique_ptr<TParameter> P) override;
    // The model item's user type (utDevelop for the user DEVELOPER, else
    // utService) and read and write permissions from the permission byte.
    void ChangePermission();

    TModelItem& Model() const noexcept { return *FModel; }

protected:
    TModelItem* FModel = nullptr;
};

} // namespace vo
