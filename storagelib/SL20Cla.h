#pragma once
// Native script classes as scripts see them: the factory entry of a class in
// the "Create" dictionary, the script instance (a dictionary of its methods),
// the method entries, and the handle table through which a class keeps the
// native objects of its instances.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

#include "storagelib/CtxIntf.h"
#include "storagelib/SL20Dic.h"

namespace vo {

// Native data an instance may carry for its bound methods (freed with it).
class TSLClassData {
public:
    virtual ~TSLClassData() = default;
};

// A method bound to a function instead of a method id; it receives the
// instance's data and the context's interface.
using TExecuteEvent = std::function<void(TSLClassData* Data, TContextInterface& Ctx)>;

// The entry of a native class in "Create": executing the class's name makes a
// new instance and pushes it.
class TSLScriptClassFactory : public TSLInternalProcedure {
    VO_REFOBJ_CLASS(TSLScriptClassFactory, TSLInternalProcedure)
public:
    TSLScriptClassFactory(TScriptClass* AScriptClass, int32_t AClassVersion, MyAnsiString AClassName);
    void Execute(TSLContext* Context) override;

    TScriptClass* FScriptClass; // not owned
    int32_t FClassVersion; // kept, not interpreted
    MyAnsiString FClassName;
};

// One script instance of a native class: its entries are its methods by name.
// The native object lives exactly as long as the instance; copying an
// instance gives the instance itself.
class TSLClass : public TSLDictionary {
    VO_REFOBJ_CLASS(TSLClass, TSLDictionary)
public:
    TSLClass() = default;
    // Frees the data, then the native object, then the methods. Methods that
    // somebody still holds no longer reach the instance.
    ~TSLClass() override;

    // Makes the native object (CreateObject) and adds one method entry per
    // name the class gives for Id 0, 1, 2, ... up to the first empty name. A
    // name given twice raises the dictionary's duplicate error.
    void InitWithClass(TScriptClass* AScriptClass, TContextInterface& Ctx);
    // Adds a bound method; "TSLClass.AddMethod: name '%s' is alreay in use"
    // when the name is taken.
    void AddMethod(TExecuteEvent Method, std::string_view Name);

    // The instance itself: copying never duplicates the native object.
    TRef<TSLObject> CopyRef() const override;

    std::unique_ptr<TSLClassData> FData;
    TScriptClass* FScriptClass = nullptr;
    int32_t FScrObjHandle = 0;

private:
    bool FHasObject = false;
};

// A method entry of an instance, by method id.
class TSLScrObjMethod : public TSLInternalProcedure {
    VO_REFOBJ_CLASS(TSLScrObjMethod, TSLInternalProcedure)
public:
    TSLScrObjMethod(TSLClass* AOwner, int32_t AMethodId) : FOwner(AOwner), FMethodId(AMethodId) {}
    // ExecuteMethod of the class on the instance's native object.
    void Execute(TSLContext* Sender) override;

    TSLClass* FOwner; // not retained: the instance holds its methods
    int32_t FMethodId;
};

// A method entry of an instance bound to a function.
class TSLClassMethod : public TSLInternalProcedure {
    VO_REFOBJ_CLASS(TSLClassMethod, TSLInternalProcedure)
public:
    TSLClassMethod(TSLClass* AOwner, TExecuteEvent AOnExecute) : FOwner(AOwner), FOnExecute(std::move(AOnExecute)) {}
    bool GetExecutable() const override { return static_cast<bool>(FOnExecute); }
    void Execute(TSLContext* Sender) override;

    TSLClass* FOwner;
    TExecuteEvent FOnExecute;
};

// ---------------------------------------------------------------- handle table

// The native objects of a script class by handle. Handles are 32-bit ids of
// the table (never 0, never reused while in use), not addresses, so every
// native object is reachable on a 64-bit system and a handle the table does
// not know is refused.
template <class T>
class TScriptObjectTable {
public:
    // Keeps Obj and returns its new handle.
    int32_t Add(std::unique_ptr<T> Obj) {
        for (;;) {
            const uint32_t id = FNext++;
            if (FNext == 0) FNext = 1;
            if (id == 0 || FObjects.count(id)) continue;
            FObjects.emplace(id, std::move(Obj));
            return static_cast<int32_t>(id);
        }
    }
    // The object of a handle; nil for an unknown one.
    T* Find(int32_t Handle) const {
        const auto it = FObjects.find(static_cast<uint32_t>(Handle));
        return it == FObjects.end() ? nullptr : it->second.get();
    }
    // The object of a handle; an unknown one raises
    // "<Owner>.<Method>: unknown object handle <n>".
    T& Get(int32_t Handle, std::string_view Owner, std::string_view Method) const {
        if (T* obj = Find(Handle)) return *obj;
        throw Exception(std::string(Owner) + "." + std::string(Method) + ": unknown object handle " +
                        std::to_string(Handle));
    }
    // Takes the object of a handle out of the table (nil when unknown).
    std::unique_ptr<T> Remove(int32_t Handle) {
        const auto it = FObjects.find(static_cast<uint32_t>(Handle));
        if (it == FObjects.end()) return nullptr;
        std::unique_ptr<T> obj = std::move(it->second);
        FObjects.erase(it);
        return obj;
    }
    std::size_t Count() const noexcept { return FObjects.size(); }

private:
    std::unordered_map<uint32_t, std::unique_ptr<T>> FObjects;
    uint32_t FNext = 1;
};

// A script class of this program: its native objects (of type T) live in a
// handle table; subclasses make them and run the methods on them.
template <class T>
class TNativeScriptClass : public TScriptClass {
public:
    explicit TNativeScriptClass(MyAnsiString AClassName) : FClassName(std::move(AClassName)) {}

    int32_t CreateObject(TContextInterface& Ctx) final { return FObjects.Add(NewObject(Ctx)); }
    void DestroyObject(int32_t Obj) final {
        // Removed first, destroyed after: the object's destructor may reach
        // the table again.
        std::unique_ptr<T> obj = FObjects.Remove(Obj);
    }
    void ExecuteMethod(int32_t Obj, int32_t Id, TContextInterface& Ctx) final {
        Execute(FObjects.Get(Obj, FClassName, "ExecuteMethod"), Id, Ctx);
    }

    const MyAnsiString& ClassName() const noexcept { return FClassName; }
    // The native object of a handle (nil when unknown).
    T* ObjectOf(int32_t Handle) const { return FObjects.Find(Handle); }
    std::size_t ObjectCount() const noexcept { return FObjects.Count(); }

protected:
    virtual std::unique_ptr<T> NewObject(TContextInterface& Ctx) = 0;
    virtual void Execute(T& Obj, int32_t Id, TContextInterface& Ctx) = 0;

private:
    MyAnsiString FClassName;
    TScriptObjectTable<T> FObjects;
};

} // namespace vo
