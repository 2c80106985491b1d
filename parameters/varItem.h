#pragma once
// Drive variables: values of the running drive that the engineer reads and
// writes on demand (status words, actual positions, counters, texts).
//
// TVarItem holds what every variable shares: where the value lives on the
// drive (a UPID, or a memory address and bit chosen by the user), how its raw
// bytes are shown (display mode "SCALED", "DEC", "HEX" or "BIN", scale,
// offset, unit), a cache of the raw bytes last read or entered (drive byte
// order, little-endian), state flags, a property list for the object
// inspector and the configuration record through which variables are made
// from module descriptions and saved. The subclasses convert between the raw
// bytes and the display text of one data type each.
//
// A variable never talks to the drive itself: inside a batch of its owner it
// is marked with RequestRead/RequestWrite, and the owner collects the marked
// ones. The owner and the section holding the variable are reached through
// the two small interfaces below.
//
// Conversion errors raise EConvertError with fixed English texts, before
// anything is stored; operations a class does not provide raise
// EAbstractError. GUI thread only.
#include <cstdint>
#include <memory>
#include <vector>

#include "kernel/Object.h"
#include "parameters/DatTypes.h"
#include "platform/AnsiString.h"
#include "storagelib/RefObj.h"

namespace vo {

class TBasicOvraService;
class TCustomPattern;
class TDeviceUnit;
class TGetBlockPattern;
class TOvraActor;
class TSetBitPattern;
class TSetBlockPattern;
class TPropertyList;
class TSLDictionary;
class TSLNamedCollection;
class TSLRecord;

enum TVarSourceType : std::uint8_t {
    vstSystem = 0, // from the module descriptions, addressed by device UPID
    vstUserDefined = 1, // by memory address (and bit) of the drive
    vstSystemPointer = 2 // by UPID, with its own scale, offset and unit text
};

// Bit n of the flag set is flag n.
enum TVarFlag : std::uint8_t {
    vfSystem = 0,
    vfValid = 1, // the cache holds a value read, entered or loaded
    vfVisible = 2,
    vfBoolean = 3,
    vfReadVar = 4,
    vfWriteVar = 5,
    vfMemDump = 6,
    vfReadReq = 7,
    vfWriteReq = 8,
    vfReadExe = 9,
    vfWriteExe = 10,
    vfCreated = 11,
    vfDeleted = 12,
    vfModified = 13, // caption, address or bit address changed
    vfChanged = 14 // data changed
};

enum TVariableChangeInfo : std::uint8_t { vciModified,
                                          vciCreated,
                                          vciDeleted,
                                          vciDirChange };

// What a variable needs of the variable service that owns it.
class TVarItemOwner {
public:
    virtual ~TVarItemOwner() = default;
    // The update bracket of the service's provider: groups change
    // notifications to the service's clients (nests; not a lock).
    virtual void BeginUpdate() = 0;
    virtual void EndOfUpdate() = 0;
    virtual void AddChangeInfo(TVariableChangeInfo Info) = 0;
    // True while a batch of requests is in flight.
    virtual bool GetUpdateRunning() const = 0;
    // Some variable carries a request for the next batch.
    virtual void SetUpdateRequest() = 0;
    // The device unit with that UUID, nullptr when the device has none.
    virtual TDeviceUnit* GetUnitWithUUID(std::int32_t AUUID) const = 0;
};

// What a variable needs of the section that holds it.
class TVarItemParent {
public:
    virtual ~TVarItemParent() = default;
    virtual void SetUpdateRequest() = 0;
};

// The telegram patterns a variable uses in a batch, and whether the drive
// speaks the 0x4x protocol (strings by block telegrams). A pattern the drive
// lacks is nullptr; a variable that needs it raises.
struct TVarTelegramPatterns {
    TCustomPattern* GetParWithUPID = nullptr; // 0x88
    TCustomPattern* SetParWithUPID = nullptr; // 0x89
    TCustomPattern* GetBlockUPID = nullptr; // 0x15
    TCustomPattern* SetBlockUPID = nullptr; // 0x16
    TGetBlockPattern* GetMemoryBlock = nullptr; // 0x30
    TSetBlockPattern* SetMemoryBlock = nullptr; // 0x31
    TSetBitPattern* MaskMemoryWord = nullptr; // 0x13
    bool FourX = false;

    // The patterns of a drive's connection service.
    static TVarTelegramPatterns Of(TBasicOvraService& Service);
};

class TVarItem : public TObject {
public:
    TVarItem(TVarItemOwner& AOwner, TVarItemParent* AParent, TVarSourceType ASourceType);
    ~TVarItem() override;
    TVarItem(const TVarItem&) = delete;
    TVarItem& operator=(const TVarItem&) = delete;

    virtual const char* ClassName() const { return "TVarItem"; }

    // The cached value as display text (BinToDisp of the cache), empty while
    // not valid.
    MyAnsiString GetValueStr() const;
    // DispToBin, then SetDataCache; a refused text stores nothing. Writing it
    // to the drive is a separate RequestWrite.
    void SetValueStr(const MyAnsiString& Value);
    // Conversions of the data type.
    virtual MyAnsiString BinToDisp(const MyAnsiString& S) const;
    virtual MyAnsiString DispToBin(const MyAnsiString& S) const;
    virtual std::int64_t BinToInt(const MyAnsiString& S) const;
    // The raw value as text for "HEX" or "DEC"; empty here.
    virtual MyAnsiString GetRawDataStr(const MyAnsiString& ADisplayMode) const;

    const MyAnsiString& GetDataCache() const noexcept { return FData; }
    // Stores new bytes, cut or zero-extended to the data length: nothing
    // happens when they equal the cache of a valid variable; otherwise the
    // variable becomes valid and changed.
    virtual void SetDataCache(const MyAnsiString& S);
    // Sets the data length and resizes the cache (new bytes are zero).
    virtual void SetDataLength(int ALength);
    // The low byte of the maximum size for strings, else the cache length.
    int GetDataSize() const;

    // Flags 0-15; higher values are ignored and test false.
    void SetFlag(int AFlag) noexcept;
    void ClearFlag(int AFlag) noexcept;
    bool CheckFlag(int AFlag) const noexcept;
    std::uint16_t GetFlagSet() const noexcept { return FFlagSet; }

    void SetCaption(const MyAnsiString& Value);
    void SetAddress(std::uint32_t Value);
    void SetBitAddr(std::uint8_t Value);
    // "HHHH", "HHHH:LLLL" above 0xFFFF, Bool16 variables add "." and the bit.
    MyAnsiString GetAddrStr() const;
    // The inverse of GetAddrStr (the first ":" is dropped, a "." introduces
    // the bit). The whole text is checked first: a bad text raises
    // EConvertError and changes neither address nor bit.
    void SetAddrStr(const MyAnsiString& Value);

    // User-defined: caption "_" address "_" bit (decimal); else the name.
    MyAnsiString GetVarName() const;
    // The device unit of a system variable; nullptr for the other sources or
    // when the device has no unit with the variable's UUID.
    TDeviceUnit* GetDevUnit() const;
    double GetScale() const;
    double GetOffset() const;
    MyAnsiString GetUnitStr() const;

    // Mark the variable for the next batch; "internal error" while a batch
    // runs (then nothing changes).
    void RequestRead();
    void RequestWrite();
    // Marks the variable deleted; its section frees it at its next update.
    void Delete();

    // The telegrams of a batch: SetActorData puts the write record (when
    // requested) and then the read record into the actor through the
    // connection service's patterns, by UPID for system and pointer
    // variables, by memory address for user-defined ones; GetActorData takes
    // their answers in the same order. Only result 0 counts: a failed
    // request leaves the variable invalid and the cache as it was. A number
    // whose answer is shorter than its width counts as a failed read; a
    // longer answer is cut to the width (strings: to MaxSize). Every record
    // put is consumed, whatever its answer.
    void SetActorData(TOvraActor& Actor, TBasicOvraService& Service);
    void GetActorData(TOvraActor& Actor, TBasicOvraService& Service);
    void SetActorData(TOvraActor& Actor, const TVarTelegramPatterns& Patterns);
    void GetActorData(TOvraActor& Actor, const TVarTelegramPatterns& Patterns);

    // The configuration record: ClearConfig resets caption, address, UUID,
    // device UPID, validity and the Boolean mark. GetConfig returns a new
    // record of the class's definition (nullptr here); SetConfig reads a
    // record or dictionary with the same keys.
    virtual void ClearConfig();
    virtual TRef<TSLRecord> GetConfig() const;
    virtual void SetConfig(const TSLNamedCollection& Conf);
    // Descriptions by language from the dictionary "HelpTextDict".
    void SetInfoStrings(const TSLNamedCollection& Conf);

    // Property accessors by ident (1 address, 2 caption, 3 value, 4 scale,
    // 5 offset, 6 unit, 10 maximum size, 13 display mode, 14 device UPID).
    MyAnsiString GetStrVarProp(int Ident) const;
    void SetStrVarProp(int Ident, const MyAnsiString& Value);
    double GetDblVarProp(int Ident) const;
    void SetDblVarProp(int Ident, double Value);
    std::int32_t GetIntVarProp(int Ident) const;
    void SetIntVarProp(int Ident, std::int32_t Value);

    TPropertyList& PropList() const noexcept { return *FPropList; }
    TSLDictionary* RecDef() const noexcept { return FRecDef.Get(); }

    TVarSourceType SourceType() const noexcept { return FVarSourceType; }
    const MyAnsiString& Caption() const noexcept { return FCaption; }
    const MyAnsiString& Name() const noexcept { return FName; }
    void SetName(const MyAnsiString& Value) { FName = Value; }
    const MyAnsiString& VarType() const noexcept { return FVarType; }
    void SetVarType(const MyAnsiString& Value) { FVarType = Value; }
    const MyAnsiString& DisplayMode() const noexcept { return FDisplayMode; }
    void SetDisplayMode(const MyAnsiString& Value) { FDisplayMode = Value; }
    std::uint8_t Permission() const noexcept { return FPermission; }
    std::uint16_t AddrUsage() const noexcept { return FAddrUsage; }
    std::int32_t DeviceUPID() const noexcept { return FDeviceUPID; }
    std::int32_t MasterUPID() const noexcept { return FMasterUPID; }
    std::int32_t UUID() const noexcept { return FUUID; }
    std::uint32_t Address() const noexcept { return FAddress; }
    std::uint8_t BitAddr() const noexcept { return FBitAddr; }
    std::int32_t MaxSize() const noexcept { return FMaxSize; }
    std::int32_t MinValue() const noexcept { return FMinValue; }
    std::int32_t MaxValue() const noexcept { return FMaxValue; }
    std::int32_t DefaultValue() const noexcept { return FDefaultValue; }
    // Own scale, offset and unit text (user-defined and pointer variables).
    double OwnScale() const noexcept { return FScale; }
    double OwnOffset() const noexcept { return FOffset; }
    const MyAnsiString& OwnUnitStr() const noexcept { return FUnitStr; }
    bool IsUPIDScaled() const noexcept { return FIsUPIDScaled; }
    void SetUPIDScale(bool AScaled, std::int32_t AUPID) noexcept {
        FIsUPIDScaled = AScaled;
        FUPIDScaleUPID = AUPID;
    }
    std::int32_t UPIDScaleUPID() const noexcept { return FUPIDScaleUPID; }
    int Size() const noexcept { return FSize; }
    TVarItemOwner& Owner() const noexcept { return *FOwner; }
    TVarItemParent* Parent() const noexcept { return FParent; }

protected:
    // Brackets a change in the owner's update bracket.
    class TUpdate {
    public:
        explicit TUpdate(TVarItemOwner& AOwner) : FOwner(AOwner) { FOwner.BeginUpdate(); }
        ~TUpdate() { FOwner.EndOfUpdate(); }
        TUpdate(const TUpdate&) = delete;
        TUpdate& operator=(const TUpdate&) = delete;

    private:
        TVarItemOwner& FOwner;
    };

    // Sets the type name, the data length, the "Data" default of the record
    // definition (when DataDefault > 0 zero bytes) and the object type text.
    void InitType(const char* AVarType, int ALength, int ADataDefault, const char* AObjType);
    // Adds the fields "Offset", "Scale", "UnitStr" to the record definition
    // and, for a user-defined variable, the matching properties.
    void AddScaleFields();
    void AddStrProperty(const MyAnsiString& AName, int AIdent, bool AWritable);
    void AddDblProperty(const MyAnsiString& AName, int AIdent, bool AWritable);
    void AddIntProperty(const MyAnsiString& AName, int AIdent, bool AWritable);

    // A new record of the definition with the fields every class fills.
    TRef<TSLRecord> NewConfig() const;
    // Reads "Caption", "DisplayMode" (when ADisplayMode), "AddrUsage",
    // "Permission", "Data" (when AData) and "VarType", each when present.
    void ReadCommonConfig(const TSLNamedCollection& Conf, bool ADisplayMode, bool AData);
    // User-defined: "Address". Others: the device UPID from "DEVICE_UPID",
    // else "UPID" (required), the master UPID from "UPID".
    void ReadAddressConfig(const TSLNamedCollection& Conf);

    void SetRawDataCache(const MyAnsiString& S);

    TVarSourceType FVarSourceType;
    MyAnsiString FCaption;
    MyAnsiString FName;
    std::uint8_t FPermission = 3;
    std::uint16_t FAddrUsage = 0x101;
    std::int32_t FMinValue = 0;
    std::int32_t FMaxValue = 0;
    std::int32_t FDefaultValue = 0;
    std::int32_t FDeviceUPID = -1;
    std::int32_t FMasterUPID = -1;
    std::int32_t FUUID = -1;
    double FOffset = 0.0;
    double FScale = 1.0;
    MyAnsiString FUnitStr;
    MyAnsiString FData;
    TRef<TSLDictionary> FRecDef;
    std::unique_ptr<TPropertyList> FPropList;
    std::uint8_t FSize = 0;
    bool FIsUPIDScaled = false;
    std::int32_t FUPIDScaleUPID = 0;
    TVarItemOwner* FOwner;
    TVarItemParent* FParent;
    std::uint16_t FFlagSet = 0;
    MyAnsiString FVarType;
    std::uint32_t FAddress = 0;
    std::uint8_t FBitAddr = 0;
    std::int32_t FMaxSize = 0;
    MyAnsiString FDisplayMode = "HEX";
};

// ------------------------------------------------------------------ integers

// Integer variables of 8 to 48 bits and the base of the float variables.
class TIntVarItem : public TVarItem {
public:
    TIntVarItem(TVarItemOwner& AOwner, TVarItemParent* AParent, TVarSourceType ASourceType);
    const char* ClassName() const override { return "TIntVarItem"; }

    MyAnsiString BinToDisp(const MyAnsiString& S) const override;
    MyAnsiString DispToBin(const MyAnsiString& S) const override;
    // "---" while not valid; "HEX": two's complement in 2 x bytes digits and
    // "h"; "DEC": the value.
    MyAnsiString GetRawDataStr(const MyAnsiString& ADisplayMode) const override;

    virtual std::int64_t GetMaxValue() const;
    virtual std::int64_t GetMinValue() const;
    // The physical value in the current unit system (0 while not valid, or
    // for a system variable without device unit); GetSIValue in SI.
    virtual double GetFloatValue() const;
    virtual double GetSIValue() const;

    TRef<TSLRecord> GetConfig() const override;
    void SetConfig(const TSLNamedCollection& Conf) override;

protected:
    bool IsSigned() const { return GetMinValue() < 0; }
    double PhysicalValue(TUnitSystem US) const;
    // The "SCALED" text of a raw value: own scale or the device unit.
    MyAnsiString ScaledText(std::int64_t V) const;
    // The raw value of a "SCALED" text whose number part ends at the first
    // character that is no digit, "-" or "." (WholeText: the whole text).
    std::int64_t ScaledToInt(const MyAnsiString& S, bool WholeText) const;
};

// The 8-, 16- and 32-bit members differ only in width and sign.
template <int Bytes, bool Signed>
class TFixedIntVarItem : public TIntVarItem {
public:
    TFixedIntVarItem(TVarItemOwner& AOwner, TVarItemParent* AParent, TVarSourceType ASourceType);
    std::int64_t BinToInt(const MyAnsiString& S) const override;
    std::int64_t GetMaxValue() const override;
    std::int64_t GetMinValue() const override;
};

#define VO_INT_VAR_ITEM(Name, Bytes, Signed) \
    class Name : public TFixedIntVarItem<Bytes, Signed> { \
    public: \
        using TFixedIntVarItem::TFixedIntVarItem; \
        const char* ClassName() const override { return #Name; } \
    };
VO_INT_VAR_ITEM(TUInt8VarItem, 1, false)
VO_INT_VAR_ITEM(TSInt8VarItem, 1, true)
VO_INT_VAR_ITEM(TUInt16VarItem, 2, false)
VO_INT_VAR_ITEM(TSInt16VarItem, 2, true)
VO_INT_VAR_ITEM(TUInt32VarItem, 4, false)
VO_INT_VAR_ITEM(TSInt32VarItem, 4, true)
#undef VO_INT_VAR_ITEM

// The 48-bit members convert on their own.
class T48BitVarItem : public TIntVarItem {
public:
    T48BitVarItem(TVarItemOwner& AOwner, TVarItemParent* AParent, TVarSourceType ASourceType);
    std::int64_t BinToInt(const MyAnsiString& S) const override;
    MyAnsiString DispToBin(const MyAnsiString& S) const override;
};

class TUInt48VarItem : public T48BitVarItem {
public:
    TUInt48VarItem(TVarItemOwner& AOwner, TVarItemParent* AParent, TVarSourceType ASourceType);
    const char* ClassName() const override { return "TUInt48VarItem"; }
    std::int64_t GetMaxValue() const override { return 281474976710655; }
    std::int64_t GetMinValue() const override { return 0; }
};

class TSInt48VarItem : public T48BitVarItem {
public:
    TSInt48VarItem(TVarItemOwner& AOwner, TVarItemParent* AParent, TVarSourceType ASourceType);
    const char* ClassName() const override { return "TSInt48VarItem"; }
    std::int64_t GetMaxValue() const override { return 140737488355327; }
    std::int64_t GetMinValue() const override { return -140737488355328; }
};

// ------------------------------------------------------------------ floats

// The base of the two float classes: 4 bytes, no integer limits.
class TFloatVarItemBase : public TIntVarItem {
public:
    TFloatVarItemBase(TVarItemOwner& AOwner, TVarItemParent* AParent, TVarSourceType ASourceType);
    std::int64_t BinToInt(const MyAnsiString& S) const override;
    MyAnsiString GetRawDataStr(const MyAnsiString& ADisplayMode) const override;
    std::int64_t GetMaxValue() const override;
    std::int64_t GetMinValue() const override;
    // A float value has no unit of its own: the decoded number.
    double GetSIValue() const override { return GetFloatValue(); }

protected:
    // "HEX", "DEC", "BIN" of the 4 bytes read as a signed 32-bit word.
    MyAnsiString RawText(const MyAnsiString& S) const;
    // The 4 bytes of a "HEX", "DEC" or "BIN" entry (0 in other modes).
    MyAnsiString RawEntry(const MyAnsiString& S, bool AIEEE) const;
};

// The drive's packed float (VelFloat).
class TVelFloat32VarItem : public TFloatVarItemBase {
public:
    TVelFloat32VarItem(TVarItemOwner& AOwner, TVarItemParent* AParent, TVarSourceType ASourceType);
    const char* ClassName() const override { return "TVelFloat32VarItem"; }
    MyAnsiString BinToDisp(const MyAnsiString& S) const override;
    MyAnsiString DispToBin(const MyAnsiString& S) const override;
    // The decoded number, also while not valid; no scale, offset or unit.
    double GetFloatValue() const override;
};

// IEEE 754 single precision, little-endian.
class TFloat32VarItem : public TFloatVarItemBase {
public:
    TFloat32VarItem(TVarItemOwner& AOwner, TVarItemParent* AParent, TVarSourceType ASourceType);
    const char* ClassName() const override { return "TFloat32VarItem"; }
    MyAnsiString BinToDisp(const MyAnsiString& S) const override;
    MyAnsiString DispToBin(const MyAnsiString& S) const override;
    // The raw single, also while not valid; no scale or offset.
    double GetFloatValue() const override;
};

// ------------------------------------------------------------------ enumerators

class TEnumDirVarItem;

// One named value of an enumerator.
class TEnumChildVarItem {
public:
    TEnumChildVarItem(TEnumDirVarItem& AParent, const MyAnsiString& AName, std::int32_t AChildValue,
                      std::uint8_t APermission);
    // "HEX": the value in 4 (8-bit: 2) hex digits and "h"; "DEC": decimal;
    // other modes: the name.
    MyAnsiString GetChildValueStr(const MyAnsiString& ADisplayMode) const;

    TEnumDirVarItem& EnumParent() const noexcept { return *FEnumParent; }
    const MyAnsiString& ChildName() const noexcept { return FChildName; }
    std::int32_t ChildValue() const noexcept { return FChildValue; }
    std::uint8_t Permission() const noexcept { return FPermission; }

private:
    TEnumDirVarItem* FEnumParent;
    MyAnsiString FChildName;
    std::int32_t FChildValue;
    std::uint8_t FPermission;
};

// The enumerators of 16 and 8 bits: the value is one of the named children.
class TEnumDirVarItem : public TVarItem {
public:
    TEnumDirVarItem(TVarItemOwner& AOwner, TVarItemParent* AParent, TVarSourceType ASourceType, int ABytes);
    ~TEnumDirVarItem() override;

    // Appends a child.
    TEnumChildVarItem& AddChild(const MyAnsiString& AName, std::int32_t AChildValue, std::uint8_t APermission);
    int GetChildCount() const noexcept { return static_cast<int>(FChildren.size()); }
    const TEnumChildVarItem& GetChild(int AIndex) const { return *FChildren.at(static_cast<std::size_t>(AIndex)); }
    int Bytes() const noexcept { return FBytes; }

    MyAnsiString BinToDisp(const MyAnsiString& S) const override;
    MyAnsiString DispToBin(const MyAnsiString& S) const override;
    std::int64_t BinToInt(const MyAnsiString& S) const override;
    MyAnsiString GetRawDataStr(const MyAnsiString& ADisplayMode) const override;
    TRef<TSLRecord> GetConfig() const override;
    void SetConfig(const TSLNamedCollection& Conf) override;

private:
    int FBytes;
    std::vector<std::unique_ptr<TEnumChildVarItem>> FChildren; // in order added
};

class TEnumDir16VarItem : public TEnumDirVarItem {
public:
    TEnumDir16VarItem(TVarItemOwner& AOwner, TVarItemParent* AParent, TVarSourceType ASourceType);
    const char* ClassName() const override { return "TEnumDir16VarItem"; }
};

class TEnumDir8VarItem : public TEnumDirVarItem {
public:
    TEnumDir8VarItem(TVarItemOwner& AOwner, TVarItemParent* AParent, TVarSourceType ASourceType);
    const char* ClassName() const override { return "TEnumDir8VarItem"; }
};

// ------------------------------------------------------------------ booleans, strings

// One bit of the first byte ("Bool") or of the first 16-bit word ("Bool16").
class TBoolVarItem : public TVarItem {
public:
    TBoolVarItem(TVarItemOwner& AOwner, TVarItemParent* AParent, TVarSourceType ASourceType);
    const char* ClassName() const override { return "TBoolVarItem"; }

    // "TRUE" or "FALSE" in every display mode.
    MyAnsiString BinToDisp(const MyAnsiString& S) const override;
    // "TRUE" (any case): the bit set; every other text: 0.
    MyAnsiString DispToBin(const MyAnsiString& S) const override;
    MyAnsiString GetRawDataStr(const MyAnsiString& ADisplayMode) const override;
    TRef<TSLRecord> GetConfig() const override;
    void SetConfig(const TSLNamedCollection& Conf) override;

protected:
    virtual bool BitSet(const MyAnsiString& S) const;
};

class TBool16VarItem : public TBoolVarItem {
public:
    TBool16VarItem(TVarItemOwner& AOwner, TVarItemParent* AParent, TVarSourceType ASourceType);
    const char* ClassName() const override { return "TBool16VarItem"; }
    MyAnsiString GetRawDataStr(const MyAnsiString& ADisplayMode) const override;
    TRef<TSLRecord> GetConfig() const override;
    void SetConfig(const TSLNamedCollection& Conf) override;

protected:
    bool BitSet(const MyAnsiString& S) const override;
};

// A text of at most "MaxSize" bytes, zero-padded in the cache.
class TStringVarItem : public TVarItem {
public:
    TStringVarItem(TVarItemOwner& AOwner, TVarItemParent* AParent, TVarSourceType ASourceType);
    const char* ClassName() const override { return "TStringVarItem"; }

    // The cache up to its first zero byte, at most MaxSize characters.
    MyAnsiString BinToDisp(const MyAnsiString& S) const override;
    // Exactly MaxSize bytes: the text cut and zero-padded.
    MyAnsiString DispToBin(const MyAnsiString& S) const override;
    // A text longer than MaxSize raises "internal error: data size error";
    // otherwise the cache becomes the text whole.
    void SetDataCache(const MyAnsiString& S) override;
    TRef<TSLRecord> GetConfig() const override;
    // "MaxSize" is required and at most 255.
    void SetConfig(const TSLNamedCollection& Conf) override;
};

// ------------------------------------------------------------------ registry

// A new variable of the class registered under the type name ("UInt8" ..
// "String"); nullptr for an unknown name (case matters).
std::unique_ptr<TVarItem> CreateVarItem(const MyAnsiString& ATypeName, TVarItemOwner& AOwner,
                                        TVarItemParent* AParent, TVarSourceType ASourceType);

} // namespace vo
