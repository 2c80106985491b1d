#include "storagelib/SL20Tok.h"

#include <string>

#include "storagelib/SL20Exe.h"

namespace vo {


// ---------------------------------------------------------------- TSLTokenizer

TSLObject* TSLTokenizer::GetNextToken(TSLContextImplementation&) { RaiseMethodNotImplementedException("GetNextToken"); }

void TSLTokenizer::ClearToken() noexcept {
    FToken = nullptr;
    FTokenIsExecutable = false;
    FUnresolvedToken.Reset();
    FResolvedKeep.Reset();
}

// ---------------------------------------------------------------- object

TSLObject* TSLObjectTokenizer::GetNextToken(TSLContextImplementation&) {
    if (!Run) return nullptr;
    Run = false;
    return Obj.Get();
}

// ---------------------------------------------------------------- blocks

void TSLBlockTokenizer::InitWithBlock(TSLArray* Block) {
    TokenArray = TRef<TSLArray>(Block);
    ExecuteItem = 0;
}

TSLObject* TSLBlockTokenizer::GetNextToken(TSLContextImplementation&) {
    const TSLArray* tokens = TokenArray.Get();
    if (ExecuteItem < 0 || !tokens || ExecuteItem >= TokenCount(*tokens)) return nullptr;
    return TokenAt(*tokens, ExecuteItem++);
}

void TSLTryTokenizer::CleanupStacks(TSLContextImplementation& Context) {
    TSLContextStack& ops = Context.OperandStack();
    while (ops.Count() > FOpStackCount) ops.Drop();
    TSLContextStack& dicts = Context.DictStack();
    while (dicts.Count() > FDictStackCount) dicts.Drop();
}

TSLObject* TSLExceptTokenizer::GetNextToken(TSLContextImplementation& Context) {
    if (!FArmed) return nullptr;
    return TSLBlockTokenizer::GetNextToken(Context);
}

void TSLFinallyTokenizer::Arm(TSLObject* ExceptObj) {
    FState = ftExecuteArmed;
    FExceptObj = TRef<TSLObject>(ExceptObj);
}

void TSLFinallyTokenizer::ArmForExit(TSLObject* ExitProc) {
    FState = ftExecuteExit;
    FExceptObj = TRef<TSLObject>(ExitProc);
}

TSLObject* TSLFinallyTokenizer::GetNextToken(TSLContextImplementation& Context) {
    switch (FState) {
    case ftExecute:
        FStarted = true;
        return TSLBlockTokenizer::GetNextToken(Context);
    case ftExecuteArmed:
    case ftExecuteExit: {
        FStarted = true;
        if (TSLObject* t = TSLBlockTokenizer::GetNextToken(Context)) return t;
        // The block is done: what unwound through the try block goes on. An
        // exception is raised again with the same object; an exit procedure
        // runs again and finishes its unwinding.
        TRef<TSLObject> carried = std::move(FExceptObj);
        TRef<TSLTokenizer> next;
        if (FState == ftExecuteArmed) {
            Context.OperandStack().Push(carried.Get());
            TRef<TSLObjectTokenizer> reraise = MakeRef<TSLObjectTokenizer>(MakeRef<TSLIdent>("raise", true).Get());
            reraise->FCarriesException = true;
            next = reraise;
        } else {
            next = MakeRef<TSLObjectTokenizer>(carried.Get());
        }
        Context.ExecutionStack().InsObjAtIndex(0, next.Get());
        FState = ftFinished;
        return nullptr;
    }
    case ftFinished:
        break;
    }
    return nullptr;
}

// ---------------------------------------------------------------- procedures

namespace {
// Count and elements of a parameter or result list as GetCount and
// GetObjAtIndex give them, read directly from a plain array.
int ListCount(const TSLArray& List) {
    return &List.ClassType() == &TSLArray::ClassInfo ? List.TSLArray::GetCount() : List.GetCount();
}
TSLObject* ListAt(const TSLArray& List, int Index) {
    if (&List.ClassType() == &TSLArray::ClassInfo && Index >= 0 && Index < List.TSLArray::GetCount())
        return List.UncheckedAt(Index);
    return List.GetObjAtIndex(Index);
}
} // namespace

void TSLProcTokenizer::Init(TSLArray* Proc) {
    const int n = Proc->GetCount();
    const auto isArray = [](const TSLObject* o) { return o && o->InheritsFrom(TSLArray::ClassInfo); };
    if (n < 1 || !isArray(Proc->GetObjAtIndex(0)))
        throw Exception(std::string(ClassName()) + ".Init: Invalid Procedure(first object is not of type TSLArray)");
    if (!isArray(Proc->GetObjAtIndex(n - 1)))
        throw Exception(std::string(ClassName()) + ".Init: Invalid Procedure(last object is not of type TSLArray)");
    TokenArray = TRef<TSLArray>(Proc);
    ExecuteItem = 0;
}

void TSLProcTokenizer::Exit() {
    if (TokenArray) ExecuteItem = TokenArray->GetCount() - 1;
}

TSLObject* TSLProcTokenizer::GetNextToken(TSLContextImplementation& Context) {
    if (ExecuteItem < 0 || !TokenArray)
        throw Exception(std::string(ClassName()) + ".GetNextToken: ProcTokenizer not initialized");
    if (FFinished) return nullptr;
    TSLArray& proc = *TokenArray;
    const int n = TokenCount(proc);
    if (ExecuteItem == 0) {
        // The procedure may have been changed since Init; its parameter list
        // must still be an array.
        auto* params = SLCast<TSLArray>(n > 0 ? TokenAt(proc, 0) : proc.GetObjAtIndex(0));
        TSLContextStack& dicts = Context.DictStack();
        FDictStackCount = dicts.Count();
        FLocalDict = Context.TakeLocalDict();
        // Room for the parameters and a result or two without growing.
        const int p = ListCount(*params);
        FLocalDict->SetCapacity(p + 2);
        dicts.Push(FLocalDict.Get());
        TSLContextStack& ops = Context.OperandStack();
        for (int i = p - 1; i >= 0; --i) {
            const auto* name = SLCast<TSLIdent>(ListAt(*params, i));
            TSLObject* value = ops.At(0);
            FLocalDict->AddObject(name->GetIdentValue(), name->NameHash(), value);
            ops.Drop();
        }
        FOpStackCount = ops.Count();
        ExecuteItem = 1;
    }
    if (ExecuteItem >= n - 1) {
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
        auto* results = SLCast<TSLArray>(n > 0 ? TokenAt(proc, n - 1) : proc.GetObjAtIndex(n - 1));
        const int r = ListCount(*results);
        for (int i = 0; i < r; ++i) {
            const auto* name = SLCast<TSLIdent>(ListAt(*results, i));
            const int k = FLocalDict->FindHashed(name->GetIdentValue(), name->NameHash());
            ops.Push(k >= 0 ? FLocalDict->ValueAt(k) : FLocalDict->GetObjWithName(name->GetIdentValue()));
        }
        TSLContextStack& dicts = Context.DictStack();
        while (dicts.Count() > FDictStackCount) dicts.Drop();
        Context.ReturnLocalDict(FLocalDict);
        FFinished = true;
        return nullptr;
    }
    return TokenAt(proc, ExecuteItem++);
}

// ---------------------------------------------------------------- loops

void TSLRepeatTokenizer::InitWithBlock(TSLArray* Block) {
    TokenArray = TRef<TSLArray>(Block);
    ExecuteItem = 0;
    FRepeatCount = 1;
}

TSLObject* TSLRepeatTokenizer::GetNextToken(TSLContextImplementation&) {
    if ((FRepeatCount <= 0 && FRepeatCount != -1) || !TokenArray) return nullptr;
    const int n = TokenCount(*TokenArray);
    if (ExecuteItem == n) {
        if (FRepeatCount == -1) {
            ExecuteItem = 0;
        } else {
            if (FRepeatCount > 1) ExecuteItem = 0;
            --FRepeatCount;
        }
    }
    if (ExecuteItem >= 0 && ExecuteItem < n) return TokenAt(*TokenArray, ExecuteItem++);
    return nullptr;
}

void TSLForTokenizer::InitLongint(int64_t Initial, int64_t Increment, int64_t Limit, TSLArray* AArray) {
    TokenArray = TRef<TSLArray>(AArray);
    Mode = feLongint;
    IntActual = Initial;
    IntIncrement = Increment;
    IntLimit = Limit;
    ExecuteItem = 0;
    PushDone = false;
    FPastRange = false;
}

void TSLForTokenizer::InitDouble(double Initial, double Increment, double Limit, TSLArray* AArray) {
    TokenArray = TRef<TSLArray>(AArray);
    Mode = feDouble;
    RealActual = Initial;
    RealIncrement = Increment;
    RealLimit = Limit;
    ExecuteItem = 0;
    PushDone = false;
    FPastRange = false;
}

TSLObject* TSLForTokenizer::PushValue() {
    // The last pass's value is reused when nothing but this loop holds it any
    // more (the body consumed it): nobody can tell it from a new one.
    TSLObject* last = FValue.Get();
    const bool reuse = last && last->GetRefCount() == 1 && !last->GetDbgInfo();
    if (Mode == feLongint) {
        if (reuse && last->HasTrait(slLongint)) // (the class is final)
            static_cast<TSLLongint*>(last)->TSLLongint::SetLongintValue(IntActual);
        else
            FValue = MakeRef<TSLLongint>(IntActual);
    } else {
        if (reuse && last->HasTrait(slDouble))
            static_cast<TSLDouble*>(last)->TSLDouble::SetDoubleValue(RealActual);
        else
            FValue = MakeRef<TSLDouble>(RealActual);
    }
    PushDone = true;
    return FValue.Get();
}

TSLObject* TSLForTokenizer::GetNextToken(TSLContextImplementation&) {
    const TSLArray* tokens = TokenArray.Get();
    if (ExecuteItem < 0 || !tokens) return nullptr;
    if (ExecuteItem == 0) {
        if (CheckTerminate()) return nullptr;
        // Each pass begins with the loop value.
        if (!PushDone) return PushValue();
    }
    const int n = TokenCount(*tokens);
    TSLObject* element = nullptr;
    const bool have = ExecuteItem < n;
    if (have) {
        element = TokenAt(*tokens, ExecuteItem++);
        if (ExecuteItem < n) return element;
    }
    // The pass is complete.
    ExecuteItem = 0;
    PushDone = false;
    if (Mode == feLongint) {
        // A value beyond the 64-bit range has passed any limit: the loop ends
        // instead of wrapping around and starting again.
        if (__builtin_add_overflow(IntActual, IntIncrement, &IntActual)) FPastRange = true;
    } else {
        RealActual += RealIncrement;
    }
    if (have) return element;
    if (CheckTerminate()) return nullptr;
    return PushValue();
}

void TSLForallTokenizer::Init(TSLCollection* Coll, TSLArray* Proc) {
    TokenArray = TRef<TSLArray>(Proc);
    Collection = TRef<TSLCollection>(Coll);
    FNamed = Coll && Coll->InheritsFrom(TSLNamedCollection::ClassInfo);
    const TClassInfo* c = Coll ? &Coll->ClassType() : nullptr;
    FPlain = c == &TSLArray::ClassInfo || c == &TSLBlock::ClassInfo || c == &TSLProcedure::ClassInfo;
    FPlainDict = c == &TSLDictionary::ClassInfo;
    const TClassInfo* b = Proc ? &Proc->ClassType() : nullptr;
    FPlainBody = b == &TSLArray::ClassInfo || b == &TSLBlock::ClassInfo || b == &TSLProcedure::ClassInfo ? Proc : nullptr;
    ExecuteItem = 0;
    Index = 0;
    PushDone = false;
}

bool TSLForallTokenizer::CheckTerminate() const {
    // A collection that shrank below the index during the loop ends it too.
    return Index >= CollectionCount();
}

TSLObject* TSLForallTokenizer::PushValue() {
    if (FPlain) {
        FValue = TRef<TSLObject>(static_cast<const TSLArray*>(Collection.Get())->UncheckedAt(Index));
    } else if (FPlainDict) {
        FValue = MakeRef<TSLIdent>(static_cast<const TSLDictionary*>(Collection.Get())->NameRefAtIndex(Index), false);
    } else if (FNamed) {
        FValue = MakeRef<TSLIdent>(static_cast<TSLNamedCollection*>(Collection.Get())->GetNameAtIndex(Index), false);
    } else {
        FValue = TRef<TSLObject>(Collection->GetObjAtIndex(Index));
    }
    PushDone = true;
    return FValue.Get();
}

namespace {
// Whether the interpreter pushes Token rather than executing it (as GetToken
// tells).
bool IsLiteral(TSLObject* Token) {
    if (Token->HasTrait(TSLObject::slIdent)) return !static_cast<TSLIdent*>(Token)->TSLIdent::GetExecutable();
    return Token->HasTrait(TSLObject::slLongint | TSLObject::slDouble) || !Token->GetExecutable();
}
} // namespace

TSLObject* TSLForallTokenizer::GetNextToken(TSLContextImplementation& Context) {
    // Inside a pass over a plain body: its next token.
    if (const TSLArray* body = TokenArray.Get(); ExecuteItem > 0 && body && body == FPlainBody && Collection) {
        const int n = body->TSLArray::GetCount();
        if (ExecuteItem < n) {
            TSLObject* element = body->UncheckedAt(ExecuteItem++);
            if (ExecuteItem == n) {
                ExecuteItem = 0;
                ++Index;
                PushDone = false;
            }
            return element;
        }
    }
    return NextPass(Context);
}

TSLObject* TSLForallTokenizer::BodyToken(int Count) {
    TSLObject* element = TokenAt(*TokenArray, ExecuteItem++);
    if (ExecuteItem >= Count) {
        // The pass is complete.
        ExecuteItem = 0;
        ++Index;
        PushDone = false;
    }
    return element;
}

[[gnu::noinline]] TSLObject* TSLForallTokenizer::NextPass(TSLContextImplementation& Context) {
    if (const TSLArray* body = TokenArray.Get();
        ExecuteItem == 0 && !PushDone && FPlain && body && body == FPlainBody && Collection) {
        // A pass over a plain array with a plain body: what follows, taken
        // directly.
        const auto* coll = static_cast<const TSLArray*>(Collection.Get());
        if (Index >= coll->TSLArray::GetCount()) return nullptr;
        TSLObject* value = coll->UncheckedAt(Index);
        FValue = TRef<TSLObject>(value);
        PushDone = true;
        const int n = body->TSLArray::GetCount();
        if (!value || n == 0 || !IsLiteral(value) || !Context.TokensUnwatched()) return value;
        Context.OperandStack().Push(value);
        TSLObject* element = body->UncheckedAt(0);
        if (n == 1) {
            ++Index;
            PushDone = false;
        } else {
            ExecuteItem = 1;
        }
        return element;
    }
    if (ExecuteItem < 0 || !TokenArray || !Collection) return nullptr;
    if (ExecuteItem == 0) {
        if (CheckTerminate()) return nullptr;
        if (!PushDone) {
            TSLObject* value = PushValue();
            // A literal value is pushed here when no debugger hook could see
            // it as a token of its own; the interpreter would push it just so.
            // (Nothing runs in between, so the pass begins as it would then.)
            if (!value || !IsLiteral(value) || !Context.TokensUnwatched()) return value;
            const int n = TokenCount(*TokenArray);
            if (n == 0) return value;
            Context.OperandStack().Push(value);
            return BodyToken(n);
        }
    }
    const int n = TokenCount(*TokenArray);
    if (ExecuteItem < n) return BodyToken(n);
    // An empty body (or one that shrank): the pass is complete.
    ExecuteItem = 0;
    ++Index;
    PushDone = false;
    if (CheckTerminate()) return nullptr;
    return PushValue();
}

} // namespace vo
