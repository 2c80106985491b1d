#pragma once
// TParameter: the base of every node of a drive's parameter tree.
//
// One parameter service per device owns the tree (ParSrv.h). Each node is
// built by its class's constructor from one record of a module description's
// "ParameterArray"; the record's type name selects the class through the
// parameter class registry (ParMan.h). The node carries its addressing (the
// master UPID names the parameter on every drive, the device UPID addresses
// the value on this one), its place in the tree, its caption, a permission
// byte, an address-usage word, a display mode and a word of run-time
// attribute bits. The typed value operations are supplied by the type
// classes; here they raise EAbstractError. Nodes never talk to the drive by
// themselves: Update, Modify and Invalidate hand the node to its service,
// which queues it and later calls RequestUpdate / ProcessUpdate (reads) and
// RequestModify / ProcessModify (writes), one node per telegram.
//
// A node owns its children: destroying it destroys its whole subtree.
//
// GUI thread only.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "devices/ParInfo.h"
#include "kernel/InspRows.h"
#include "kernel/Object.h"
#include "parameters/DatTypes.h"
#include "platform/AnsiString.h"

namespace vo {

class TBasicOvraService;
class TClassDirParameter;
class TOvraActor;
class TParameterService;
class TPropertyList;
class TServiceClient;
class TSLRecord;
class TVisibilityFlag;

// The handler of a telegram's answer (the actor that carried it).
using TParameterResponse = std::function<void(TOvraActor& Actor)>;

class TParameter;
// Called for each node of a walk; setting Stop ends it.
using TParameterCallBack = std::function<void(TParameter& P, bool& Stop)>;

// Permission byte: one read and one write bit per user level.
inline constexpr std::uint8_t PermReadBits = 0x55;
inline constexpr std::uint8_t PermWriteBits = 0xAA;
// The bits of each user level (the user masks).
inline constexpr std::uint8_t UserMaskGuest = 0x40;
inline constexpr std::uint8_t UserMaskUser = 0x03;
inline constexpr std::uint8_t UserMaskService = 0x0C;
inline constexpr std::uint8_t UserMaskDeveloper = 0x30;

// Address-usage word.
inline constexpr std::uint16_t AddrRamRead = 0x0001;
inline constexpr std::uint16_t AddrRamWrite = 0x0002;
inline constexpr std::uint16_t AddrRomRead = 0x0004;
inline constexpr std::uint16_t AddrRomWrite = 0x0008;
inline constexpr std::uint16_t AddrLive = 0x0100; // may be written while the firmware runs

// Attribute word.
inline constexpr std::int32_t AttrChanged = 0x10000; // a read or write stored a new value (never cleared)
inline constexpr std::int32_t AttrValid = 0x20000; // the cached value is known
inline constexpr std::int32_t AttrWriteQueued = 0x40000; // queued for a write in this pass
inline constexpr std::int32_t AttrReadQueued = 0x80000; // queued for a read in this pass
inline constexpr std::int32_t AttrVFlagSource = 0x100000; // sets visibility flags
inline constexpr std::int32_t AttrVisible = 0x200000; // computed by the visibility pass

// Longest caption of a node.
inline constexpr std::size_t ParCaptionMax = 63;

// A node is also what the device info view and the object inspector see of
// a parameter (TParameterInfo, TInspectableItem).
class TParameter : public TObject, public TParameterInfo, public TInspectableItem {
public:
    // From a "ParameterArray" record: "UPID", "DEVICE_UPID" (optional: the
    // master UPID), "Level", "Caption" (cut to 63 characters), "Permission",
    // "AddrUsage", "DisplayMode" (optional), "UseVFlag" (a flag name or
    // empty), "WizardUPIDList" (optional), "HelpTextDict" (optional). The node
    // enters the owner's master- and device-UPID lists and gets a property
    // list of object type "Parameter".
    // Without a record (the tree root): listed under "_ROOT" in the
    // master-UPID list only, permission 0x55, no property list.
    // A node whose construction fails leaves the owner's lists as they were.
    TParameter(TParameterService& AOwner, TSLRecord* ARecord);
    // Destroys the subtree.
    ~TParameter() override;
    TParameter(const TParameter&) = delete;
    TParameter& operator=(const TParameter&) = delete;

    virtual const char* ClassName() const { return "TParameter"; }

    // Hand the node to the owner's ParameterUpdate, ParameterModify and
    // ParameterInvalidate.
    virtual void Update(TServiceClient& Client);
    virtual void Modify(TServiceClient& Client);
    virtual void Invalidate(TServiceClient& Client);

    // Typed value operations; EAbstractError unless a type class supplies them.
    // Display modes are the upper-case names "SCALED", "DEC", "HEX", "BIN",
    // "ASCII".
    virtual void GetScaledValue(TValueRec& V, TUnitSystem US, const MyAnsiString& DisplayMode) const;
    // Stores an entered value in the edit cache.
    virtual void SetScaledValue(const MyAnsiString& Text, TUnitSystem US, const MyAnsiString& DisplayMode);
    virtual void GetDefaultStr(TValueRec& V, TUnitSystem US, const MyAnsiString& DisplayMode) const;
    virtual MyAnsiString GetRawDataStr(const MyAnsiString& DisplayMode) const;
    virtual MyAnsiString GetChildValueStr(const MyAnsiString& DisplayMode) const;
    // The value in the SI unit.
    virtual double GetBaseScaledValue() const;
    virtual bool GetBoolValue() const;
    virtual void SetBoolValue(bool Value);
    virtual std::int64_t GetIntValue() const;
    virtual double GetValue(TUnitSystem US) const;
    MyAnsiString GetStrValue() const override;
    virtual void SetStrValue(const MyAnsiString& Value);
    // Stores the description's default as the value.
    virtual void SetDefaultValue(TUnitSystem US);
    // False here.
    virtual bool HasAddress() const { return false; }
    virtual std::int32_t GetAddress() const;
    virtual std::int32_t GetBitAddr() const;
    // Scale 1.0 and no unit here.
    virtual void GetUnit(double& Scale, MyAnsiString& Unit, TUnitSystem US) const;
    // Appends P as the last child (its level becomes this level + 1) and
    // takes it over.
    virtual TParameter& AddChild(std::unique_ptr<TParameter> P);
    // Called once for every node after a tree build; nothing here.
    virtual void Initialize(bool Online);
    // Moves the edit cache into the value cache; nothing here.
    virtual void CopyTempToData();
    // Telegrams: nothing is sent here; a write is refused with a warning. A
    // node whose request sends nothing is passed over by the service's pass
    // (no answer will come for it).
    virtual void RequestUpdate(TOvraActor& Actor, TBasicOvraService& Service, TParameterResponse Response);
    virtual void ProcessUpdate(TOvraActor& Actor, TBasicOvraService& Service);
    virtual void RequestModify(TOvraActor& Actor, TBasicOvraService& Service, TParameterResponse Response);
    // Kind 1: the answer of a drive; 2: offline, no telegram.
    virtual void ProcessModify(TOvraActor& Actor, TBasicOvraService& Service, int Kind);
    // The valid attribute.
    virtual bool GetValid() const { return GetAttrFlag(AttrValid); }
    // The value an enumerator or radio child stands for.
    virtual std::int32_t GetChildValue() const;
    virtual void SetIntValue(TUnitSystem US, std::int64_t Value);
    // The display mode; an integer whose value is a UPID shows it in the
    // program-wide UPID display mode.
    virtual MyAnsiString GetDisplayModeStr() const { return FDisplayMode; }

    // Permission byte AND 0x55 (0xAA) AND APermission is not 0.
    bool CanRead(std::uint8_t APermission) const { return (FPermission & PermReadBits & APermission) != 0; }
    bool CanWrite(std::uint8_t APermission) const { return (FPermission & PermWriteBits & APermission) != 0; }

    bool IsBoolean() const;
    bool IsInteger() const;
    bool IsString() const;
    bool IsDirectory() const;

    bool GetAttrFlag(std::int32_t Mask) const noexcept { return (FIntAttr & Mask) != 0; }
    void SetAttrFlag(std::int32_t Mask) noexcept { FIntAttr |= Mask; }
    void ClrAttrFlag(std::int32_t Mask) noexcept { FIntAttr &= ~Mask; }
    std::int32_t IntAttr() const noexcept { return FIntAttr; }

    // True for every node.
    bool GetVisible() const { return true; }

    // Pre-order walk of the subtree, the node itself first when IncludeRoot.
    void ForEach(const TParameterCallBack& CallBack, bool IncludeRoot);
    // The direct children in order.
    void ForEachChild(const TParameterCallBack& CallBack);

    // The nearest ancestor that is a class directory; nullptr when none.
    TClassDirParameter* GetClassRoot() const;
    // The captions from the level-1 ancestor down to this node joined by "\"
    // (ancestors with an empty caption add nothing).
    MyAnsiString GetPath() const override;

    // The device info view and the object inspector: the kind of value
    // (integers and directories are "other"; the string and 16-bit
    // enumerator types say so), the caption, the selected enumerator's
    // caption ("" here), the node and its property list.
    TParameterInfoKind InfoKind() const override { return TParameterInfoKind::pkOther; }
    MyAnsiString GetCaption() const override { return FCaption; }
    MyAnsiString SelectedEntryCaption() const override { return {}; }
    TObject* InspectedObject() override { return this; }
    TPropertyList* ParPropList() override { return FPropList.get(); }
    TPropertyList* ItemPropList() override { return FPropList.get(); }
    // The name of the module tree whose description held the record; "" when
    // there is none (the root).
    MyAnsiString GetTree() const;

    int GetWizardUPIDCount() const noexcept { return FWizardUPIDList ? static_cast<int>(FWizardUPIDList->size()) : 0; }
    // Raises "List index out of bounds (<i>)" outside the list.
    std::int32_t GetWizardUPID(int Index) const;
    bool HasWizardUPIDList() const noexcept { return FWizardUPIDList.has_value(); }

    // Nodes with the same master UPID that follow one another in the owner's
    // master-UPID list form an array.
    TParameter* GetArrayFirst() const;
    // nullptr after the last element (also after the last entry of the list).
    TParameter* GetArrayNext() const;
    int GetArrayCount() const;

    // The info texts of "HelpTextDict" (non-empty ones), by language.
    void SetInfoStrings(const TSLRecord* ARecord);
    // The texts of the string properties by ident: 1 caption, 2 device UPID,
    // 3 the parent's device UPID (in the UPID display mode), 4 the child-value
    // text in the raw-data display mode, 5 the parent's caption; else "".
    MyAnsiString GetStrVarProp(int Ident) const;

    // The UPID as shown: "%4.4x" + "h" in the UPID display mode "HEX", else
    // decimal.
    static MyAnsiString UPIDText(std::int32_t UPID);

    // Fields.
    std::int32_t UPID() const noexcept { return FUPID; }
    std::int32_t MasterUPID() const noexcept { return FMasterUPID; }
    const MyAnsiString& TypeStr() const noexcept { return FTypeStr; }
    TPropertyList* PropList() const noexcept { return FPropList.get(); }
    const MyAnsiString& Name() const noexcept { return FName; }
    TParameter* Parent() const noexcept { return FParent; }
    TParameter* Next() const noexcept { return FNext; }
    TParameter* Child() const noexcept { return FChild; }
    TParameterService& Owner() const noexcept { return *FOwner; }
    std::int32_t Index() const noexcept { return FIndex; }
    void SetIndex(std::int32_t Value) noexcept { FIndex = Value; }
    std::uint8_t Level() const noexcept { return FLevel; }
    std::uint8_t TreeIndex() const noexcept { return FTreeIndex; }
    const MyAnsiString& Caption() const noexcept { return FCaption; }
    std::uint8_t Permission() const noexcept { return FPermission; }
    std::uint16_t AddrUsage() const noexcept { return FAddrUsage; }
    std::int32_t HelpIndex() const noexcept { return FHelpIndex; }
    TVisibilityFlag* UseVFlag() const noexcept { return FUseVFlag; }
    const MyAnsiString& DisplayMode() const noexcept { return FDisplayMode; }
    const TParAddr& Address() const noexcept { return FAddress; }

protected:
    // Adds a read-only string property served by GetStrVarProp.
    void AddStrProperty(const MyAnsiString& AName, int Ident);
    // Makes the property list when the node has none.
    TPropertyList& EnsurePropList();

    std::int32_t FUPID = 0;
    std::int32_t FMasterUPID = 0;
    MyAnsiString FTypeStr;
    std::unique_ptr<TPropertyList> FPropList;
    std::optional<std::vector<MyAnsiString>> FWizardUPIDList;
    MyAnsiString FName;
    TParameter* FParent = nullptr;
    TParameter* FNext = nullptr; // owned by the parent
    TParameter* FChild = nullptr; // owned
    TParameterService* FOwner;
    std::int32_t FIndex = -1;
    std::uint8_t FLevel = 0;
    std::uint8_t FTreeIndex = 0;
    MyAnsiString FCaption;
    std::uint8_t FPermission = 0;
    std::uint16_t FAddrUsage = 0;
    std::int32_t FHelpIndex = 0;
    TVisibilityFlag* FUseVFlag = nullptr;
    MyAnsiString FDisplayMode;
    TParAddr FAddress;
    std::int32_t FIntAttr = 0;

private:
    // Set once the node stands in the owner's lists.
    bool FListed = false;
};

} // namespace vo
