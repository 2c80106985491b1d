#pragma once
// The base of every script-language value (TSLObject), the writer interface
// through which a value writes itself, the error classes of conversions and
// casts, and the interfaces through which values reach a running script (the
// script context and its stack facade).
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>
#include <type_traits>
#include <vector>

#include "platform/AnsiString.h"
#include "platform/Exception.h"
#include "storagelib/RefObj.h"
#include "storagelib/SL20Dbg.h"
#include "storagelib/SL20Pool.h"

namespace vo {

class TSLObject;
class TSLContext;
class TSLBlock;
class TSLProcedure;
class TSLDictionary;
class TContextInterface;

// A list of values (the elements of arrays and stacks); small lists take
// their memory from the value pool.
using TSLObjectList = std::vector<TRef<TSLObject>, TSLPoolAllocator<TRef<TSLObject>>>;

// The writer as a value sees it (implemented by the text notation writer).
class TEncoderInterface {
public:
    virtual ~TEncoderInterface() = default;
    virtual void EncodeLongint(int64_t Value) = 0;
    virtual void EncodeDouble(double Value) = 0;
    virtual void EncodeString(const MyAnsiString& Value) = 0;
    virtual void EncodeBoolean(bool Value) = 0;
    virtual void EncodeIdent(const MyAnsiString& Name, bool Executable) = 0;
    virtual void EncodeObject(TSLObject* Obj) = 0;
};

class TSLObject : public TRefObj {
    VO_REFOBJ_CLASS(TSLObject, TRefObj)
public:
    virtual bool GetExecutable() const { return false; }
    virtual void SetExecutable(bool Value);
    // Raises "<class>.<method>: method not implemented".
    [[noreturn]] void RaiseMethodNotImplementedException(const char* Method) const;
    virtual void Encode(TEncoderInterface& Encoder);
    // Changes the receiver in place to a copy of Obj.
    virtual void AssignObject(const TSLObject* Obj);
    // A new copy, autoreleased (count 1, one pool entry).
    TSLObject* CopyObject() const;
    // A new copy held by a handle (count 1, nothing queued); what CopyObject,
    // the collections' deep copies and assignments are built on.
    virtual TRef<TSLObject> CopyRef() const;
    virtual bool IsEqual(const TSLObject* Obj) const;
    virtual void Execute(TSLContext* Context);
    virtual int DepthIncrement() const { return 0; }

    // Quick class tests of the hot paths, each the same as InheritsFrom with
    // that class: the constructors of those classes set their trait, and a
    // subclass keeps the traits of its bases.
    enum : uint8_t {
        slExecutableClass = 1, // TSLBlock or TSLInternalProcedure (see SLIsExecutableClass)
        slIdent = 2, // TSLIdent
        slLongint = 4, // TSLLongint
        slDouble = 8, // TSLDouble
        slHasDbgInfo = 16, // a debug record is kept for the object
        slBlock = 32, // TSLBlock (and so TSLProcedure)
    };
    bool HasTrait(uint8_t Trait) const noexcept { return (FTraits & Trait) != 0; }

    // Debug record, owned; nil unless the value was read in debug mode. (The
    // records are kept apart, so that the values of a normal read do not
    // carry room for one.)
    TDbgInfo* GetDbgInfo() const noexcept { return HasTrait(slHasDbgInfo) ? FindDbgInfo() : nullptr; }
    void SetDbgInfo(std::unique_ptr<TDbgInfo> Info);

protected:
    TSLObject() = default;
    ~TSLObject() override;

private:
    TDbgInfo* FindDbgInfo() const noexcept;
};

// Obj as a T; nil or any other class raises the invalid type-cast error.
// (For a class that declares its own class record, the record chain tells
// without a dynamic cast.)
template <class T>
inline constexpr bool SLHasOwnClassInfo =
    std::is_same_v<decltype(&T::ClassType), const TClassInfo& (T::*)() const noexcept>;
template <class T>
T* SLCast(TSLObject* Obj) {
    if constexpr (SLHasOwnClassInfo<T>) {
        if (Obj && Obj->InheritsFrom(T::ClassInfo)) return static_cast<T*>(Obj);
    } else {
        if (T* p = dynamic_cast<T*>(Obj)) return p;
    }
    throw EInvalidCast();
}
template <class T>
const T* SLCast(const TSLObject* Obj) {
    if constexpr (SLHasOwnClassInfo<T>) {
        if (Obj && Obj->InheritsFrom(T::ClassInfo)) return static_cast<const T*>(Obj);
    } else {
        if (const T* p = dynamic_cast<const T*>(Obj)) return p;
    }
    throw EInvalidCast();
}

// The built-in procedures' base: always executable; Execute is the body.
class TSLInternalProcedure : public TSLObject {
    VO_REFOBJ_CLASS(TSLInternalProcedure, TSLObject)
public:
    TSLInternalProcedure() noexcept { FTraits |= slExecutableClass; }
    bool GetExecutable() const override { return true; }
};

// A stack as native code sees it; indices are stack indices (0 = top).
class TStackInterface {
public:
    virtual ~TStackInterface() = default;
    virtual TSLObject* GetObjAtIndex(int Index) = 0;
    virtual void SetObjAtIndex(int Index, TSLObject* AObject) = 0;
    virtual int GetCount() = 0;
    virtual void Clear() = 0;
    virtual void AddObject(TSLObject* Obj) = 0;
    virtual void InsertObject(int Index, TSLObject* Obj) = 0;
    virtual void RemoveObject(int Index) = 0;
    virtual void Push(TSLObject* Obj) = 0;
    // With ReturnResult the top is returned kept alive by the autorelease pool;
    // without, it is dropped and nil returned.
    virtual TSLObject* Pop(bool ReturnResult) = 0;
};

enum TContextState : uint8_t {
    isIdle = 0,
    isExecuting = 1,
    isWaiting = 2,
    isContinuing = 3,
    isBreakpoint = 4,
    isWaitZero = 5,
    isFinished = 6,
};

// A running script as native code sees it (implemented by the interpreter).
class TSLContext : public TSLObject {
    VO_REFOBJ_CLASS(TSLContext, TSLObject)
public:
    using TNotifyEvent = std::function<void(TSLContext* Sender)>;

    TStackInterface* FOperandStackInterface = nullptr;
    TStackInterface* FExecutionStackInterface = nullptr;
    TStackInterface* FDictStackInterface = nullptr;
    TNotifyEvent FOnContinue;
    TNotifyEvent FOnResume;
    TContextInterface* FContextInterface = nullptr;
    // The elements of the operand stack (top last) when the context keeps
    // them in a plain vector behind FOperandStackInterface: the built-ins
    // read, pop and push through it without a call. Nil otherwise.
    TSLObjectList* FOperandArray = nullptr;
    int32_t FTimeout = 0;
    MyAnsiString FScriptName;

    virtual TContextState GetState() const = 0;
    virtual int32_t GetUserValue() const = 0;
    virtual void SetUserValue(int32_t Value) = 0;
    virtual TSLObject* ResolveName(std::string_view AName) = 0;
    virtual void AddDict(TSLDictionary* Dict) = 0;
    virtual void AddNamedDict(const MyAnsiString& Name, TSLDictionary* Dict) = 0;
    virtual void ImportDict(const MyAnsiString& Name, TSLDictionary* Dict) = 0;
    virtual void PushBlock(TSLBlock* Block) = 0;
    virtual void Wait(void* Sender, int32_t Timeout) = 0;
    virtual void Continue(void* Sender) = 0;
    virtual void Resume(void* Sender) = 0;

    // The execution frames a block or procedure runs in (made by the
    // interpreter; TSLBlock::Execute pushes them on the execution stack).
    virtual TRef<TSLObject> CreateBlockFrame(TSLBlock* Block) = 0;
    virtual TRef<TSLObject> CreateProcedureFrame(TSLProcedure* Proc) = 0;

    // Spare values: numbers and booleans that nobody held any more, kept by
    // the context (one reference each) instead of being freed, so that the
    // built-ins' next results take them instead of new objects. A spare is
    // always exactly its class, without a debug record; nobody can tell a
    // taken one from a new one.
    class TSpareList {
    public:
        static constexpr int Max = 8;
        TSLObject* Take() noexcept { return FCount > 0 ? FItems[--FCount] : nullptr; }
        // Takes over the caller's reference; false (nothing taken) when full.
        bool Keep(TSLObject* Obj) noexcept {
            if (FCount == Max) return false;
            FItems[FCount++] = Obj;
            return true;
        }
        void ReleaseAll() noexcept {
            while (FCount > 0) FItems[--FCount]->Release();
        }

    private:
        TSLObject* FItems[Max];
        int FCount = 0;
    };
    TSpareList FSpareLongints; // TSLLongint
    TSpareList FSpareDoubles; // TSLDouble
    TSpareList FSpareBooleans; // TSLBoolean

    // Drops the caller's reference to Obj (not nil): a number or boolean
    // that nobody else holds becomes a spare.
    void DropValue(TSLObject* Obj) noexcept {
        // (The number classes are final: the trait names the class exactly.)
        if (Obj->GetRefCount() == 1 && !Obj->HasTrait(slHasDbgInfo)) {
            if (Obj->HasTrait(slLongint)) {
                if (FSpareLongints.Keep(Obj)) return;
            } else if (Obj->HasTrait(slDouble)) {
                if (FSpareDoubles.Keep(Obj)) return;
            } else if (KeepSpareBoolean(Obj)) {
                return;
            }
        }
        Obj->Release();
    }

private:
    // Keeps Obj (count 1, no debug record) when it is exactly a boolean.
    bool KeepSpareBoolean(TSLObject* Obj) noexcept;

public:

protected:
    TSLContext() = default;
    ~TSLContext() override;
};

} // namespace vo
