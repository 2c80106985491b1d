#pragma once
// The stack-machine interpreter and its script contexts.
//
// One run of a script lives in a context: an operand stack of values, a
// dictionary stack for name lookup, an execution stack of tokenizers, a table
// of namespaces, a state and the bookkeeping for failures. The one interpreter
// drives whichever context it is handed, one time slice (10 ms) per call.
// Contexts and the interpreter live on the GUI thread and take no locks.
#include <array>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "storagelib/CtxIntf.h"
#include "storagelib/SL20Dic.h"
#include "storagelib/SL20Stk.h"
#include "storagelib/SL20Sto.h"
#include "storagelib/SL20Tok.h"

namespace vo {

class TSLContextImplementation;

// The stacks of a context: stacks with quick access for the interpreter's own
// use (their class and error texts are those of the stack).
class TSLContextStack final : public TSLStack {
public:
    TSLContextStack() = default;
    int Count() const noexcept { return static_cast<int>(Arr.size()); }
    // The element at stack index Index (0 = top); out of range raises the
    // stack's error.
    TSLObject* At(int Index) const {
        const std::size_t n = Arr.size();
        if (static_cast<std::size_t>(static_cast<unsigned>(Index)) < n)
            return Arr[n - 1 - static_cast<std::size_t>(Index)].Get();
        return GetObjAtIndex(Index);
    }
    TSLObject* TopOrNil() const noexcept { return Arr.empty() ? nullptr : Arr.back().Get(); }
    // Removes the top (the stack's error when empty); it is released after it
    // left the stack.
    void Drop() {
        if (Arr.empty()) {
            Pop(false);
            return;
        }
        if (FTracksNames) NamesMove(Arr.back().Get());
        TRef<TSLObject> old = std::move(Arr.back());
        Arr.pop_back();
    }
    void Push(TSLObject* Obj) {
        if (FTracksNames) NamesMove(Obj);
        TSLStack::Push(Obj);
    }
    TSLObject* Pop(bool ReturnResult) {
        if (FTracksNames && !Arr.empty()) NamesMove(Arr.back().Get());
        return TSLStack::Pop(ReturnResult);
    }
    // Any other change of a dictionary stack may reorder it: every binding
    // epoch is raised.
    void SetObjAtIndex(int Index, TSLObject* AObject) override {
        if (FTracksNames) SLBumpAllNameEpochs();
        TSLStack::SetObjAtIndex(Index, AObject);
    }
    void DelObjAtIndex(int Index) override {
        if (FTracksNames) SLBumpAllNameEpochs();
        TSLStack::DelObjAtIndex(Index);
    }
    void InsObjAtIndex(int Index, TSLObject* Obj) override {
        if (FTracksNames) SLBumpAllNameEpochs();
        TSLStack::InsObjAtIndex(Index, Obj);
    }
    void SetCount(int Value) override {
        if (FTracksNames) SLBumpAllNameEpochs();
        TSLStack::SetCount(Value);
    }
    void Clear() override {
        if (FTracksNames) SLBumpAllNameEpochs();
        TSLStack::Clear();
    }
    // The elements, top last.
    TSLObjectList& Items() noexcept { return Arr; }

    // Set for a dictionary stack: dictionaries entering or leaving it raise
    // the binding epochs of their names.
    bool FTracksNames = false;

private:
    static void NamesMove(TSLObject* Obj) noexcept {
        if (Obj && Obj->InheritsFrom(TSLDictionary::ClassInfo))
            static_cast<TSLDictionary*>(Obj)->BumpNameEpochs();
        else if (Obj)
            SLBumpAllNameEpochs();
    }
};

// A stack of a context as native code sees it: forwards to the stack with its
// index rules (0 is the top; InsertObject(0, X) puts X directly below the top).
// A stack that holds only one class (the dictionary stack holds dictionaries,
// the execution stack tokenizers) refuses any other with "Invalid class
// typecast".
class TContextStackInterface final : public TStackInterface {
public:
    TContextStackInterface(TSLContextStack* AStack, const TClassInfo* AElementClass);
    TSLObject* GetObjAtIndex(int Index) override { return Stack->At(Index); }
    void SetObjAtIndex(int Index, TSLObject* AObject) override;
    int GetCount() override { return Stack->Count(); }
    void Clear() override { Stack->Clear(); }
    void AddObject(TSLObject* Obj) override;
    void InsertObject(int Index, TSLObject* Obj) override;
    void RemoveObject(int Index) override { Stack->DelObjAtIndex(Index); }
    void Push(TSLObject* Obj) override;
    TSLObject* Pop(bool ReturnResult) override {
        if (ReturnResult) return Stack->Pop(true);
        Stack->Drop();
        return nullptr;
    }

    TRef<TSLContextStack> Stack;

private:
    void Check(const TSLObject* Obj) const;
    const TClassInfo* ElementClass;
};

// The context interface of one context.
class TContextInterfaceImplementation final : public TContextInterface {
public:
    explicit TContextInterfaceImplementation(TSLContextImplementation* AContext) : FContext(AContext) {}
    void SetUserValue(int32_t Value) override;
    int32_t GetUserValue() override;
    void PushLongint(int64_t Value) override;
    void PushDouble(double Value) override;
    void PushString(std::string_view Value) override;
    void PushIdent(std::string_view Value) override;
    void PushBoolean(bool Value) override;
    int64_t PopLongint() override;
    double PopDouble() override;
    MyAnsiString PopString() override;
    bool PopBoolean() override;
    bool CheckLongint() override;
    bool CheckDouble() override;
    bool CheckString() override;
    bool CheckBoolean() override;
    void Wait(void* Sender, int32_t Timeout) override;
    void Continue(void* Sender) override;
    void ExecuteName(std::string_view AName) override;
    MyAnsiString PopIdent() override;

    TSLContextImplementation* FContext; // the owner; no counted reference
};

class TSLInterpreter;

class TSLContextImplementation final : public TSLContext {
    VO_REFOBJ_CLASS(TSLContextImplementation, TSLContext)
public:
    TSLContextImplementation();
    ~TSLContextImplementation() override;
    static TSLContextImplementation* Create(bool AutoRelease) { return NewRefObj<TSLContextImplementation>(AutoRelease); }

    // ---- TSLContext
    TContextState GetState() const override { return FState; }
    // The user value of the tokenizer on top of the execution stack (0 and
    // ignored while the stack is empty).
    int32_t GetUserValue() const override;
    void SetUserValue(int32_t Value) override;
    // Resolve; nil fails with "object with name '%s' not found".
    TSLObject* ResolveName(std::string_view AName) override;
    void AddDict(TSLDictionary* Dict) override;
    void AddNamedDict(const MyAnsiString& Name, TSLDictionary* Dict) override;
    void ImportDict(const MyAnsiString& Name, TSLDictionary* Dict) override;
    // Starts a run (only in isIdle or isFinished).
    void PushBlock(TSLBlock* Block) override;
    void Wait(void* Sender, int32_t Timeout) override;
    void Continue(void* Sender) override;
    void Resume(void* Sender) override;
    TRef<TSLObject> CreateBlockFrame(TSLBlock* Block) override;
    TRef<TSLObject> CreateProcedureFrame(TSLProcedure* Proc) override;

    // ---- further operations
    void ResumeAfterBreakpoint(void* Sender);
    // Clears the failure bookkeeping of the last run.
    void Reset();
    // Name lookup: namespaces ("ns:name", with string aliases on the
    // dictionary stack), paths through nested dictionaries ("a.b.c"), else the
    // dictionary stack from the top down, first hit wins, names compared
    // without regard to case. Nil when not found; Parent tells the dictionary
    // the last component would go into (see "def").
    TSLObject* Resolve(std::string_view AName, TSLDictionary*& Parent);
    // ResolveName for a name token: the same result, remembered per token
    // while its name's binding epoch stays unchanged. A name last found in the
    // top dictionary (a procedure's parameter) is tried there first after the
    // epoch moved: calls push and pop dictionaries between its uses, but while
    // the top dictionary holds the name, that entry is what any lookup finds.
    TSLObject* ResolveIdent(const TSLIdent& Ident) {
        if (Ident.IsPlainName()) {
            const uint32_t hash = Ident.NameHash();
            TNameCacheEntry& e = FNameCache[(reinterpret_cast<uintptr_t>(&Ident) >> 4) % NameCacheSize];
            if (e.Key == &Ident && e.Hash == hash) {
                const uint64_t epoch = SLNameEpoch(hash);
                if (e.Epoch == epoch) return e.Value;
                if (e.TopIndex >= 0)
                    if (TSLObject* v = ResolveAtTop(Ident, e.TopIndex)) {
                        e.Epoch = epoch;
                        e.Value = v;
                        return v;
                    }
            }
        }
        return ResolveIdentSlow(Ident);
    }
    // The next token of the topmost tokenizer that still has one (exhausted
    // tokenizers are popped); nil when the execution stack runs empty.
    TSLObject* FetchToken();
    // The top tokenizer's current token, with its executable flag, and as it
    // was delivered; nil without tokenizer.
    TSLObject* GetToken() const;
    TSLObject* GetTokenExec(bool& Executable) const;
    TSLObject* GetUnresolvedToken() const;
    void ClearToken();
    void SetExceptToken(TSLObject* Value) { FExceptToken = TRef<TSLObject>(Value); }
    // Where a failure of the token that Frame delivered stands in the script:
    // Frame's unresolved token, or for a name scheduled by native code (an
    // object frame) the token of the nearest frame below that delivers the
    // script's own tokens.
    TSLObject* LocationToken(TSLTokenizer* Frame) const;
    TSLObject* GetExceptToken() const noexcept { return FExceptToken.Get(); }

    // The stacks themselves.
    TSLContextStack& OperandStack() const noexcept { return *FOperandStack; }
    TSLContextStack& ExecutionStack() const noexcept { return *FExecutionStack; }
    TSLContextStack& DictStack() const noexcept { return *FDictStack; }
    TSLDictionary& NameSpaceDict() const noexcept { return *FNameSpaceDict; }
    // The tokenizer on top of the execution stack; nil when it is empty.
    // (Only tokenizers reach the execution stack: its interface checks them.)
    TSLTokenizer* TopTokenizer() const noexcept { return static_cast<TSLTokenizer*>(FExecutionStack->TopOrNil()); }
    // Pushes a tokenizer on the execution stack.
    void PushTokenizer(TSLTokenizer* Tokenizer) { FExecutionStack->Push(Tokenizer); }
    // Pushes the frame CreateBlockFrame or CreateProcedureFrame would make.
    void PushBlockFrame(TSLArray* Block) { FExecutionStack->Items().emplace_back(TakeBlockFrame(Block)); }
    void PushProcedureFrame(TSLArray* Proc) { FExecutionStack->Items().emplace_back(TakeProcedureFrame(Proc)); }
    // Pops the top tokenizer, which has nothing more to deliver.
    void PopFinishedTokenizer();
    // Pops the top tokenizer.
    void PopTokenizer() { FExecutionStack->Drop(); }
    // The namespace of that name, nil when none.
    TSLDictionary* FindNamespace(std::string_view Name) const;
    void SetState(TContextState Value) noexcept { FState = Value; }

    // The local dictionary of a procedure call: an emptied one of an earlier
    // call when there is one.
    TRef<TSLDictionary> TakeLocalDict();
    // Takes back the local dictionary of a finished call (off the dictionary
    // stack) for later calls when nothing else holds it; Dict is nil after.
    void ReturnLocalDict(TRef<TSLDictionary>& Dict);

    int32_t FProcCount = 0;
    bool FDebug = false;
    // The interpreter running this context in its loop for plain runs (no
    // stepping), nil otherwise. While it is set and its debugger hooks stay
    // unset, no hook sees single tokens, so a frame may push a loop's literal
    // value itself instead of delivering it as a token.
    const TSLInterpreter* FPlainRunBy = nullptr;
    bool TokensUnwatched() const noexcept;
    TScriptTaskInterface* FScriptTask = nullptr;
    // A native failure has been turned into a script exception and is on its
    // way to a handler (cleared when a try block takes it).
    bool FExceptionMapped = false;

private:
    TSLObject* ResolvePlain(std::string_view AName, uint32_t Hash) const;
    // A new block or procedure frame: a finished one of an earlier call when
    // there is one (nobody can tell it from a new one).
    TRef<TSLBlockTokenizer> TakeBlockFrame(TSLArray* Block);
    TRef<TSLProcTokenizer> TakeProcedureFrame(TSLArray* Proc);
    TSLObject* ResolveIdentSlow(const TSLIdent& Ident);
    // The value of the top dictionary's entry Index when that entry is the
    // name Ident (a plain name); nil otherwise.
    TSLObject* ResolveAtTop(const TSLIdent& Ident, int Index) const;

    struct TNameCacheEntry {
        const TSLIdent* Key = nullptr;
        uint32_t Hash = 0;
        int32_t TopIndex = -1; // the entry's position when found in the top dictionary, else -1
        uint64_t Epoch = 0;
        TSLObject* Value = nullptr;
    };
    static constexpr std::size_t NameCacheSize = 256;
    std::array<TNameCacheEntry, NameCacheSize> FNameCache{};
    static constexpr std::size_t SpareDictsMax = 16;
    std::vector<TRef<TSLDictionary>> FSpareDicts;
    static constexpr std::size_t SpareFramesMax = 16;
    std::vector<TRef<TSLBlockTokenizer>> FSpareBlockFrames;
    std::vector<TRef<TSLProcTokenizer>> FSpareProcFrames;

    TRef<TSLContextStack> FOperandStack, FExecutionStack, FDictStack;
    TContextStackInterface FOperandIntf, FExecutionIntf, FDictIntf;
    TRef<TSLDictionary> FNameSpaceDict;
    TContextState FState = isIdle;
    TRef<TSLObject> FExceptToken;
    TContextInterfaceImplementation FInterfaceImpl;
};

// The one interpreter (owned by the storage manager as its script engine).
// Run, StepOver and StepInto each run one time slice of a context and return
// true when its script has finished.
class TSLInterpreter final : public TScriptEngineInterface {
    VO_REFOBJ_CLASS(TSLInterpreter, TScriptEngineInterface)
public:
    enum class TRunMode : uint8_t { Run,
                                    StepOver,
                                    StepInto };
    using TDbgDisplayEvent = std::function<void(TSLObject* Obj)>;

    TSLInterpreter() = default;
    static TSLInterpreter* Create(bool AutoRelease) { return NewRefObj<TSLInterpreter>(AutoRelease); }

    bool Run(TSLContext* Context) { return DoRun(Context, TRunMode::Run); }
    bool StepOver(TSLContext* Context) { return DoRun(Context, TRunMode::StepOver); }
    bool StepInto(TSLContext* Context) { return DoRun(Context, TRunMode::StepInto); }

    // ---- the storage manager's script engine
    TSLContext* CreateContextImplementation(bool AutoRelease) override;
    TRef<TSLObject> CreateScriptClassFactory(const MyAnsiString& Name, TScriptClass* Class,
                                             int32_t Version) override;
    bool GetContextDebug(TSLContext* Context) override;
    void AddScriptToDebugger(TSLContext* Context, const MyAnsiString& FileName, uint16_t ID) override;

    // The debugger's display hook; the debugger hooks are inactive without it.
    TDbgDisplayEvent FDbgDisplayEvent;

    // The length of a time slice in milliseconds (10; tests may shorten it).
    static constexpr int64_t TimeSliceDefault = 10;
    int64_t TimeSlice = TimeSliceDefault;

private:
    bool DoRun(TSLContext* Context, TRunMode Mode);
    void Exec(TSLContextImplementation& C);
    void ExecToken(TSLContextImplementation& C, TSLTokenizer* T, TSLObject* Token, bool FrameHeld = false);
    template <class TClock>
    void RunBodies(TSLContextImplementation& C, TClock& Clock);
    template <class TClock>
    bool RunLoopBody(TSLContextImplementation& C, TSLForTokenizer& F, TSLObjectList& Ops, TClock& Clock);
    void ReExec(TSLContextImplementation& C);
    void Fetch(TSLContextImplementation& C);
    void Display(TSLContextImplementation& C);
    bool CheckBreak(TSLContextImplementation& C);
};

inline bool TSLContextImplementation::TokensUnwatched() const noexcept {
    return FPlainRunBy && !FPlainRunBy->FDbgDisplayEvent;
}

// The context of a native procedure as the interpreter's context; a context of
// another kind raises "Invalid class typecast".
TSLContextImplementation& SLContextImplSlow(TSLContext* Context);
inline TSLContextImplementation& SLContextImpl(TSLContext* Context) {
    // (The class is final: its class record names it exactly.)
    if (Context && &Context->ClassType() == &TSLContextImplementation::ClassInfo)
        return *static_cast<TSLContextImplementation*>(Context);
    return SLContextImplSlow(Context);
}

// Sets the script engine up in a new storage manager: fills its "System"
// dictionary with the built-in procedures and the values true and false, and
// announces a new interpreter as its script engine. The shell calls it right
// after creating the manager, before announcing procedures of its own (such as
// "loadclass"), so that those follow the built-ins. Returns the interpreter.
TSLInterpreter* SLInstallScriptEngine(TStorageManager& Manager);

// The storage manager's interpreter (raises when none is installed).
TSLInterpreter& SLInterpreter(TStorageManager& Manager);

} // namespace vo
