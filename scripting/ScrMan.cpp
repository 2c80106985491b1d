#include "scripting/ScrMan.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include "kernel/Debug.h"
#include "kernel/MxTLib20.h"
#include "platform/FileNames.h"
#include "scripting/ScrDllAbi.h"
#include "storagelib/SL20Exe.h"
#include "storagelib/SL20Sto.h"
#include "storagelib/ScrStoObj.h"

namespace vo {

namespace {

// The real path of a stored library name, always with a folder (a bare name
// would send the loader along the system's library path).
std::string LibraryPath(const MyAnsiString& Stored) {
    return std::filesystem::absolute(StoredPathToRealPath(Stored)).string();
}

// A name delivered by a library through a buffer of ours.
template <class F>
MyAnsiString ReadName(F Call) {
    char buffer[256];
    const int32_t length = Call(buffer, static_cast<int32_t>(sizeof buffer));
    if (length <= 0) return {};
    if (length < static_cast<int32_t>(sizeof buffer)) return MyAnsiString(buffer, static_cast<std::size_t>(length));
    std::vector<char> big(static_cast<std::size_t>(length) + 1);
    const int32_t again = Call(big.data(), static_cast<int32_t>(big.size()));
    if (again <= 0) return {};
    return MyAnsiString(big.data(), std::min<std::size_t>(static_cast<std::size_t>(again), big.size() - 1));
}

// The library classes of the program (they live until the process ends).
std::vector<std::unique_ptr<TDLLScriptClass>>& DllClasses() {
    static std::vector<std::unique_ptr<TDLLScriptClass>> classes;
    return classes;
}

} // namespace

// ---------------------------------------------------------------- TDllContext

// The context a library object is handed: during a call of the library it
// forwards to the running script's context; a failure inside an operation
// is kept and raised when the call has returned. Continue may come from any
// thread; from another one it is handed to a main-scheduler task of the
// object. The context waited on is held by reference until its answer comes
// (or the object goes), so a late answer never reaches a freed context, and
// it only continues a context that still waits.
class TDllContext : public VoScrContext {
public:
    TDllContext();
    ~TDllContext();
    TDllContext(const TDllContext&) = delete;
    TDllContext& operator=(const TDllContext&) = delete;

    // Runs a call of the library with Ctx as the script's context; raises the
    // first failure of an operation afterwards.
    template <class F>
    auto Call(TContextInterface& Ctx, F Fn) {
        TContextInterface* outer = FCtx;
        FCtx = &Ctx;
        FError.clear();
        struct TRestore {
            TDllContext& Self;
            TContextInterface* Outer;
            ~TRestore() { Self.FCtx = Outer; }
        } restore{*this, outer};
        if constexpr (std::is_void_v<decltype(Fn())>) {
            Fn();
            RaiseFailure();
        } else {
            auto result = Fn();
            RaiseFailure();
            return result;
        }
    }
    // The kept failure, once.
    void RaiseFailure() {
        if (FError.empty()) return;
        const std::string text = std::move(FError);
        FError.clear();
        throw Exception(text);
    }
    // The failure an operation left (kept for the end of the call).
    std::string FError;

private:
    // Operation wrapper: runs Body inside a call of the library, keeps the
    // first failure.
    template <class F>
    static int32_t Op(VoScrContext* Ctx, F Body);
    static TDllContext& Of(VoScrContext* Ctx) { return *static_cast<TDllContext*>(Ctx); }
    static int32_t CopyText(const MyAnsiString& Text, char* Buffer, int32_t BufferSize, int32_t* Length);
    template <class T, class Pop>
    static int32_t PopText(VoScrContext* Ctx, char* Buffer, int32_t BufferSize, int32_t* Length, Pop P);

    void Wait(void* Sender, int32_t Timeout);
    int32_t Continue(void* Sender);
    void DoContinue(void* Sender);
    void Relay();

    static const VoScrContextOps OpsTable;

    TContextInterface* FCtx = nullptr; // during a call
    TRef<TSLContextImplementation> FWaiting; // the context waiting for this object's answer
    std::thread::id FOwnerThread;
    std::unique_ptr<TMxTask> FRelay;
    TMxSignal FRelaySignal;
    std::mutex FPendingLock;
    std::vector<void*> FPending; // senders of Continue calls from other threads
};

TDllContext::TDllContext() : FOwnerThread(std::this_thread::get_id()) { Ops = &OpsTable; }

TDllContext::~TDllContext() {
    // The relay task first: it no longer runs when the rest goes.
    FRelay.reset();
}

template <class F>
int32_t TDllContext::Op(VoScrContext* Ctx, F Body) {
    TDllContext& self = Of(Ctx);
    if (!self.FCtx || std::this_thread::get_id() != self.FOwnerThread) return VO_SCR_FAILED;
    try {
        return Body(*self.FCtx);
    } catch (const std::exception& e) {
        if (self.FError.empty()) self.FError = e.what();
        return VO_SCR_FAILED;
    }
}

int32_t TDllContext::CopyText(const MyAnsiString& Text, char* Buffer, int32_t BufferSize, int32_t* Length) {
    if (Length) *Length = static_cast<int32_t>(Text.size());
    if (!Buffer || BufferSize <= static_cast<int32_t>(Text.size())) return VO_SCR_TOO_SMALL;
    std::memcpy(Buffer, Text.data(), Text.size());
    Buffer[Text.size()] = '\0';
    return VO_SCR_OK;
}

template <class T, class Pop>
int32_t TDllContext::PopText(VoScrContext* Ctx, char* Buffer, int32_t BufferSize, int32_t* Length, Pop P) {
    return Op(Ctx, [&](TContextInterface& C) {
        // Looked at first: a buffer too small leaves the value on the stack.
        auto* impl = dynamic_cast<TContextInterfaceImplementation*>(&C);
        if (impl && impl->FContext->OperandStack().GetCount() > 0) {
            if (auto* top = dynamic_cast<T*>(impl->FContext->OperandStack().GetObjAtIndex(0))) {
                const MyAnsiString text = P(*top);
                if (Length) *Length = static_cast<int32_t>(text.size());
                if (!Buffer || BufferSize <= static_cast<int32_t>(text.size())) return VO_SCR_TOO_SMALL;
            }
        }
        const MyAnsiString text = std::is_same_v<T, TSLIdent> ? C.PopIdent() : C.PopString();
        return CopyText(text, Buffer, BufferSize, Length);
    });
}

void TDllContext::Wait(void* Sender, int32_t Timeout) {
    auto* impl = dynamic_cast<TContextInterfaceImplementation*>(FCtx);
    if (!FRelay) {
        FRelay = TMxTask::CreateMain("ScriptClassRelay");
        FRelay->SetOnExecute([this](TMxTask&) { Relay(); });
        FRelay->Start();
    }
    FCtx->Wait(Sender, Timeout);
    FWaiting = TRef<TSLContextImplementation>(impl ? impl->FContext : nullptr);
}

int32_t TDllContext::Continue(void* Sender) {
    if (std::this_thread::get_id() == FOwnerThread) {
        try {
            DoContinue(Sender);
        } catch (const std::exception& e) {
            if (FCtx && FError.empty()) FError = e.what();
            return VO_SCR_FAILED;
        }
        return VO_SCR_OK;
    }
    {
        std::lock_guard<std::mutex> lock(FPendingLock);
        FPending.push_back(Sender);
    }
    FRelaySignal.SetReady(true);
    return VO_SCR_OK;
}

void TDllContext::DoContinue(void* Sender) {
    if (FCtx) {
        // Answered within the call itself.
        FCtx->Continue(Sender);
        FWaiting.Reset();
        return;
    }
    // Late (after a time-out or an abort) answers are dropped.
    TSLContextImplementation* waiting = FWaiting.Detach();
    if (!waiting) return;
    // Our reference goes with the pool's next purge: the last one would free
    // the context, its objects and this one while this step still runs.
    waiting->AutoRelease();
    if (waiting->GetState() == isWaiting) waiting->Continue(Sender);
}

void TDllContext::Relay() {
    FRelaySignal.SetReady(false);
    std::vector<void*> pending;
    {
        std::lock_guard<std::mutex> lock(FPendingLock);
        pending.swap(FPending);
    }
    for (void* sender : pending) {
        try {
            DoContinue(sender);
        } catch (const std::exception& e) {
            LogError(std::string("TDLLScriptClass.Continue: ") + e.what());
        }
    }
    FRelay->WaitFor(FRelaySignal, MxInfinite);
}

const VoScrContextOps TDllContext::OpsTable = {
    [](VoScrContext* C, int32_t V) { return Op(C, [&](TContextInterface& I) { I.SetUserValue(V); return VO_SCR_OK; }); },
    [](VoScrContext* C, int32_t* V) {
        return Op(C, [&](TContextInterface& I) {
            const int32_t v = I.GetUserValue();
            if (V) *V = v;
            return VO_SCR_OK;
        });
    },
    [](VoScrContext* C, int64_t V) { return Op(C, [&](TContextInterface& I) { I.PushLongint(V); return VO_SCR_OK; }); },
    [](VoScrContext* C, double V) { return Op(C, [&](TContextInterface& I) { I.PushDouble(V); return VO_SCR_OK; }); },
    [](VoScrContext* C, const char* T, int32_t L) {
        return Op(C, [&](TContextInterface& I) {
            I.PushString(std::string_view(T ? T : "", T ? static_cast<std::size_t>(std::max(L, 0)) : 0));
            return VO_SCR_OK;
        });
    },
    [](VoScrContext* C, const char* T, int32_t L) {
        return Op(C, [&](TContextInterface& I) {
            I.PushIdent(std::string_view(T ? T : "", T ? static_cast<std::size_t>(std::max(L, 0)) : 0));
            return VO_SCR_OK;
        });
    },
    [](VoScrContext* C, int32_t V) { return Op(C, [&](TContextInterface& I) { I.PushBoolean(V != 0); return VO_SCR_OK; }); },
    [](VoScrContext* C, int64_t* V) {
        return Op(C, [&](TContextInterface& I) {
            const int64_t v = I.PopLongint();
            if (V) *V = v;
            return VO_SCR_OK;
        });
    },
    [](VoScrContext* C, double* V) {
        return Op(C, [&](TContextInterface& I) {
            const double v = I.PopDouble();
            if (V) *V = v;
            return VO_SCR_OK;
        });
    },
    [](VoScrContext* C, char* B, int32_t S, int32_t* L) {
        return PopText<TSLString>(C, B, S, L, [](TSLString& T) { return T.GetStringValue(); });
    },
    [](VoScrContext* C, int32_t* V) {
        return Op(C, [&](TContextInterface& I) {
            const bool v = I.PopBoolean();
            if (V) *V = v ? 1 : 0;
            return VO_SCR_OK;
        });
    },
    [](VoScrContext* C) { return Op(C, [](TContextInterface& I) { return I.CheckLongint() ? 1 : 0; }); },
    [](VoScrContext* C) { return Op(C, [](TContextInterface& I) { return I.CheckDouble() ? 1 : 0; }); },
    [](VoScrContext* C) { return Op(C, [](TContextInterface& I) { return I.CheckString() ? 1 : 0; }); },
    [](VoScrContext* C) { return Op(C, [](TContextInterface& I) { return I.CheckBoolean() ? 1 : 0; }); },
    [](VoScrContext* C, void* Sender, int32_t Timeout) {
        return Op(C, [&](TContextInterface&) {
            Of(C).Wait(Sender, Timeout);
            return VO_SCR_OK;
        });
    },
    [](VoScrContext* C, void* Sender) { return Of(C).Continue(Sender); },
    [](VoScrContext* C, const char* T, int32_t L) {
        return Op(C, [&](TContextInterface& I) {
            I.ExecuteName(std::string_view(T ? T : "", T ? static_cast<std::size_t>(std::max(L, 0)) : 0));
            return VO_SCR_OK;
        });
    },
    [](VoScrContext* C, char* B, int32_t S, int32_t* L) {
        return PopText<TSLIdent>(C, B, S, L, [](TSLIdent& T) { return T.GetIdentValue(); });
    },
    [](VoScrContext* C, const char* T, int32_t L) {
        return Op(C, [&](TContextInterface&) {
            // Raised as the script's exception when the call has returned.
            TDllContext& self = Of(C);
            if (self.FError.empty())
                self.FError.assign(T ? T : "", T ? static_cast<std::size_t>(std::max(L, 0)) : 0);
            return VO_SCR_OK;
        });
    },
};

// ---------------------------------------------------------------- TDLLScriptClass

TDLLScriptClass::TDLLScriptClass(const MyAnsiString& DllName, int32_t ClassId)
    : FClassId(ClassId), FDllName(DllName) {
    FDllHandle = dlopen(LibraryPath(DllName).c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!FDllHandle) throw Exception("Unable to load DLL with name '" + DllName + "'");
    struct TExport {
        const char* Name;
        void** Entry;
    } exports[] = {{"CreateObject", &FDllCreateObj},
                   {"DestroyObject", &FDllDestroyObj},
                   {"ExecuteMethod", &FDllExecMethod},
                   {"GetMethodName", &FDllGetMethodName}};
    for (const TExport& e : exports) {
        *e.Entry = dlsym(FDllHandle, e.Name);
        if (!*e.Entry) {
            dlclose(FDllHandle);
            throw Exception(std::string(ClassName()) + ".Create: function with name '" + e.Name + "' in DLL '" +
                            DllName + "' not found");
        }
    }
}

TDLLScriptClass::~TDLLScriptClass() {
    auto destroy = reinterpret_cast<VoScrDestroyObject>(FDllDestroyObj);
    for (auto& [obj, ctx] : FObjects) destroy(FClassId, obj);
    FObjects.clear();
    if (FDllHandle) dlclose(FDllHandle);
}

int32_t TDLLScriptClass::CreateObject(TContextInterface& Ctx) {
    auto ctx = std::make_unique<TDllContext>();
    auto create = reinterpret_cast<VoScrCreateObject>(FDllCreateObj);
    int32_t obj = 0;
    try {
        ctx->Call(Ctx, [&] { obj = create(FClassId, ctx.get()); });
    } catch (const Exception&) {
        // Not made after all (a construction argument failed): the library's
        // half-made object goes.
        reinterpret_cast<VoScrDestroyObject>(FDllDestroyObj)(FClassId, obj);
        throw;
    }
    FObjects[obj] = std::move(ctx);
    return obj;
}

void TDLLScriptClass::DestroyObject(int32_t Obj) {
    const auto it = FObjects.find(Obj);
    if (it == FObjects.end()) return;
    reinterpret_cast<VoScrDestroyObject>(FDllDestroyObj)(FClassId, Obj);
    // After the library's destruction: its threads have ended.
    FObjects.erase(it);
}

void TDLLScriptClass::ExecuteMethod(int32_t Obj, int32_t Id, TContextInterface& Ctx) {
    const auto it = FObjects.find(Obj);
    if (it == FObjects.end())
        throw Exception(std::string(ClassName()) + ".ExecuteMethod: unknown object handle " + std::to_string(Obj));
    TDllContext& ctx = *it->second;
    auto exec = reinterpret_cast<VoScrExecuteMethod>(FDllExecMethod);
    ctx.Call(Ctx, [&] { exec(FClassId, Obj, Id, &ctx); });
}

MyAnsiString TDLLScriptClass::GetMethodName(int32_t Id) {
    auto get = reinterpret_cast<VoScrGetMethodName>(FDllGetMethodName);
    return ReadName([&](char* Buffer, int32_t Size) { return get(FClassId, Id, Buffer, Size); });
}

// ---------------------------------------------------------------- "loadclass"

void LoadScriptClasses(TStorageManager& Manager, const MyAnsiString& DllName) {
    MyAnsiString full;
    if (!Manager.FindFile(DllName, full))
        throw Exception("LoadScriptClass: DLL with name '" + DllName + "' not found");
    void* handle = dlopen(LibraryPath(full).c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) throw Exception("LoadScriptClass: Unable to load DLL with name '" + full + "'");
    struct TUnload {
        void* Handle;
        ~TUnload() { dlclose(Handle); }
    } unload{handle};
    auto getClassName = reinterpret_cast<VoScrGetClassName>(dlsym(handle, "GetClassName"));
    if (!getClassName)
        throw Exception("LoadScriptClass: Unable to find function 'GetClassName' in DLL with name '" + full + "'");
    for (int32_t id = 0;; ++id) {
        const MyAnsiString name =
            ReadName([&](char* Buffer, int32_t Size) { return getClassName(id, Buffer, Size); });
        if (name.empty()) break;
        if (Manager.ScriptClassExists(name)) continue;
        auto cls = std::make_unique<TDLLScriptClass>(full, id);
        Manager.AnnounceScriptClass(name, cls.get(), 1);
        DllClasses().push_back(std::move(cls));
    }
}

void TSLLoadClassProcedure::Execute(TSLContext* Context) {
    const MyAnsiString name = Context->FContextInterface->PopString();
    TStorageManager* manager = StorageManager();
    if (!manager) throw Exception("LoadScriptClass: no storage manager");
    LoadScriptClasses(*manager, name);
}

// ---------------------------------------------------------------- registration

namespace {

// The program's script classes in the order of registration. A row without
// a class belongs to a part of the program that adds it here once it exists.
struct TScriptClassRow {
    const char* Name;
    TScriptClass* (*Class)();
};

const TScriptClassRow ScriptClassRows[] = {
    {"ArchiveManager", [] { return static_cast<TScriptClass*>(&ArchiveManagerScriptClass()); }},
    {"FlashBlockReader", nullptr},
    {"BlockReader", nullptr},
    {"BlockWriter", nullptr},
    {"Comm", nullptr},
    {"CANComPort", nullptr},
    {"ETHComPort", nullptr},
    {"Device", nullptr},
    {"FileDialog", nullptr},
    {"Form", nullptr},
    {"LogFile", nullptr},
    {"LogMemo", nullptr},
    {"ParameterService", nullptr},
    {"ModuleService", nullptr},
    {"StorageObjectManager", [] { return static_cast<TScriptClass*>(&StorageObjectManagerScriptClass()); }},
    {"OvraInterface", nullptr},
    {"Timer", nullptr},
    {"UnitService", nullptr},
    {"EventDispatcher", nullptr},
    {"PrintService", nullptr},
};

} // namespace

void RegisterScriptClasses(TStorageManager& Manager) {
    Manager.AnnounceSystemProcedure("loadclass", MakeRef<TSLLoadClassProcedure>().Get());
    for (const TScriptClassRow& row : ScriptClassRows)
        if (row.Class) Manager.AnnounceScriptClass(row.Name, row.Class(), 1);
}

} // namespace vo
