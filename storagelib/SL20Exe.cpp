#include "storagelib/SL20Exe.h"

#include <atomic>
#include <cstring>
#include <string>
#include <utility>

#include "kernel/MxTLib20.h"
#include "storagelib/SL20Cla.h"
#include "storagelib/SL20Elm.h"
#include "storagelib/SL20Prc.h"

namespace vo {

namespace {
[[noreturn]] void Fail(const char* Text) { throw Exception(Text); }

// The end of a time slice. The slice is over once the millisecond tick has
// advanced by its length since the call began, tested after every step.
// Reading a precise clock costs about as much as a cheap token, so a call that
// runs on past its first steps hands the test to the timer thread (whose
// timers expire by the same tick) and each further step reads its mark. Short
// calls, which end by a wait long before their slice, never arm a timer.
class TSliceClock {
public:
    // Without Arm (a single step is asked for) no timer runs.
    // (The timer thread is made, on first use, before the slice begins.)
    TSliceClock(int64_t Slice, bool Arm)
        : FStart((static_cast<void>(MxTimerQueue()), MyGetTickCount())), FSlice(Slice), FTimer(&MxTimerQueue()) {
        if (!Arm) FSteps = -1;
        FTimer.SetOnExpiration([this] { FOver.store(true, std::memory_order_relaxed); });
    }
    // The timer stops (and waits for an expiration in progress) before the
    // mark goes.
    ~TSliceClock() = default;

    bool Over() {
        if (FArmed) return FOver.load(std::memory_order_relaxed);
        const int64_t used = MyGetTickCount() - FStart;
        if (used >= FSlice) return true;
        if (FSteps >= 0 && ++FSteps >= StepsBeforeTimer) {
            FArmed = true;
            FTimer.Initialize(FSlice - used, false, true);
        }
        return false;
    }

private:
    static constexpr int StepsBeforeTimer = 64;
    int64_t FStart;
    int64_t FSlice;
    int FSteps = 0;
    bool FArmed = false;
    std::atomic<bool> FOver{false};
    TMxTimer FTimer; // last: stopped first
};
} // namespace

// ---------------------------------------------------------------- TContextStackInterface

TContextStackInterface::TContextStackInterface(TSLContextStack* AStack, const TClassInfo* AElementClass)
    : Stack(AStack), ElementClass(AElementClass) {}

void TContextStackInterface::Check(const TSLObject* Obj) const {
    if (ElementClass && (!Obj || !Obj->InheritsFrom(*ElementClass))) throw EInvalidCast();
}

void TContextStackInterface::SetObjAtIndex(int Index, TSLObject* AObject) {
    Check(AObject);
    Stack->SetObjAtIndex(Index, AObject);
}

void TContextStackInterface::AddObject(TSLObject* Obj) {
    Check(Obj);
    Stack->AddObject(Obj);
}

void TContextStackInterface::InsertObject(int Index, TSLObject* Obj) {
    Check(Obj);
    Stack->InsObjAtIndex(Index, Obj);
}

void TContextStackInterface::Push(TSLObject* Obj) {
    Check(Obj);
    Stack->Push(Obj);
}

// ---------------------------------------------------------------- TContextInterfaceImplementation

void TContextInterfaceImplementation::SetUserValue(int32_t Value) { FContext->SetUserValue(Value); }

int32_t TContextInterfaceImplementation::GetUserValue() { return FContext->GetUserValue(); }

void TContextInterfaceImplementation::PushLongint(int64_t Value) {
    FContext->OperandStack().Push(MakeRef<TSLLongint>(Value).Get());
}

void TContextInterfaceImplementation::PushDouble(double Value) {
    FContext->OperandStack().Push(MakeRef<TSLDouble>(Value).Get());
}

void TContextInterfaceImplementation::PushString(std::string_view Value) {
    FContext->OperandStack().Push(MakeRef<TSLString>(Value).Get());
}

void TContextInterfaceImplementation::PushIdent(std::string_view Value) {
    FContext->OperandStack().Push(MakeRef<TSLIdent>(Value, true).Get());
}

void TContextInterfaceImplementation::PushBoolean(bool Value) {
    FContext->OperandStack().Push(MakeRef<TSLBoolean>(Value).Get());
}

namespace {
// Takes the top operand as a T, reads its value and pops it.
template <class T, class Getter>
auto PopValue(TSLContextImplementation* C, Getter Get) {
    TSLStack& ops = C->OperandStack();
    auto v = (SLCast<T>(ops.GetObjAtIndex(0))->*Get)();
    ops.Pop(false);
    return v;
}
} // namespace

int64_t TContextInterfaceImplementation::PopLongint() {
    return PopValue<TSLLongint>(FContext, &TSLLongint::GetLongintValue);
}

double TContextInterfaceImplementation::PopDouble() {
    return PopValue<TSLDouble>(FContext, &TSLDouble::GetDoubleValue);
}

MyAnsiString TContextInterfaceImplementation::PopString() {
    return PopValue<TSLString>(FContext, &TSLString::GetStringValue);
}

bool TContextInterfaceImplementation::PopBoolean() {
    return PopValue<TSLBoolean>(FContext, &TSLBoolean::GetBooleanValue);
}

MyAnsiString TContextInterfaceImplementation::PopIdent() {
    return PopValue<TSLIdent>(FContext, &TSLIdent::GetIdentValue);
}

namespace {
template <class T>
bool TopIs(TSLContextImplementation* C) {
    TSLStack& ops = C->OperandStack();
    return ops.GetCount() > 0 && dynamic_cast<T*>(ops.GetObjAtIndex(0)) != nullptr;
}
} // namespace

bool TContextInterfaceImplementation::CheckLongint() { return TopIs<TSLLongint>(FContext); }
bool TContextInterfaceImplementation::CheckDouble() { return TopIs<TSLDouble>(FContext); }
bool TContextInterfaceImplementation::CheckString() { return TopIs<TSLString>(FContext); }
bool TContextInterfaceImplementation::CheckBoolean() { return TopIs<TSLBoolean>(FContext); }

void TContextInterfaceImplementation::Wait(void* Sender, int32_t Timeout) { FContext->Wait(Sender, Timeout); }

void TContextInterfaceImplementation::Continue(void* Sender) { FContext->Continue(Sender); }

void TContextInterfaceImplementation::ExecuteName(std::string_view AName) {
    TRef<TSLIdent> name = MakeRef<TSLIdent>(AName, true);
    FContext->PushTokenizer(MakeRef<TSLObjectTokenizer>(name.Get()).Get());
}

// ---------------------------------------------------------------- TSLContextImplementation

TSLContextImplementation::TSLContextImplementation()
    : FOperandStack(MakeRef<TSLContextStack>()),
      FExecutionStack(MakeRef<TSLContextStack>()),
      FDictStack(MakeRef<TSLContextStack>()),
      FOperandIntf(FOperandStack.Get(), nullptr),
      FExecutionIntf(FExecutionStack.Get(), &TSLTokenizer::ClassInfo),
      FDictIntf(FDictStack.Get(), &TSLDictionary::ClassInfo),
      FNameSpaceDict(MakeRef<TSLDictionary>()),
      FInterfaceImpl(this) {
    FDictStack->FTracksNames = true;
    FOperandStackInterface = &FOperandIntf;
    FOperandArray = &FOperandStack->Items();
    FExecutionStackInterface = &FExecutionIntf;
    FDictStackInterface = &FDictIntf;
    FContextInterface = &FInterfaceImpl;
}

TSLContextImplementation::~TSLContextImplementation() {
    // Frames first (they may hold values of the other stacks), then the rest.
    FExecutionStack->Clear();
    FOperandStack->Clear();
    FDictStack->Clear();
}

int32_t TSLContextImplementation::GetUserValue() const {
    const TSLTokenizer* t = TopTokenizer();
    return t ? t->FUserValue : 0;
}

void TSLContextImplementation::SetUserValue(int32_t Value) {
    if (TSLTokenizer* t = TopTokenizer()) t->FUserValue = Value;
}

TSLObject* TSLContextImplementation::ResolveName(std::string_view AName) {
    TSLDictionary* parent = nullptr;
    TSLObject* obj = Resolve(AName, parent);
    if (!obj) throw Exception("object with name '" + std::string(AName) + "' not found");
    return obj;
}

void TSLContextImplementation::AddDict(TSLDictionary* Dict) {
    if (!Dict) throw EInvalidCast();
    FDictStack->Push(Dict);
}

void TSLContextImplementation::AddNamedDict(const MyAnsiString& Name, TSLDictionary* Dict) {
    if (!Dict) throw EInvalidCast();
    FNameSpaceDict->AddObject(Name, Dict);
    FDictStack->Push(Dict);
}

void TSLContextImplementation::ImportDict(const MyAnsiString& Name, TSLDictionary* Dict) {
    if (!Dict) throw EInvalidCast();
    FNameSpaceDict->AddObject(Name, Dict);
}

TSLDictionary* TSLContextImplementation::FindNamespace(std::string_view Name) const {
    // Only dictionaries are registered as namespaces.
    return static_cast<TSLDictionary*>(FNameSpaceDict->FindObjWithName(Name));
}

void TSLContextImplementation::PushBlock(TSLBlock* Block) {
    if (FState != isIdle && FState != isFinished) Fail("PushBlock is only allowed in finished or idle state");
    if (!Block) throw EInvalidCast();
    TRef<TSLObject> frame = Block->InheritsFrom(TSLProcedure::ClassInfo)
        ? CreateProcedureFrame(static_cast<TSLProcedure*>(Block))
        : CreateBlockFrame(Block);
    FState = isExecuting;
    FExecutionStack->Push(frame.Get());
}

void TSLContextImplementation::Wait(void*, int32_t Timeout) {
    if (FState == isWaiting) Fail("wait called while in wait state");
    FTimeout = Timeout;
    FState = isWaiting;
}

void TSLContextImplementation::Continue(void*) {
    if (FState != isWaiting) Fail("continue called while not in wait state");
    FState = isContinuing;
    if (FOnContinue) FOnContinue(this);
}

void TSLContextImplementation::Resume(void*) {
    if (FState != isWaiting) Fail("resume called while not in wait state");
    FState = isContinuing;
    if (FOnResume) FOnResume(this);
}

void TSLContextImplementation::ResumeAfterBreakpoint(void*) {
    if (FState != isBreakpoint) Fail("resume called while not in wait state");
    FState = isExecuting;
}

void TSLContextImplementation::Reset() {
    FExceptionMapped = false;
    FExceptToken.Reset();
}

TRef<TSLObject> TSLContextImplementation::CreateBlockFrame(TSLBlock* Block) { return TakeBlockFrame(Block); }

TRef<TSLObject> TSLContextImplementation::CreateProcedureFrame(TSLProcedure* Proc) { return TakeProcedureFrame(Proc); }

namespace {

// A frame kept from an earlier use, else a new one.
template <class T>
TRef<T> TakeSpare(std::vector<TRef<T>>& Spares) {
    if (Spares.empty()) return MakeRef<T>();
    TRef<T> t = std::move(Spares.back());
    Spares.pop_back();
    return t;
}

} // namespace

TRef<TSLBlockTokenizer> TSLContextImplementation::TakeBlockFrame(TSLArray* Block) {
    TRef<TSLBlockTokenizer> t = TakeSpare(FSpareBlockFrames);
    t->InitWithBlock(Block);
    return t;
}

TRef<TSLProcTokenizer> TSLContextImplementation::TakeProcedureFrame(TSLArray* Proc) {
    TRef<TSLProcTokenizer> t = TakeSpare(FSpareProcFrames);
    t->Init(Proc);
    return t;
}

void TSLContextImplementation::PopFinishedTokenizer() {
    TSLObjectList& frames = FExecutionStack->Items();
    TRef<TSLObject> old = std::move(frames.back());
    frames.pop_back();
    // Only a plain frame that nothing else holds is kept.
    auto* t = static_cast<TSLTokenizer*>(old.Get());
    if (t->GetRefCount() != 1 || t->GetDbgInfo()) return;
    if (t->FKind == TSLTokenizer::tkBlock && &t->ClassType() == &TSLBlockTokenizer::ClassInfo &&
        FSpareBlockFrames.size() < SpareFramesMax) {
        static_cast<TSLBlockTokenizer*>(t)->ResetFrame();
        FSpareBlockFrames.push_back(TRef<TSLBlockTokenizer>::Adopt(static_cast<TSLBlockTokenizer*>(old.Detach())));
    } else if (t->FKind == TSLTokenizer::tkProc && &t->ClassType() == &TSLProcTokenizer::ClassInfo &&
               FSpareProcFrames.size() < SpareFramesMax) {
        static_cast<TSLProcTokenizer*>(t)->ResetFrame();
        FSpareProcFrames.push_back(TRef<TSLProcTokenizer>::Adopt(static_cast<TSLProcTokenizer*>(old.Detach())));
    }
}

TRef<TSLDictionary> TSLContextImplementation::TakeLocalDict() {
    if (FSpareDicts.empty()) return MakeRef<TSLDictionary>();
    TRef<TSLDictionary> d = std::move(FSpareDicts.back());
    FSpareDicts.pop_back();
    return d;
}

void TSLContextImplementation::ReturnLocalDict(TRef<TSLDictionary>& Dict) {
    TSLDictionary* d = Dict.Get();
    // Only a plain dictionary nobody else can see: a later call cannot tell
    // it from a new one.
    if (d && d->GetRefCount() == 1 && FSpareDicts.size() < SpareDictsMax &&
        &d->ClassType() == &TSLDictionary::ClassInfo && !d->GetSorted() && d->GetIdent().empty() &&
        !d->GetDbgInfo()) {
        // (The names stay for the next call of the same procedure.)
        d->ReleaseValuesUnstacked(*this);
        d->CompositeHandle = 0;
        FSpareDicts.push_back(std::move(Dict));
        return;
    }
    Dict.Reset();
}

TSLObject* TSLContextImplementation::ResolvePlain(std::string_view AName, uint32_t Hash) const {
    const int depth = FDictStack->Count();
    for (int i = 0; i < depth; ++i) {
        auto* d = static_cast<TSLDictionary*>(FDictStack->At(i));
        const int k = d->FindHashed(AName, Hash);
        if (k >= 0) return d->ValueAt(k);
    }
    return nullptr;
}

TSLObject* TSLContextImplementation::ResolveIdentSlow(const TSLIdent& Ident) {
    if (!Ident.IsPlainName()) return ResolveName(Ident.GetIdentValue());
    // The result of a plain name depends only on the entries of that name in
    // the dictionaries on the stack, and on which dictionaries are there: each
    // of those changes raises the name's epoch.
    const uint32_t hash = Ident.NameHash();
    const uint64_t epoch = SLNameEpoch(hash);
    TNameCacheEntry& e = FNameCache[(reinterpret_cast<uintptr_t>(&Ident) >> 4) % NameCacheSize];
    if (e.Key == &Ident && e.Hash == hash && e.Epoch == epoch) return e.Value;
    // The stack from the top down, as ResolvePlain asks it.
    const std::string_view name = Ident.GetIdentValue();
    const TSLObjectList& dicts = FDictStack->Items();
    TSLObject* obj = nullptr;
    int32_t top = -1;
    for (std::size_t i = dicts.size(); i-- > 0;) {
        const auto* d = static_cast<const TSLDictionary*>(dicts[i].Get());
        const int k = d->FindHashed(name, hash);
        if (k >= 0) {
            obj = d->ValueAt(k);
            if (i + 1 == dicts.size()) top = k;
            break;
        }
    }
    if (!obj) throw Exception("object with name '" + Ident.GetIdentValue() + "' not found");
    e = TNameCacheEntry{&Ident, hash, top, epoch, obj};
    return obj;
}

TSLObject* TSLContextImplementation::ResolveAtTop(const TSLIdent& Ident, int Index) const {
    // The stack is searched from the top and a dictionary holds a name at
    // most once: an entry of that name in the top dictionary is the result.
    const TSLObjectList& dicts = FDictStack->Items();
    if (dicts.empty()) return nullptr;
    const auto* d = static_cast<const TSLDictionary*>(dicts.back().Get());
    if (Index >= d->TSLDictionary::GetCount()) return nullptr;
    const std::string_view have = d->NameRefAtIndex(Index);
    const std::string_view name = Ident.GetIdentValue();
    if (have.size() != name.size()) return nullptr;
    // (Mostly spelt alike, and short: compared here, without a call.)
    for (std::size_t i = 0; i < name.size(); ++i)
        if (have[i] != name[i]) return SLSameName(have, name) ? d->ValueAt(Index) : nullptr;
    return d->ValueAt(Index);
}

TSLObject* TSLContextImplementation::Resolve(std::string_view AName, TSLDictionary*& Parent) {
    Parent = nullptr;
    std::string_view name = AName;
    // Most names are plain: one scan tells, and hashes the name on the way, so
    // that every dictionary of the stack is asked with the same hash.
    bool plain = true;
    uint32_t hash = SLHashNameSeed;
    for (const char ch : name) {
        if (ch == ':' || ch == '.') {
            plain = false;
            break;
        }
        hash = SLHashNameStep(hash, ch);
    }
    if (plain) return ResolvePlain(name, hash);
    for (;;) {
        // 1. A namespace prefix.
        if (const std::size_t colon = name.find(':'); colon != std::string_view::npos) {
            const std::string_view ns = name.substr(0, colon);
            TSLDictionary* nsDict = FindNamespace(ns);
            if (!nsDict) {
                // An alias: a string entry of that name on the dictionary stack.
                const int depth = FDictStack->Count();
                for (int i = 0; i < depth; ++i) {
                    auto* d = static_cast<TSLDictionary*>(FDictStack->At(i));
                    const int k = d->GetIndexOfName(ns);
                    if (k < 0) continue;
                    if (auto* alias = dynamic_cast<TSLString*>(d->GetObjAtIndex(k))) {
                        nsDict = FindNamespace(alias->GetStringValue());
                        break;
                    }
                }
            }
            if (!nsDict) {
                Parent = nullptr;
                return nullptr;
            }
            Parent = nsDict;
            name.remove_prefix(colon + 1);
        }
        // 2. A path: the first component now, the rest later.
        std::string_view part = name, rest;
        bool more = false;
        if (const std::size_t dot = name.find('.'); dot != std::string_view::npos) {
            part = name.substr(0, dot);
            rest = name.substr(dot + 1);
            more = true;
        }
        // 3. Lookup.
        TSLObject* found = nullptr;
        bool hit = false;
        if (Parent) {
            const int k = Parent->GetIndexOfName(part);
            if (k >= 0) {
                found = Parent->GetObjAtIndex(k);
                hit = true;
            }
        } else {
            const int depth = FDictStack->Count();
            for (int i = 0; i < depth; ++i) {
                auto* d = static_cast<TSLDictionary*>(FDictStack->At(i));
                const int k = d->GetIndexOfName(part);
                if (k >= 0) {
                    found = d->GetObjAtIndex(k);
                    hit = true;
                    break;
                }
            }
        }
        // 4. Not found.
        if (!hit || !found) {
            if (more) Parent = nullptr;
            return nullptr;
        }
        // 5. Found, nothing remains.
        if (!more) return found;
        // 6. Found, something remains: go on inside it when it is a dictionary.
        if (!found->InheritsFrom(TSLDictionary::ClassInfo)) {
            Parent = nullptr;
            return nullptr;
        }
        Parent = static_cast<TSLDictionary*>(found);
        name = rest;
    }
}

// ---------------------------------------------------------------- procedure frames

namespace {
// Obj as an array (SLCast), the plain array told without walking classes.
[[gnu::always_inline]] inline TSLArray* AsArray(TSLObject* Obj) {
    if (Obj && &Obj->ClassType() == &TSLArray::ClassInfo) return static_cast<TSLArray*>(Obj);
    return SLCast<TSLArray>(Obj);
}
// Count and elements of a parameter or result list as GetCount and
// GetObjAtIndex give them, read directly from a plain array.
[[gnu::always_inline]] inline int ListCount(const TSLArray& List, bool Plain) {
    return Plain ? List.TSLArray::GetCount() : List.GetCount();
}
[[gnu::always_inline]] inline TSLObject* ListAt(const TSLArray& List, bool Plain, int Index) {
    if (Plain && Index >= 0 && Index < List.TSLArray::GetCount()) return List.UncheckedAt(Index);
    return List.GetObjAtIndex(Index);
}
// An element of a parameter or result list as a name.
[[gnu::always_inline]] inline const TSLIdent* ListName(TSLObject* Obj) {
    if (Obj && Obj->HasTrait(TSLObject::slIdent)) return static_cast<const TSLIdent*>(Obj);
    return SLCast<TSLIdent>(Obj);
}
// Whether a reused local dictionary holds exactly the parameters of a plain
// list, in the order a call adds them (the last parameter first), spelled
// the same; it is cut to them then (its values are all nil).
bool KeepsParameterNames(TSLDictionary& Dict, const TSLArray& Params, bool Plain, int Count) {
    if (!Plain || Count <= 0 || Dict.TSLDictionary::GetCount() < Count) return false;
    for (int k = 0; k < Count; ++k) {
        const TSLObject* o = Params.UncheckedAt(Count - 1 - k);
        if (!o || !o->HasTrait(TSLObject::slIdent)) return false;
        if (Dict.NameRefAtIndex(k) != std::string_view(static_cast<const TSLIdent*>(o)->GetIdentValue()))
            return false;
    }
    return Dict.TruncateUnstacked(Count);
}
} // namespace

void TSLProcTokenizer::Init(TSLArray* Proc) {
    const bool plain = PlainTokens(*Proc);
    const int n = plain ? Proc->TSLArray::GetCount() : Proc->GetCount();
    const auto isArray = [](const TSLObject* o) {
        return o && (&o->ClassType() == &TSLArray::ClassInfo || o->InheritsFrom(TSLArray::ClassInfo));
    };
    if (n < 1 || !isArray(plain ? Proc->UncheckedAt(0) : Proc->GetObjAtIndex(0)))
        throw Exception(std::string(ClassName()) + ".Init: Invalid Procedure(first object is not of type TSLArray)");
    if (!isArray(plain ? Proc->UncheckedAt(n - 1) : Proc->GetObjAtIndex(n - 1)))
        throw Exception(std::string(ClassName()) + ".Init: Invalid Procedure(last object is not of type TSLArray)");
    TokenArray = TRef<TSLArray>(Proc);
    ExecuteItem = 0;
}

TSLObject* TSLProcTokenizer::GetNextToken(TSLContextImplementation& Context) {
    if (ExecuteItem < 0 || !TokenArray)
        throw Exception(std::string(ClassName()) + ".GetNextToken: ProcTokenizer not initialized");
    if (FFinished) return nullptr;
    TSLArray& proc = *TokenArray;
    const int n = TokenCount(proc);
    if (ExecuteItem == 0) BeginCall(Context, proc, n);
    if (ExecuteItem >= n - 1) {
        EndCall(Context, proc, n);
        return nullptr;
    }
    return TokenAt(proc, ExecuteItem++);
}

void TSLProcTokenizer::BeginCall(TSLContextImplementation& Context, TSLArray& Proc, int Count) {
    TSLArray& proc = Proc;
    const int n = Count;
    // The procedure may have been changed since Init; its parameter list
    // must still be an array.
    auto* params = AsArray(n > 0 ? TokenAt(proc, 0) : proc.GetObjAtIndex(0));
    const bool plain = &params->ClassType() == &TSLArray::ClassInfo;
    TSLContextStack& dicts = Context.DictStack();
    FDictStackCount = dicts.Count();
    FLocalDict = Context.TakeLocalDict();
    // Room for the parameters and a result or two without growing.
    const int p = ListCount(*params, plain);
    if (FLocalDict->GetCapacity() < p + 2) FLocalDict->SetCapacity(p + 2);
    TSLContextStack& ops = Context.OperandStack();
    if (ops.Count() >= p && KeepsParameterNames(*FLocalDict, *params, plain, p)) {
        // The dictionary of an earlier call of this procedure: its entries
        // are the parameters, in the order they would be added. Nothing
        // can fail on the way, and nothing runs before all are set.
        dicts.Items().emplace_back(FLocalDict.Get());
        // (Each value's reference moves from its slot to the entry; the
        // operand stack tracks no names.)
        TSLObjectList& values = ops.Items();
        for (int k = 0; k < p; ++k) {
            FLocalDict->TakeValueAt(k, values.back());
            values.pop_back();
        }
    } else {
        if (FLocalDict->TSLDictionary::GetCount() != 0) FLocalDict->ClearUnstacked();
        // (An empty dictionary entering the stack changes no name's binding.)
        dicts.Items().emplace_back(FLocalDict.Get());
        for (int i = p - 1; i >= 0; --i) {
            const TSLIdent* name = ListName(ListAt(*params, plain, i));
            TSLObject* value = ops.At(0);
            FLocalDict->AddObject(name->GetIdentValue(), name->NameHash(), value);
            ops.Drop();
        }
    }
    FOpStackCount = ops.Count();
    ExecuteItem = 1;
}

void TSLProcTokenizer::EndCall(TSLContextImplementation& Context, TSLArray& Proc, int Count) {
    TSLArray& proc = Proc;
    const int n = Count;
    // The body is done (or exitproc): discard what it left, push the
    // results, drop the local dictionary and whatever the body opened.
    TSLContextStack& ops = Context.OperandStack();
    if (!FLocalDict) {
        // Left before it began: no parameters were taken.
        FLocalDict = MakeRef<TSLDictionary>();
        FDictStackCount = Context.DictStack().GetCount();
        FOpStackCount = ops.Count();
    }
    while (ops.Count() > FOpStackCount) ops.Drop();
    auto* results = AsArray(n > 0 ? TokenAt(proc, n - 1) : proc.GetObjAtIndex(n - 1));
    const bool plain = &results->ClassType() == &TSLArray::ClassInfo;
    const int r = ListCount(*results, plain);
    for (int i = 0; i < r; ++i) {
        const TSLIdent* name = ListName(ListAt(*results, plain, i));
        const int k = FLocalDict->FindHashed(name->GetIdentValue(), name->NameHash());
        // (The operand stack tracks no names.)
        ops.Items().emplace_back(k >= 0 ? FLocalDict->ValueAt(k) : FLocalDict->GetObjWithName(name->GetIdentValue()));
    }
    TSLContextStack& dicts = Context.DictStack();
    if (dicts.Count() == FDictStackCount + 1 && dicts.Items().back().Get() == FLocalDict.Get()) {
        // The common end: only the local dictionary is left to go (this
        // frame still holds it, so it is not released here).
        FLocalDict->BumpNameEpochs();
        dicts.Items().pop_back();
    }
    while (dicts.Count() > FDictStackCount) dicts.Drop();
    Context.ReturnLocalDict(FLocalDict);
    FFinished = true;
}

// ---------------------------------------------------------------- for loops

TSLObject* TSLForTokenizer::StartPass(TSLContextImplementation& Context) {
    if (CheckTerminate()) return nullptr;
    TSLObject* value = NextValue();
    // (A number is never executable: the interpreter would push it. Nothing
    // runs before the body's first token, so the pass begins as it would.)
    if (!Context.TokensUnwatched() || TokenCount(*TokenArray) == 0) return value;
    Context.OperandStack().Items().emplace_back(value);
    return BodyToken();
}

// (Here rather than with the tokenizers: the interpreter's loop inlines it.)
[[gnu::always_inline]] inline TSLObject* TSLTokenizer::GetToken(TSLContextImplementation& Context) {
    if (FUserValue != 0 || Context.GetState() == isContinuing) return FToken;
    TSLObject* p = nullptr;
    switch (FKind) {
    case tkBlock: p = static_cast<TSLBlockTokenizer*>(this)->NextBlockToken(); break;
    case tkFor: p = static_cast<TSLForTokenizer*>(this)->NextForToken(Context); break;
    case tkProc: {
        auto* proc = static_cast<TSLProcTokenizer*>(this);
        p = proc->NextBodyToken();
        if (!p) p = proc->TSLProcTokenizer::GetNextToken(Context);
        break;
    }
    default: p = GetNextToken(Context); break;
    }
    if (!p) {
        ClearToken();
        return nullptr;
    }
    // (Numbers are never executable; a name tells without a call.)
    if (p->HasTrait(slIdent))
        FTokenIsExecutable = static_cast<TSLIdent*>(p)->TSLIdent::GetExecutable();
    else
        FTokenIsExecutable = !p->HasTrait(slLongint | slDouble) && p->GetExecutable();
    FUnresolvedToken = TRef<TSLObject>(p);
    FToken = p;
    if (FTokenIsExecutable && p->HasTrait(slIdent)) {
        // Nothing stale stays current when the lookup fails.
        FToken = nullptr;
        try {
            p = Context.ResolveIdent(*static_cast<TSLIdent*>(p));
        } catch (...) {
            FResolvedKeep.Reset();
            throw;
        }
        if (!SLIsExecutableClass(p)) FTokenIsExecutable = false;
        // A name that resolves as last time (a loop's names) keeps its hold.
        if (FResolvedKeep.Get() != p) FResolvedKeep = TRef<TSLObject>(p);
        FToken = p;
    }
    // Other tokens leave the last name's object held: the next name replaces
    // it before anything runs that could tell.
    return p;
}

[[gnu::always_inline]] inline TSLObject* TSLContextImplementation::FetchToken() {
    for (;;) {
        TSLTokenizer* t = TopTokenizer();
        if (!t) return nullptr;
        if (TSLObject* token = t->GetToken(*this)) return token;
        if (TopTokenizer() == t) PopFinishedTokenizer();
    }
}

TSLObject* TSLContextImplementation::GetToken() const {
    const TSLTokenizer* t = TopTokenizer();
    return t ? t->FToken : nullptr;
}

TSLObject* TSLContextImplementation::GetTokenExec(bool& Executable) const {
    const TSLTokenizer* t = TopTokenizer();
    Executable = t && t->FTokenIsExecutable;
    return t ? t->FToken : nullptr;
}

TSLObject* TSLContextImplementation::GetUnresolvedToken() const {
    const TSLTokenizer* t = TopTokenizer();
    return t ? t->FUnresolvedToken.Get() : nullptr;
}

void TSLContextImplementation::ClearToken() {
    if (TSLTokenizer* t = TopTokenizer()) t->ClearToken();
}

TSLObject* TSLContextImplementation::LocationToken(TSLTokenizer* Frame) const {
    if (!Frame) return nullptr;
    if (!Frame->InheritsFrom(TSLObjectTokenizer::ClassInfo)) return Frame->FUnresolvedToken.Get();
    TSLContextStack& exec = *FExecutionStack;
    for (int i = 0, n = exec.Count(); i < n; ++i) {
        auto* t = static_cast<TSLTokenizer*>(exec.At(i));
        if (!t->InheritsFrom(TSLObjectTokenizer::ClassInfo) && t->FUnresolvedToken) return t->FUnresolvedToken.Get();
    }
    return Frame->FUnresolvedToken.Get();
}

TSLContextImplementation& SLContextImplSlow(TSLContext* Context) {
    if (Context && Context->ClassType().InheritsFrom(TSLContextImplementation::ClassInfo))
        return *static_cast<TSLContextImplementation*>(Context);
    throw EInvalidCast();
}

// ---------------------------------------------------------------- TSLInterpreter

[[gnu::always_inline]] inline void TSLInterpreter::Exec(TSLContextImplementation& C) {
    TSLTokenizer* t = C.TopTokenizer();
    if (!t) return;
    TSLObject* token = t->FToken;
    if (!token) return;
    if (!t->FTokenIsExecutable) {
        C.OperandStack().Items().emplace_back(token); // (the operand stack tracks no names)
        return;
    }
    ExecToken(C, t, token);
}

namespace {
// A native failure becomes a script exception carrying its message; the
// scheduled "raisese" finds the nearest try block. (Called in a handler.)
[[gnu::noinline]] void MapFailure(TSLContextImplementation& C, TSLTokenizer* Frame, const Exception& E) {
    if (C.FExceptionMapped) throw;
    C.FExceptionMapped = true;
    C.SetExceptToken(C.LocationToken(Frame));
    C.FContextInterface->RaiseStandardException(E.what());
}
} // namespace

// Runs the executable current token of the top frame T. FrameHeld: the
// caller holds T while the token runs.
[[gnu::always_inline]] inline void TSLInterpreter::ExecToken(TSLContextImplementation& C, TSLTokenizer* t,
                                                             TSLObject* token, bool FrameHeld) {
    if (!SLIsExecutableClass(token)) return; // any other executable token is dropped
    // Blocks and procedures push their frames as their Execute would (T
    // stays on the stack below).
    const TClassInfo* c = token->HasTrait(TSLObject::slBlock) ? &token->ClassType() : nullptr;
    if (c == &TSLProcedure::ClassInfo || c == &TSLBlock::ClassInfo) {
        try {
            if (c == &TSLProcedure::ClassInfo)
                C.PushProcedureFrame(static_cast<TSLProcedure*>(token));
            else
                C.PushBlockFrame(static_cast<TSLBlock*>(token));
        } catch (const Exception& e) {
            MapFailure(C, t, e);
        }
        return;
    }
    // The frame keeps the token alive even when the token pops the frame.
    TRef<TSLTokenizer> frame(FrameHeld ? nullptr : t);
    try {
        token->Execute(&C);
    } catch (const Exception& e) {
        MapFailure(C, t, e);
    }
}

// RunBodies for a "for" loop on top: its passes while its body's tokens
// are ordinary. False when the loop is left to the general fetch (or the
// state changed or a debugger hook was set), true after a token that ran
// something (the top frame is to be looked at again).
template <class TClock>
[[gnu::always_inline]] inline bool TSLInterpreter::RunLoopBody(TSLContextImplementation& C, TSLForTokenizer& F,
                                                               TSLObjectList& Ops, TClock& Clock) {
    const TSLArray* body = F.PlainLoopBody();
    if (!body) return false;
    const int n = body->TSLArray::GetCount();
    // The loop is held from pass to pass, as each token run would hold it.
    const TRef<TSLTokenizer> held(&F);
    // The last name looked up, held here from pass to pass under the rule of
    // the context's cache: valid while its name's binding epoch stays.
    const TSLIdent* lastName = nullptr;
    const std::atomic<uint64_t>* lastSlot = nullptr;
    uint64_t lastEpoch = 0;
    TSLObject* lastValue = nullptr;
    for (;;) {
        const int i = F.ExecuteItem;
        if (i == 0 && !F.PushDone) {
            // A pass begins with the loop value (no hook sees single tokens).
            if (F.CheckTerminate()) return false;
            Ops.emplace_back(F.NextValue());
        }
        TSLObject* p = body->UncheckedAt(i);
        if (!p || Clock.Over()) return false;
        if (p->HasTrait(TSLObject::slIdent)) {
            if (!static_cast<TSLIdent*>(p)->TSLIdent::GetExecutable()) {
                F.TakeBodyToken(n);
                Ops.emplace_back(p);
                continue;
            }
        } else {
            if (!p->HasTrait(TSLObject::slLongint | TSLObject::slDouble) && p->GetExecutable()) return false;
            F.TakeBodyToken(n);
            Ops.emplace_back(p);
            continue;
        }
        F.TakeBodyToken(n);
        TSLObject* v;
        if (p == lastName && lastSlot->load(std::memory_order_relaxed) == lastEpoch) {
            v = lastValue;
        } else {
            const auto* name = static_cast<const TSLIdent*>(p);
            try {
                v = C.ResolveIdent(*name);
            } catch (...) {
                F.SetFailedName(p);
                throw;
            }
            if (name->IsPlainName()) {
                lastName = name;
                lastSlot = &SLNameEpochOf(name->NameHash());
                lastEpoch = lastSlot->load(std::memory_order_relaxed);
                lastValue = v;
            }
        }
        F.KeepResolved(v);
        if (!SLIsExecutableClass(v)) {
            Ops.emplace_back(v);
            continue;
        }
        F.SetCurrentName(p, v);
        ExecToken(C, &F, v, true);
        if (C.GetState() != isExecuting || FDbgDisplayEvent) return false;
        // The next pass when the loop is still on top, as it was.
        if (C.TopTokenizer() != &F || F.FUserValue != 0 || F.ExecuteItem < 0 || F.TokenArray.Get() != body ||
            body->TSLArray::GetCount() != n)
            return true;
    }
}

// The tokens of block frames and procedure bodies on top of the execution
// stack, each fetched and run in one go (a plain run, executing): literals
// are pushed straight from the body, and only a token that runs something
// leaves the frame's state as fetching it would. Returns before a token it
// leaves to the general fetch (an unusual token, a frame of another kind or
// at its end, the end of the time slice), and after a token that changed
// the state or set a debugger hook.
template <class TClock>
[[gnu::always_inline]] inline void TSLInterpreter::RunBodies(TSLContextImplementation& C, TClock& Clock) {
    TSLObjectList& ops = C.OperandStack().Items(); // (the operand stack tracks no names)
    for (;;) {
        TSLTokenizer* t = C.TopTokenizer();
        if (!t || t->FKind == TSLTokenizer::tkOther) return;
        if (t->FKind == TSLTokenizer::tkFor) {
            if (!RunLoopBody(C, *static_cast<TSLForTokenizer*>(t), ops, Clock)) return;
            continue;
        }
        // A call begins as the fetch of its body's first token would begin it.
        if (t->FKind == TSLTokenizer::tkProc) static_cast<TSLProcTokenizer*>(t)->BeginPlainCall(C);
        int32_t* item = nullptr;
        int end = 0;
        const TSLArray* body = t->PlainBody(item, end);
        if (!body) return;
        for (int i = *item;; ++i) {
            if (i >= end) {
                // The body is done: the frame ends as the general fetch ends it.
                *item = i;
                if (t->FKind == TSLTokenizer::tkProc) {
                    auto* proc = static_cast<TSLProcTokenizer*>(t);
                    proc->EndCall(C, *proc->TokenArray, proc->TokenArray->TSLArray::GetCount());
                }
                t->ClearToken();
                if (C.TopTokenizer() == t) C.PopFinishedTokenizer();
                break;
            }
            TSLObject* p = body->UncheckedAt(i);
            if (!p || Clock.Over()) {
                *item = i;
                return;
            }
            if (p->HasTrait(TSLObject::slIdent)) {
                if (!static_cast<TSLIdent*>(p)->TSLIdent::GetExecutable()) {
                    ops.emplace_back(p);
                    continue;
                }
            } else {
                if (p->HasTrait(TSLObject::slLongint | TSLObject::slDouble) || !p->GetExecutable()) {
                    ops.emplace_back(p);
                    continue;
                }
                *item = i; // an executable token of another kind
                return;
            }
            *item = i + 1;
            TSLObject* v;
            try {
                v = C.ResolveIdent(*static_cast<TSLIdent*>(p));
            } catch (...) {
                t->SetFailedName(p);
                throw;
            }
            t->KeepResolved(v);
            if (!SLIsExecutableClass(v)) {
                ops.emplace_back(v);
                continue;
            }
            t->SetCurrentName(p, v);
            ExecToken(C, t, v);
            if (C.GetState() != isExecuting || FDbgDisplayEvent) return;
            break; // the top frame again
        }
    }
}

void TSLInterpreter::ReExec(TSLContextImplementation& C) {
    TSLTokenizer* t = C.TopTokenizer();
    if (!t) return;
    TSLObject* token = t->FToken;
    if (!token) return;
    if (!t->FTokenIsExecutable) {
        C.OperandStack().Push(token);
        return;
    }
    if (!SLIsExecutableClass(token)) return;
    TRef<TSLTokenizer> frame(t);
    try {
        token->Execute(&C);
    } catch (const Exception& e) {
        if (C.FExceptionMapped || C.GetState() != isContinuing) throw;
        C.FExceptionMapped = true;
        C.SetExceptToken(C.LocationToken(frame.Get()));
        C.FContextInterface->RaiseStandardException(e.what());
    }
}

[[gnu::always_inline]] inline void TSLInterpreter::Fetch(TSLContextImplementation& C) {
    if (C.GetState() != isExecuting) return;
    if (!C.FetchToken()) C.SetState(isFinished);
}

void TSLInterpreter::Display(TSLContextImplementation& C) {
    if (!FDbgDisplayEvent) return;
    TSLObject* token = C.GetUnresolvedToken();
    if (!token) return;
    if (token->InheritsFrom(TSLIdent::ClassInfo) || token->InheritsFrom(TSLString::ClassInfo) ||
        token->InheritsFrom(TSLNumber::ClassInfo))
        FDbgDisplayEvent(token);
    else
        FDbgDisplayEvent(nullptr);
}

bool TSLInterpreter::CheckBreak(TSLContextImplementation& C) {
    if (!FDbgDisplayEvent) return false;
    TSLObject* token = C.GetUnresolvedToken();
    if (!token || !token->InheritsFrom(TSLIdent::ClassInfo)) return false;
    const TDbgInfo* info = token->GetDbgInfo();
    if (!info || !info->GetBreakpoint()) return false;
    FDbgDisplayEvent(token);
    return true;
}

[[gnu::flatten]] bool TSLInterpreter::DoRun(TSLContext* Context, TRunMode Mode) {
    TSLContextImplementation& C = SLContextImpl(Context);
    TRef<TSLContextImplementation> keep(&C); // a native may drop the last outside reference
    switch (C.GetState()) {
    case isIdle: Fail("interpreter called in idle state");
    case isFinished: Fail("interpreter called in finished state");
    default: break;
    }
    C.FTimeout = 2147483647;
    if (Mode == TRunMode::StepOver && C.GetState() == isExecuting) C.FProcCount = C.ExecutionStack().GetCount();
    if (C.GetState() == isWaitZero) C.SetState(isExecuting);
    TSliceClock clock(TimeSlice, Mode != TRunMode::StepInto);
    for (;;) {
        switch (C.GetState()) {
        case isExecuting:
            if (Mode == TRunMode::Run && !FDbgDisplayEvent) {
                // The common case in a loop of its own: the same steps as
                // below, taken while nothing but tokens happens.
                const struct TPlainRunMark {
                    TSLContextImplementation& C;
                    const TSLInterpreter* Before;
                    ~TPlainRunMark() { C.FPlainRunBy = Before; }
                } mark{C, std::exchange(C.FPlainRunBy, this)};
                // (The top frame is read again only after something ran.)
                TSLTokenizer* t = C.TopTokenizer();
                TSLObjectList& ops = C.OperandStack().Items();
                for (;;) {
                    if (TSLObject* token = t ? t->FToken : nullptr) {
                        if (!t->FTokenIsExecutable) {
                            ops.emplace_back(token);
                        } else {
                            ExecToken(C, t, token);
                            t = C.TopTokenizer();
                        }
                    }
                    if (C.GetState() != isExecuting) break;
                    if (t && t->FKind != TSLTokenizer::tkOther) {
                        RunBodies(C, clock);
                        if (C.GetState() != isExecuting) break;
                        t = C.TopTokenizer();
                    }
                    for (;;) {
                        if (!t) {
                            C.SetState(isFinished);
                            return true;
                        }
                        if (t->GetToken(C)) break;
                        if (C.TopTokenizer() == t) C.PopFinishedTokenizer();
                        t = C.TopTokenizer();
                    }
                    if (FDbgDisplayEvent) {
                        if (CheckBreak(C)) {
                            C.SetState(isBreakpoint);
                            return false;
                        }
                        break;
                    }
                    if (clock.Over()) {
                        C.SetState(isWaitZero);
                        return false;
                    }
                }
                if (C.GetState() == isFinished) return true;
                break;
            }
            Exec(C);
            Fetch(C);
            if (Mode != TRunMode::StepInto) {
                if (C.GetState() == isFinished) return true;
                if (FDbgDisplayEvent && C.GetState() == isExecuting && CheckBreak(C)) {
                    C.SetState(isBreakpoint);
                    return false;
                }
            } else {
                Display(C);
            }
            break;
        case isWaiting:
            Fail("interpreter called in wait state");
        case isContinuing:
            if (C.GetUserValue() != 0) {
                ReExec(C);
                if (C.GetState() == isContinuing) {
                    C.SetState(isExecuting);
                    C.ClearToken();
                }
            } else {
                C.SetState(isExecuting);
                C.ClearToken();
            }
            break;
        case isBreakpoint:
            // Held until ResumeAfterBreakpoint.
            return false;
        default:
            break;
        }
        switch (Mode) {
        case TRunMode::Run:
            if (C.GetState() == isWaiting) return false;
            break;
        case TRunMode::StepOver: {
            const int depth = C.ExecutionStack().GetCount();
            if (depth <= C.FProcCount || C.GetState() == isWaiting) {
                if (depth <= C.FProcCount) Display(C);
                return C.GetState() == isFinished;
            }
            break;
        }
        case TRunMode::StepInto:
            return C.GetState() == isFinished;
        }
        if (clock.Over()) {
            C.SetState(isWaitZero);
            return false;
        }
    }
}

// ---------------------------------------------------------------- script engine

TSLContext* TSLInterpreter::CreateContextImplementation(bool AutoRelease) {
    return TSLContextImplementation::Create(AutoRelease);
}

TRef<TSLObject> TSLInterpreter::CreateScriptClassFactory(const MyAnsiString& Name, TScriptClass* Class,
                                                         int32_t Version) {
    return MakeRef<TSLScriptClassFactory>(Class, Version, Name);
}

bool TSLInterpreter::GetContextDebug(TSLContext* Context) {
    auto* c = dynamic_cast<TSLContextImplementation*>(Context);
    return c && c->FDebug;
}

void TSLInterpreter::AddScriptToDebugger(TSLContext* Context, const MyAnsiString& FileName, uint16_t ID) {
    auto* c = dynamic_cast<TSLContextImplementation*>(Context);
    if (!c || !c->FScriptTask) return;
    if (TScriptDebuggerInterface* dbg = c->FScriptTask->GetScriptDebugger()) dbg->AddScript(FileName, ID);
}

TSLInterpreter* SLInstallScriptEngine(TStorageManager& Manager) {
    TRef<TSLInterpreter> interpreter = MakeRef<TSLInterpreter>();
    CreateSystemProcedures(Manager.GetSystemDict());
    CreateSystemValues(Manager.GetSystemDict());
    Manager.AnnounceScriptEngine(interpreter.Get());
    return interpreter.Get();
}

TSLInterpreter& SLInterpreter(TStorageManager& Manager) {
    auto* interpreter = dynamic_cast<TSLInterpreter*>(Manager.GetInterpreter());
    if (!interpreter) throw Exception("TStorageManager: no interpreter installed");
    return *interpreter;
}

} // namespace vo
