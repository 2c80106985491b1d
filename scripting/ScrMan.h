#pragma once
// The program's script classes: RegisterScriptClasses announces "loadclass"
// and the built-in classes in their fixed order; "loadclass" adds the classes
// of a shared library (the C interface of scripting/ScrDllAbi.h), each one a
// TDLLScriptClass with its own load of the library.
#include <cstdint>
#include <memory>
#include <unordered_map>

#include "platform/AnsiString.h"
#include "storagelib/CtxIntf.h"
#include "storagelib/SL20Prc.h"

namespace vo {

class TStorageManager;
class TDllContext;

// A script class provided by a shared library.
class TDLLScriptClass final : public TScriptClass {
public:
    static const char* ClassName() noexcept { return "TDLLScriptClass"; }

    // Loads the library DllName (a stored name) and looks up its exports:
    // "Unable to load DLL with name '%s'", "TDLLScriptClass.Create: function
    // with name '%s' in DLL '%s' not found".
    TDLLScriptClass(const MyAnsiString& DllName, int32_t ClassId);
    // Destroys the objects still alive, then unloads the library.
    ~TDLLScriptClass() override;
    TDLLScriptClass(const TDLLScriptClass&) = delete;
    TDLLScriptClass& operator=(const TDLLScriptClass&) = delete;

    int32_t CreateObject(TContextInterface& Ctx) override;
    void DestroyObject(int32_t Obj) override;
    // "TDLLScriptClass.ExecuteMethod: unknown object handle %d" for a handle
    // of no live object.
    void ExecuteMethod(int32_t Obj, int32_t Id, TContextInterface& Ctx) override;
    MyAnsiString GetMethodName(int32_t Id) override;

    int32_t GetClassId() const noexcept { return FClassId; }
    std::size_t ObjectCount() const noexcept { return FObjects.size(); }

private:
    void* FDllHandle = nullptr;
    int32_t FClassId;
    MyAnsiString FDllName;
    void* FDllCreateObj = nullptr;
    void* FDllDestroyObj = nullptr;
    void* FDllExecMethod = nullptr;
    void* FDllGetMethodName = nullptr;
    // The context each live object was handed, by object handle.
    std::unordered_map<int32_t, std::unique_ptr<TDllContext>> FObjects;
};

// "loadclass" string -> : announces the classes of the shared library named
// (found like any file: as given, in the current folder, along the class
// path). A name already announced is skipped. Errors reach the script as
// script exceptions; classes announced before an error stay.
class TSLLoadClassProcedure : public TSLInternalProcedure {
    VO_REFOBJ_CLASS(TSLLoadClassProcedure, TSLInternalProcedure)
public:
    TSLLoadClassProcedure() = default;
    void Execute(TSLContext* Context) override;
};

// Announces the classes of the library DllName to Manager (what "loadclass"
// does); errors raise.
void LoadScriptClasses(TStorageManager& Manager, const MyAnsiString& DllName);

// Announces "loadclass" and the program's script classes to Manager, in
// their fixed order, all with version 1 (the shell does it at start-up, after
// the script engine is installed).
void RegisterScriptClasses(TStorageManager& Manager);

} // namespace vo
