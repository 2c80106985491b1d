#pragma once
// What the motor wizard sees of a drive: its parameters by UPID, its units,
// whether it is online, the definition-file extension of its module
// service, and the two service turns of the writing pass (status service:
// stop the firmware; parameter service: one modify batch).
//
// The program binds these to a device's services (WizSrvTree.h); tests give
// a tree of their own.
//
// GUI thread only.
#include <cstdint>
#include <functional>

#include <vector>

#include "platform/AnsiString.h"

namespace vo {

class TDeviceUnit;

// The kind of a drive parameter as the wizard reads and writes it.
enum class TWizTreeKind : std::uint8_t {
    tkInteger, // integer with unit, scaling and limits
    tkRadio16, // 16-bit enumerator (children are its settings)
    tkRadio32, // 32-bit enumerator
    tkRadioBit, // bit enumerator
    tkString,
    tkBoolean,
    tkOther
};

class TWizTreePar {
public:
    virtual ~TWizTreePar() = default;

    virtual TWizTreeKind Kind() const = 0;
    virtual std::int32_t UPID() const = 0;
    virtual MyAnsiString Caption() const = 0;
    // The captions from the top directory down to the node joined by "\".
    virtual MyAnsiString Path() const = 0;

    // Integer: unit UUID, and default, limits and value as SI numbers.
    virtual std::int32_t UnitUUID() const { return 0; }
    virtual double DefaultSI() const { return 0; }
    virtual double MinSI() const { return 0; }
    virtual double MaxSI() const { return 0; }
    virtual double ValueSI() const { return 0; }
    // Integer and enumerators: default and value as integers (16-bit and bit
    // enumerators zero-extended, 32-bit ones sign-extended).
    virtual std::int64_t DefaultInt() const { return 0; }
    virtual std::int64_t IntValue() const { return 0; }
    // String: default and value as text.
    virtual MyAnsiString DefaultStr() const { return {}; }
    virtual MyAnsiString StrValue() const { return {}; }
    // Boolean.
    virtual bool DefaultBool() const { return false; }
    virtual bool BoolValue() const { return false; }
    // Enumerators: the selectable settings.
    virtual int ChildCount() const { return 0; }
    virtual std::int64_t ChildValue(int /*Index*/) const { return 0; }
    virtual MyAnsiString ChildCaption(int /*Index*/) const { return {}; }

    // Writing (inside a prepared modify). Each raises when the node refuses.
    // Text in SI units, display mode "SCALED" (integers and strings).
    virtual void SetScaledValue(const MyAnsiString& Text) = 0;
    // Integers and enumerators (the low bits of the kind's width).
    virtual void SetIntValue(std::int64_t Value) = 0;
    virtual void SetBoolValue(bool Value) = 0;
    // Requests the write of the set value in the prepared modify.
    virtual void Modify() = 0;
};

class TWizTree {
public:
    virtual ~TWizTree() = default;

    // nullptr when the drive has no parameter with that UPID.
    virtual TWizTreePar* FindParameter(std::int32_t UPID) = 0;
    // nullptr when the device has no unit with that UUID.
    virtual const TDeviceUnit* FindUnit(std::int32_t UUID) const = 0;
    virtual bool Online() const = 0;
    // Extension of actuator definition files (without the dot).
    virtual MyAnsiString ADFFileExt() const = 0;

    // The writing pass. Turns and updates come back through the handlers the
    // manager sets with Bind.
    struct THandlers {
        std::function<void()> StatusExecute; // the status client's turn
        std::function<void()> StatusUpdate; // each status update
        std::function<void()> ParameterExecute; // the parameter client's turn
        std::function<void()> ParameterNotify; // the modify batch is done
    };
    virtual void Bind(THandlers Handlers) = 0;
    virtual bool GetRunning() const = 0;
    virtual void RequestStatusTurn() = 0;
    virtual void StopDevice() = 0;
    virtual void ReleaseStatus() = 0;
    virtual void DisconnectStatus() = 0;
    virtual void RequestParameterTurn() = 0;
    virtual void PrepareModify() = 0;
    // Waits for the batch, then the drive is written; ParameterNotify follows.
    virtual void ExecuteModify() = 0;
    virtual void ReleaseParameter() = 0;
    // Drive answers of the last batch that were no success, as
    // "<caption> (UPID <n>)" lines; empty when all were written.
    virtual std::vector<MyAnsiString> RefusedWrites() const { return {}; }
};

} // namespace vo
