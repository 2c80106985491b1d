#pragma once
// The contract between native code and the script language.
//
// TContextInterface is the operand-stack API every native procedure and every
// method of a native script class receives: push and pop typed values, suspend
// the script, have the interpreter run a named object next, raise a script
// error. TScriptClass is the shape of a native class that scripts instantiate
// by name. The abstract script task and its debugger are the interfaces the
// storage manager hands out and the script runtime implements (the task
// factory's interface is the storage manager's, storagelib/SL20Sto.h).
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>

#include "platform/AnsiString.h"
#include "storagelib/SL20Bas.h"

namespace vo {

class TSLBlock;

// The operand-stack API of one script context (implemented by the
// interpreter's context, one instance per context).
class TContextInterface {
public:
    virtual ~TContextInterface() = default;

    // The user value of the frame that runs the native code (0 when a token is
    // executed for the first time). A native that sets it before returning is
    // executed again once the frames it scheduled have finished.
    virtual void SetUserValue(int32_t Value) = 0;
    virtual int32_t GetUserValue() = 0;

    // Push a new value object on the operand stack. PushIdent pushes an
    // executable name as data (pushing does not execute it).
    virtual void PushLongint(int64_t Value) = 0;
    virtual void PushDouble(double Value) = 0;
    virtual void PushString(std::string_view Value) = 0;
    virtual void PushIdent(std::string_view Value) = 0;
    virtual void PushBoolean(bool Value) = 0;

    // The top operand must be exactly of the kind (an integer is no real and a
    // real no integer); otherwise "Invalid class typecast" and nothing is
    // removed. An empty stack raises the stack's error.
    virtual int64_t PopLongint() = 0;
    virtual double PopDouble() = 0;
    virtual MyAnsiString PopString() = 0;
    virtual bool PopBoolean() = 0;

    // Whether the top operand is of the kind (false on an empty stack);
    // nothing is removed.
    virtual bool CheckLongint() = 0;
    virtual bool CheckDouble() = 0;
    virtual bool CheckString() = 0;
    virtual bool CheckBoolean() = 0;

    // Suspends the script until Continue or the time-out (milliseconds).
    // "wait called while in wait state" when already waiting.
    virtual void Wait(void* Sender, int32_t Timeout) = 0;
    // Ends a wait. "continue called while not in wait state" otherwise.
    virtual void Continue(void* Sender) = 0;
    // The named object (looked up like a name in the script) is executed next,
    // before the script's next token.
    virtual void ExecuteName(std::string_view AName) = 0;
    virtual MyAnsiString PopIdent() = 0;

    // Raises a script error whose object is a dictionary {Msg: Msg}: pushes
    // Msg and schedules "raisese". The native returns normally; a try block of
    // the script can catch the error, otherwise it ends the run.
    void RaiseStandardException(std::string_view Msg);
};

// A native class that scripts instantiate by name. Every script instance owns
// one native object, known by a 32-bit handle the class hands out.
class TScriptClass {
public:
    virtual ~TScriptClass() = default;
    // Makes the native object of a new script instance; returns its handle.
    virtual int32_t CreateObject(TContextInterface& Ctx) = 0;
    // Frees the native object of a handle.
    virtual void DestroyObject(int32_t Obj) = 0;
    // Runs method Id on the native object Obj. An unknown handle is an error.
    virtual void ExecuteMethod(int32_t Obj, int32_t Id, TContextInterface& Ctx) = 0;
    // The script name of method Id; empty for the first Id past the last method.
    virtual MyAnsiString GetMethodName(int32_t Id) = 0;
};

class TScriptTaskInterface;

// The debugger window of a script run (the script runtime implements it). ID
// is a storage id: the debugger shows the text of that stored object.
class TScriptDebuggerInterface {
public:
    virtual ~TScriptDebuggerInterface() = default;
    virtual TSLContext* GetContext() = 0;
    virtual void SetContext(TSLContext* Value) = 0;
    virtual TScriptTaskInterface* GetScriptTask() = 0;
    virtual void SetScriptTask(TScriptTaskInterface* Value) = 0;
    virtual MyAnsiString GetStatusLine() = 0;
    virtual void SetStatusLine(const MyAnsiString& Value) = 0;
    virtual void Clear() = 0;
    virtual void AddScript(const MyAnsiString& FileName, uint16_t ID) = 0;
    virtual void RefreshDbgViews() = 0;
    virtual void Run() = 0;
    virtual void RunDone() = 0;
    virtual void StepDone() = 0;
    virtual void SelectNextInstruction(uint16_t ID, int32_t Pos, int32_t Len) = 0;
    virtual void DeselectNextInstruction() = 0;
    virtual void WaitForKey() = 0;
    virtual void WaitForStep() = 0;
};

// One script run as a task: given a context and a script, parameters pushed,
// started; when finished its results are popped and its error text read.
class TScriptTaskInterface {
public:
    virtual ~TScriptTaskInterface() = default;

    // Called once at the end of every run, when the task is idle again (the
    // handler may start it again).
    std::function<void(TScriptTaskInterface& Sender)> OnResponse;
    // Called once at the first step of every run.
    std::function<void(TScriptTaskInterface& Sender)> OnStart;
    // 0 after a finished run, 1 after a failed or aborted one.
    uint8_t Result = 0;

    virtual TSLBlock* GetScript() = 0;
    // Retains the block.
    virtual void SetScript(TSLBlock* Value) = 0;
    virtual TSLContext* GetContext() = 0;
    // Retains the context and routes its continue notification to Continue.
    virtual void SetContext(TSLContext* Value) = 0;
    virtual bool GetAutoFree() = 0;
    // With true the task frees itself after finishing (see ReleaseToAutoFree).
    virtual void SetAutoFree(bool Value) = 0;
    virtual bool GetDebug() = 0;
    virtual void SetDebug(bool Value) = 0;
    // The text of the error that ended the script; empty after success.
    virtual MyAnsiString GetErrorMsg() = 0;
    virtual bool GetRunning() = 0;
    virtual int32_t GetTaskID() = 0;
    // Nil unless the script runs under the debugger.
    virtual TScriptDebuggerInterface* GetScriptDebugger() = 0;
    // Drops script, context and error text.
    virtual void Clear() = 0;
    // Onto the context's operand stack.
    virtual void PushParameter(TSLObject* Par) = 0;
    // Takes the top of the context's operand stack.
    virtual TRef<TSLObject> PopResult() = 0;
    virtual void LoadScript(const MyAnsiString& Name) = 0;
    virtual void Start() = 0;
    virtual void Abort() = 0;
    virtual void Continue(void* Sender) = 0;
};

// Hands a task its own life: it is freed when it has finished (at once when it
// is not running).
void ReleaseToAutoFree(std::unique_ptr<TScriptTaskInterface> Task);

} // namespace vo
