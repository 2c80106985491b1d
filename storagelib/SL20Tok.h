#pragma once
// Execution frames: the tokenizers on a context's execution stack. Each one
// delivers, one at a time, the tokens of the code it runs (a block, a
// procedure, a loop body, a try or handler block, a single object); the
// interpreter always asks the topmost one and pops it when it has nothing more
// to deliver. Control structures are tokenizers pushed by built-in procedures,
// and exits and exceptions pop tokenizers until one of the right class is
// reached.
#include <cstdint>

#include "storagelib/SL20Arr.h"
#include "storagelib/SL20Dic.h"
#include "storagelib/SL20Elm.h"

namespace vo {

class TSLContextImplementation;

class TSLTokenizer : public TSLObject {
    VO_REFOBJ_CLASS(TSLTokenizer, TSLObject)
    VO_SL_POOLED
public:
    // The next raw token, nil when the tokenizer is exhausted. The base raises
    // the method-not-implemented error.
    virtual TSLObject* GetNextToken(TSLContextImplementation& Context);

    // Makes the next token current and returns it: while the user value is
    // non-zero, or the context is continuing after a wait, the current token is
    // delivered again. An executable name is resolved here (an undefined one
    // raises "object with name '%s' not found"); a name bound to anything but
    // a block, a procedure or an internal procedure is pushed, not executed.
    TSLObject* GetToken(TSLContextImplementation& Context);
    void ClearToken() noexcept {
        FToken = nullptr;
        FTokenIsExecutable = false;
        FUnresolvedToken.Reset();
        FResolvedKeep.Reset();
    }
    // A plain run's view of a block frame or a procedure body: the array,
    // the position of the next token (Item) and the end; nil when the frame
    // is of another kind or has something else to do first.
    inline const TSLArray* PlainBody(int32_t*& Item, int& End);
    // The state GetToken leaves for the name Token resolved to the
    // executable object Resolved, as a plain run sets it before Resolved
    // runs (the tokens it pushes in between leave no state: nothing could
    // see it).
    void SetCurrentName(TSLObject* Token, TSLObject* Resolved) noexcept {
        if (FUnresolvedToken.Get() != Token) FUnresolvedToken = TRef<TSLObject>(Token);
        FTokenIsExecutable = true;
        FToken = Resolved;
    }
    // What the last name token resolved to stays held while it is current
    // (a loop's names resolve as last time: nothing changes then).
    void KeepResolved(TSLObject* Resolved) {
        if (FResolvedKeep.Get() != Resolved) FResolvedKeep = TRef<TSLObject>(Resolved);
    }
    // The state GetToken leaves when the name Token is not found.
    void SetFailedName(TSLObject* Token) noexcept {
        FUnresolvedToken = TRef<TSLObject>(Token);
        FToken = nullptr;
        FTokenIsExecutable = true;
        FResolvedKeep.Reset();
    }

    // The context's user value while this tokenizer is on top.
    int32_t FUserValue = 0;
    // The classes whose next token the interpreter works out without a
    // virtual call (their GetNextToken does the same).
    enum TKind : uint8_t { tkOther,
                           tkBlock,
                           tkProc,
                           tkFor };
    TKind FKind = tkOther;
    // The current token after name resolution, its executable flag, and the
    // token as delivered. The tokenizer keeps them alive while they are
    // current (a script may change the block it runs, or the dictionary that
    // holds a name's object, while a token is current).
    TSLObject* FToken = nullptr;
    bool FTokenIsExecutable = false;
    TRef<TSLObject> FUnresolvedToken;

private:
    TRef<TSLObject> FResolvedKeep; // what the last name token resolved to
    const TSLArray* FTokensSeen = nullptr;
    bool FTokensPlain = false;

protected:
    TSLTokenizer() = default;
    // Back to the state of a new tokenizer (a finished frame kept for reuse);
    // what it held is released as its destruction would.
    void ResetTokenizer() noexcept {
        FUserValue = 0;
        FToken = nullptr;
        FTokenIsExecutable = false;
        FTokensSeen = nullptr;
        FTokensPlain = false;
        FResolvedKeep.Reset();
        FUnresolvedToken.Reset();
    }
    // Element Index (0 <= Index < count) of Tokens as GetObjAtIndex gives it;
    // read directly from the arrays, blocks and procedures themselves.
    TSLObject* TokenAt(const TSLArray& Tokens, int Index) {
        SeeTokens(Tokens);
        return FTokensPlain ? Tokens.UncheckedAt(Index) : Tokens.GetObjAtIndex(Index);
    }
    // The count of Tokens as GetCount gives it.
    int TokenCount(const TSLArray& Tokens) {
        SeeTokens(Tokens);
        return FTokensPlain ? Tokens.TSLArray::GetCount() : Tokens.GetCount();
    }

    // Whether Tokens is a plain array, block or procedure (read directly).
    bool PlainTokens(const TSLArray& Tokens) {
        SeeTokens(Tokens);
        return FTokensPlain;
    }

private:
    void SeeTokens(const TSLArray& Tokens) {
        if (&Tokens != FTokensSeen) {
            FTokensSeen = &Tokens;
            const TClassInfo* c = &Tokens.ClassType();
            FTokensPlain = c == &TSLArray::ClassInfo || c == &TSLBlock::ClassInfo || c == &TSLProcedure::ClassInfo;
        }
    }
};

// Delivers one object once: a name scheduled by ExecuteName, the name of an
// "exec", the re-raise after a finally block.
class TSLObjectTokenizer : public TSLTokenizer {
    VO_REFOBJ_CLASS(TSLObjectTokenizer, TSLTokenizer)
public:
    explicit TSLObjectTokenizer(TSLObject* AObj) : Obj(AObj) {}
    TSLObject* GetNextToken(TSLContextImplementation& Context) override;

    TRef<TSLObject> Obj;
    bool Run = true;
    // It raises again the exception a finally block has let pass.
    bool FCarriesException = false;
};

// Delivers the elements of an array in order.
class TSLBlockTokenizer : public TSLTokenizer {
    VO_REFOBJ_CLASS(TSLBlockTokenizer, TSLTokenizer)
public:
    TSLBlockTokenizer() noexcept { FKind = tkBlock; }
    void InitWithBlock(TSLArray* Block) {
        TokenArray = TRef<TSLArray>(Block);
        ExecuteItem = 0;
    }
    TSLObject* GetNextToken(TSLContextImplementation& Context) override;
    void ResetFrame() noexcept {
        TokenArray.Reset();
        ExecuteItem = -1;
        ResetTokenizer();
    }
    TSLObject* NextBlockToken() {
        const TSLArray* tokens = TokenArray.Get();
        if (ExecuteItem < 0 || !tokens || ExecuteItem >= TokenCount(*tokens)) return nullptr;
        return TokenAt(*tokens, ExecuteItem++);
    }

    TRef<TSLArray> TokenArray;
    int32_t ExecuteItem = -1;
};

// The try block of "tryexcept" and "tryfinally"; remembers the stack depths
// at which the try began, for the cleanup of an exception.
class TSLTryTokenizer : public TSLBlockTokenizer {
    VO_REFOBJ_CLASS(TSLTryTokenizer, TSLBlockTokenizer)
public:
    TSLTryTokenizer() = default;
    // Pops the operand and dictionary stacks down to the recorded depths.
    void CleanupStacks(TSLContextImplementation& Context);

    int32_t FOpStackCount = 0;
    int32_t FDictStackCount = 0;
};

// The handler of "tryexcept": delivers its block only once armed by an
// exception, so it is popped at once when the try block ends normally.
class TSLExceptTokenizer : public TSLBlockTokenizer {
    VO_REFOBJ_CLASS(TSLExceptTokenizer, TSLBlockTokenizer)
public:
    TSLExceptTokenizer() noexcept { FKind = tkOther; }
    void Arm() noexcept { FArmed = true; }
    TSLObject* GetNextToken(TSLContextImplementation& Context) override;

    bool FArmed = false;
};

enum TFinallyState : uint8_t {
    ftExecute, // the try block ended normally (or has not ended yet)
    ftExecuteArmed, // an exception is in flight: raised again after the block
    ftFinished,
    ftExecuteExit, // an exit leaves the try block: the exit goes on after the block
};

// The handler of "tryfinally": runs its block after the try block, however
// that ends.
class TSLFinallyTokenizer : public TSLBlockTokenizer {
    VO_REFOBJ_CLASS(TSLFinallyTokenizer, TSLBlockTokenizer)
public:
    TSLFinallyTokenizer() noexcept { FKind = tkOther; }
    void Arm(TSLObject* ExceptObj);
    // An exit (ExitProc, a built-in exit procedure) unwinds through the try
    // block: the finally block runs first, then ExitProc is executed again to
    // finish the unwinding.
    void ArmForExit(TSLObject* ExitProc);
    // Whether the finally block has not begun yet (the try block is still
    // running above it).
    bool Pending() const noexcept { return FState == ftExecute && !FStarted; }
    TSLObject* GetNextToken(TSLContextImplementation& Context) override;

    TFinallyState FState = ftExecute;
    TRef<TSLObject> FExceptObj;
    bool FStarted = false;
};

// A procedure: element 0 names the parameters, the last element the results,
// the elements between are the body. The first call opens the local
// dictionary and fills the parameters from the operand stack; the end trims
// the stacks and pushes the results.
class TSLProcTokenizer : public TSLTokenizer {
    VO_REFOBJ_CLASS(TSLProcTokenizer, TSLTokenizer)
public:
    TSLProcTokenizer() noexcept { FKind = tkProc; }
    // "%s.Init: Invalid Procedure(first object is not of type TSLArray)" and
    // "(last object ...)" for a malformed procedure.
    void Init(TSLArray* Proc);
    // The next call finishes the procedure and delivers its results.
    void Exit();
    TSLObject* GetNextToken(TSLContextImplementation& Context) override;
    // The start of a call (its parameters are taken) and its end (the
    // results are delivered), as GetNextToken makes them; Count is the
    // count of Proc, the procedure run.
    void BeginCall(TSLContextImplementation& Context, TSLArray& Proc, int Count);
    void EndCall(TSLContextImplementation& Context, TSLArray& Proc, int Count);
    // For a plain run: the start of the call of a plain procedure when the
    // next fetch would start it.
    void BeginPlainCall(TSLContextImplementation& Context) {
        TSLArray* proc = TokenArray.Get();
        if (ExecuteItem == 0 && FUserValue == 0 && !FFinished && proc && PlainTokens(*proc))
            BeginCall(Context, *proc, proc->TSLArray::GetCount());
    }
    void ResetFrame() noexcept {
        FLocalDict.Reset();
        TokenArray.Reset();
        ExecuteItem = -1;
        FOpStackCount = 0;
        FDictStackCount = 0;
        FFinished = false;
        ResetTokenizer();
    }
    // GetNextToken for a token of the body that is neither its first nor
    // past its last; nil where GetNextToken has more to do.
    TSLObject* NextBodyToken() {
        const TSLArray* proc = TokenArray.Get();
        if (ExecuteItem <= 0 || FFinished || !proc || !PlainTokens(*proc) || ExecuteItem >= proc->TSLArray::GetCount() - 1)
            return nullptr;
        TSLObject* p = proc->UncheckedAt(ExecuteItem);
        if (p) ++ExecuteItem;
        return p;
    }

    TRef<TSLArray> TokenArray;
    int32_t ExecuteItem = -1;
    int32_t FOpStackCount = 0;
    int32_t FDictStackCount = 0;
    TRef<TSLDictionary> FLocalDict;
    bool FFinished = false;
};

// The class "exitloop" looks for.
class TSLLoopTokenizer : public TSLTokenizer {
    VO_REFOBJ_CLASS(TSLLoopTokenizer, TSLTokenizer)
protected:
    TSLLoopTokenizer() = default;
};

// "loop" (count -1, without end) and "repeat" (count n).
class TSLRepeatTokenizer : public TSLLoopTokenizer {
    VO_REFOBJ_CLASS(TSLRepeatTokenizer, TSLLoopTokenizer)
public:
    TSLRepeatTokenizer() = default;
    void InitWithBlock(TSLArray* Block);
    TSLObject* GetNextToken(TSLContextImplementation& Context) override;

    TRef<TSLArray> TokenArray;
    int32_t ExecuteItem = -1;
    int64_t FRepeatCount = 1;
};

enum TForMode : uint8_t { feLongint,
                          feDouble };

// "for": before each pass the loop value is delivered as a literal, then the
// body; the limit is inclusive, an increment of 0 never ends.
class TSLForTokenizer : public TSLLoopTokenizer {
    VO_REFOBJ_CLASS(TSLForTokenizer, TSLLoopTokenizer)
public:
    TSLForTokenizer() noexcept { FKind = tkFor; }
    void InitLongint(int64_t Initial, int64_t Increment, int64_t Limit, TSLArray* AArray);
    void InitDouble(double Initial, double Increment, double Limit, TSLArray* AArray);
    bool CheckTerminate() const noexcept {
        if (FPastRange) return true;
        if (Mode == feLongint)
            return (IntIncrement > 0 && IntActual > IntLimit) || (IntIncrement < 0 && IntActual < IntLimit);
        return (RealIncrement > 0 && RealActual > RealLimit) || (RealIncrement < 0 && RealActual < RealLimit);
    }
    TSLObject* PushValue();
    TSLObject* GetNextToken(TSLContextImplementation& Context) override;
    TSLObject* NextForToken(TSLContextImplementation& Context) {
        const TSLArray* tokens = TokenArray.Get();
        if (ExecuteItem < 0 || !tokens) return nullptr;
        // Each pass begins with the loop value. (Once it is out, the test
        // that let it out still holds: only this frame moves the loop on.)
        if (ExecuteItem == 0 && !PushDone) return StartPass(Context);
        return BodyToken();
    }
    // The loop value; when no hook sees single tokens it is pushed here, as
    // the interpreter would push it, and the body's first token follows.
    TSLObject* StartPass(TSLContextImplementation& Context);
    // The next token of the body; its last one completes the pass.
    TSLObject* BodyToken() {
        const TSLArray* tokens = TokenArray.Get();
        const int n = TokenCount(*tokens);
        TSLObject* element = nullptr;
        const bool have = ExecuteItem < n;
        if (have) {
            element = TokenAt(*tokens, ExecuteItem++);
            if (ExecuteItem < n) return element;
        }
        CompletePass();
        if (have) return element;
        if (CheckTerminate()) return nullptr;
        return NextValue();
    }
    // A plain run's view of the loop: the body when it is a plain array with
    // tokens and nothing else is to be done first; nil otherwise.
    const TSLArray* PlainLoopBody() {
        const TSLArray* tokens = TokenArray.Get();
        if (FUserValue != 0 || ExecuteItem < 0 || !tokens || !PlainTokens(*tokens) || tokens->TSLArray::GetCount() == 0)
            return nullptr;
        return tokens;
    }
    // The body's token at ExecuteItem (of Count) is taken, as BodyToken
    // takes it: the last one completes the pass.
    void TakeBodyToken(int Count) noexcept {
        if (++ExecuteItem >= Count) CompletePass();
    }
    // The pass is complete: the loop value moves on.
    void CompletePass() noexcept {
        ExecuteItem = 0;
        PushDone = false;
        if (Mode == feLongint) {
            // A value beyond the 64-bit range has passed any limit: the loop
            // ends instead of wrapping around and starting again.
            if (__builtin_add_overflow(IntActual, IntIncrement, &IntActual)) FPastRange = true;
        } else {
            RealActual += RealIncrement;
        }
    }
    // PushValue, with the integer that only this loop still holds (the body
    // consumed it) set in place.
    TSLObject* NextValue() {
        TSLObject* last = FValue.Get();
        if (Mode == feLongint && last && last->GetRefCount() == 1 && last->HasTrait(slLongint) && !last->GetDbgInfo()) {
            static_cast<TSLLongint*>(last)->TSLLongint::SetLongintValue(IntActual);
            PushDone = true;
            return last;
        }
        return PushValue();
    }

    TRef<TSLArray> TokenArray;
    int32_t ExecuteItem = -1;
    TForMode Mode = feLongint;
    bool PushDone = false;
    int64_t IntActual = 0, IntIncrement = 0, IntLimit = 0;
    double RealActual = 0, RealIncrement = 0, RealLimit = 0;

private:
    TRef<TSLObject> FValue; // the loop value being delivered
    bool FPastRange = false; // the integer value left the 64-bit range
};

// "forall": one pass per element of a collection, delivering before each pass
// the element, or for a dictionary or record the entry's name as a literal.
class TSLForallTokenizer : public TSLLoopTokenizer {
    VO_REFOBJ_CLASS(TSLForallTokenizer, TSLLoopTokenizer)
public:
    TSLForallTokenizer() = default;
    void Init(TSLCollection* Coll, TSLArray* Proc);
    bool CheckTerminate() const;
    TSLObject* PushValue();
    TSLObject* GetNextToken(TSLContextImplementation& Context) override;

    TRef<TSLArray> TokenArray;
    int32_t ExecuteItem = -1;
    TRef<TSLCollection> Collection;
    int32_t Index = 0;
    bool PushDone = false;

private:
    // The next token of the body (ExecuteItem < Count), ending the pass with
    // the body's last token.
    TSLObject* BodyToken(int Count);
    // The start of a pass, and what is unusual.
    TSLObject* NextPass(TSLContextImplementation& Context);
    // The count and the element at Index as the collection gives them.
    int CollectionCount() const {
        return FPlain ? static_cast<const TSLArray*>(Collection.Get())->TSLArray::GetCount() : Collection->GetCount();
    }

    TRef<TSLObject> FValue;
    bool FNamed = false; // the collection delivers names (a dictionary or record)
    // The collection is a plain array or a plain dictionary: its elements and
    // names are read directly.
    bool FPlain = false;
    bool FPlainDict = false;
    const TSLArray* FPlainBody = nullptr; // the body when it is a plain array, block or procedure
};

inline const TSLArray* TSLTokenizer::PlainBody(int32_t*& Item, int& End) {
    if (FUserValue != 0) return nullptr;
    if (FKind == tkBlock) {
        auto* b = static_cast<TSLBlockTokenizer*>(this);
        const TSLArray* tokens = b->TokenArray.Get();
        if (!tokens || b->ExecuteItem < 0 || !PlainTokens(*tokens)) return nullptr;
        Item = &b->ExecuteItem;
        End = tokens->TSLArray::GetCount();
        return tokens;
    }
    if (FKind == tkProc) {
        auto* proc = static_cast<TSLProcTokenizer*>(this);
        const TSLArray* tokens = proc->TokenArray.Get();
        if (!tokens || proc->ExecuteItem <= 0 || proc->FFinished || !PlainTokens(*tokens)) return nullptr;
        Item = &proc->ExecuteItem;
        End = tokens->TSLArray::GetCount() - 1;
        return tokens;
    }
    return nullptr;
}

// Whether Obj is run by the interpreter when it is an executable token: a
// block, a procedure or an internal procedure (or a subclass).
inline bool SLIsExecutableClass(const TSLObject* Obj) noexcept {
    return Obj && Obj->HasTrait(TSLObject::slExecutableClass);
}

} // namespace vo
