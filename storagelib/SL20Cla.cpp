#include "storagelib/SL20Cla.h"

#include <string>
#include <vector>

#include "kernel/Debug.h"

namespace vo {

// ---------------------------------------------------------------- TSLScriptClassFactory

TSLScriptClassFactory::TSLScriptClassFactory(TScriptClass* AScriptClass, int32_t AClassVersion,
                                             MyAnsiString AClassName)
    : FScriptClass(AScriptClass), FClassVersion(AClassVersion), FClassName(std::move(AClassName)) {}

void TSLScriptClassFactory::Execute(TSLContext* Context) {
    TRef<TSLClass> instance = MakeRef<TSLClass>();
    instance->InitWithClass(FScriptClass, *Context->FContextInterface);
    Context->FOperandStackInterface->Push(instance.Get());
}

// ---------------------------------------------------------------- TSLClass

TSLClass::~TSLClass() {
    for (int i = 0, n = GetCount(); i < n; ++i) {
        TSLObject* m = GetObjAtIndex(i);
        if (auto* sm = dynamic_cast<TSLScrObjMethod*>(m); sm && sm->FOwner == this)
            sm->FOwner = nullptr;
        else if (auto* cm = dynamic_cast<TSLClassMethod*>(m); cm && cm->FOwner == this)
            cm->FOwner = nullptr;
    }
    FData.reset();
    if (FHasObject && FScriptClass) {
        try {
            FScriptClass->DestroyObject(FScrObjHandle);
        } catch (const std::exception& e) {
            LogError(std::string("TSLClass.Destroy: ") + e.what());
        }
    }
}

void TSLClass::InitWithClass(TScriptClass* AScriptClass, TContextInterface& Ctx) {
    if (!AScriptClass) throw Exception("TSLClass.InitWithClass: no script class");
    FScriptClass = AScriptClass;
    FScrObjHandle = AScriptClass->CreateObject(Ctx);
    FHasObject = true;
    for (int32_t id = 0;; ++id) {
        const MyAnsiString name = AScriptClass->GetMethodName(id);
        if (name.empty()) break;
        AddObject(name, MakeRef<TSLScrObjMethod>(this, id).Get());
    }
}

void TSLClass::AddMethod(TExecuteEvent Method, std::string_view Name) {
    if (GetNameExists(Name))
        throw Exception(std::string(ClassName()) + ".AddMethod: name '" + std::string(Name) + "' is alreay in use");
    AddObject(Name, MakeRef<TSLClassMethod>(this, std::move(Method)).Get());
}

TRef<TSLObject> TSLClass::CopyRef() const { return TRef<TSLObject>(const_cast<TSLClass*>(this)); }

// ---------------------------------------------------------------- methods

void TSLScrObjMethod::Execute(TSLContext* Sender) {
    if (!FOwner || !FOwner->FScriptClass)
        throw Exception(std::string(ClassName()) + ".Execute: the instance of this method no longer exists");
    TRef<TSLClass> keep(FOwner); // the method may drop the last reference to its instance
    FOwner->FScriptClass->ExecuteMethod(FOwner->FScrObjHandle, FMethodId, *Sender->FContextInterface);
}

void TSLClassMethod::Execute(TSLContext* Sender) {
    if (!FOwner) throw Exception(std::string(ClassName()) + ".Execute: the instance of this method no longer exists");
    if (!FOnExecute) RaiseMethodNotImplementedException("Execute");
    TRef<TSLClass> keep(FOwner);
    FOnExecute(FOwner->FData.get(), *Sender->FContextInterface);
}

} // namespace vo
