#pragma once
// Built-in control flow, exception and wait procedures of the "System"
// dictionary: they push tokenizers on the execution stack of the running
// context. Blocks handed to them are blocks pushed as data; they run as plain
// blocks (a procedure handed to "if" runs its elements, parameter and result
// lists included, as a block). Only "exec" and executing a name run a
// procedure as a procedure.
#include "storagelib/SL20Prc.h"

namespace vo {

// "exec" x -> : a name is resolved and executed next; a block or procedure is
// run.
class TSLExecProcedure : public TSLPolymorphProcedure {
    VO_REFOBJ_CLASS(TSLExecProcedure, TSLPolymorphProcedure)
public:
    TSLExecProcedure() = default;
    void ExecuteIdent(TSLContext* Context);
    void ExecuteBlock(TSLContext* Context);
    void ExecuteProcedure(TSLContext* Context);

protected:
    void RegisterProcedures() override;
};

VO_SL_PROCEDURE(TSLIfProcedure); // "if"       bool block ->
VO_SL_PROCEDURE(TSLIfElseProcedure); // "ifelse"   bool block1 block2 ->

// "case" value cases default -> : the block paired with the first key equal to
// value (integers or strings), else default.
class TSLCaseProcedure : public TSLPolymorphProcedure {
    VO_REFOBJ_CLASS(TSLCaseProcedure, TSLPolymorphProcedure)
public:
    TSLCaseProcedure() = default;
    void ExecuteLongint(TSLContext* Context);
    void ExecuteString(TSLContext* Context);

protected:
    void RegisterProcedures() override;

private:
    template <class T>
    void Select(TSLContext* Context);
};

VO_SL_PROCEDURE(TSLLoopProcedure); // "loop"      block ->
VO_SL_PROCEDURE(TSLRepeatProcedure); // "repeat"    n block ->
VO_SL_PROCEDURE(TSLForProcedure); // "for"       initial increment limit body ->
VO_SL_PROCEDURE(TSLForallProcedure); // "forall"    collection body ->
VO_SL_PROCEDURE(TSLExitBlockProcedure); // "exitblock" ->
VO_SL_PROCEDURE(TSLExitLoopProcedure); // "exitloop"  ->
VO_SL_PROCEDURE(TSLExitProcProcedure); // "exitproc"  ->
VO_SL_PROCEDURE(TSLRaiseProcedure); // "raise"     obj ->

class TSLCreateDictProcedure;

// "raisese" message -> : raises a new dictionary {Msg: message}.
class TSLRaiseSEProcedure : public TSLInternalProcedure {
    VO_REFOBJ_CLASS(TSLRaiseSEProcedure, TSLInternalProcedure)
public:
    TSLRaiseSEProcedure();
    ~TSLRaiseSEProcedure() override;
    void Execute(TSLContext* Context) override;

private:
    TRef<TSLRaiseProcedure> RaiseExceptionProc;
    TRef<TSLCreateDictProcedure> CreateDictProc;
};

VO_SL_PROCEDURE(TSLTryExceptProcedure); // "tryexcept"  tryblock exceptblock ->
VO_SL_PROCEDURE(TSLTryFinallyProcedure); // "tryfinally" tryblock finallyblock ->
VO_SL_PROCEDURE(TSLWaitProcedure); // "wait"       ms ->
VO_SL_PROCEDURE(TSLTestProcedure); // "test"       -> 100 200 300
VO_SL_PROCEDURE(TSLAbortProcedure); // "abort"      ->

} // namespace vo
