/*
 * The interface between the program and a shared library of script classes
 * (loaded by the script procedure "loadclass"). Plain C, so that a library
 * can be written in any language that can export C functions.
 *
 * A library exports five functions under these names (C linkage, default
 * visibility; see VO_SCR_EXPORT):
 *
 *   int32_t GetClassName(int32_t ClassId, char* Name, int32_t NameSize);
 *   int32_t CreateObject(int32_t ClassId, VoScrContext* Ctx);
 *   void    DestroyObject(int32_t ClassId, int32_t Obj);
 *   void    ExecuteMethod(int32_t ClassId, int32_t Obj, int32_t Id, VoScrContext* Ctx);
 *   int32_t GetMethodName(int32_t ClassId, int32_t Id, char* Name, int32_t NameSize);
 *
 * Names (8-bit text, code page 1252) travel through a buffer of the program:
 * GetClassName and GetMethodName write the name and a terminating zero byte
 * into Name when it fits into NameSize bytes, and return the name's length
 * in bytes. When the length is NameSize or more, the program calls again
 * with a buffer large enough. An empty name (length 0) ends the enumeration:
 * classes are numbered 0, 1, 2, ... up to the first empty class name, the
 * methods of a class likewise from 0 up to the first empty method name.
 *
 * CreateObject returns the handle of a new native object (any 32-bit value
 * the library chooses, unique among the live objects of the class); it pops
 * its construction arguments from Ctx, if any. DestroyObject frees it.
 * ExecuteMethod runs method Id on it: pops the arguments, pushes the results.
 *
 * The context is the table of operations Ctx->Ops; every operation takes the
 * context as its first argument and returns VO_SCR_OK, or VO_SCR_FAILED when
 * it failed (a pop of a value of another kind, an empty stack, a wait while
 * waiting). No exception ever crosses the boundary: after a failure the
 * library should return soon; the script receives the failure's message as
 * a script exception when the export has returned (a try block of the script
 * can catch it). RaiseStandardException reports an error of the library's
 * own the same way. The Check operations return 1 or 0 instead.
 *
 * Waiting: a method that starts something whose answer comes later sets the
 * user value (0 when nothing remains to be done, another value when the
 * method must run again), calls Wait with a time-out in milliseconds
 * (0x7FFFFFFF for none) and returns. When the answer comes, the library
 * calls Continue; the method then runs again while its user value is not 0.
 * When the time-out passes first, the script goes on by itself.
 *
 * Threads: all operations are called on the program's GUI thread during a
 * call of CreateObject or ExecuteMethod, except Continue, which a library may
 * call from any thread of its own at any time while the object lives (it is
 * handed over to the GUI thread). The Ctx a library receives stays valid
 * until DestroyObject of the object it was handed for has returned; a
 * library stops its threads for an object before DestroyObject returns.
 */
#ifndef VO_SCRIPTING_SCRDLLABI_H
#define VO_SCRIPTING_SCRDLLABI_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define VO_SCR_OK 0
#define VO_SCR_FAILED 1
/* PopString and PopIdent: the buffer is too small; nothing was popped and
   Length holds the text's length. */
#define VO_SCR_TOO_SMALL 2

#define VO_SCR_NO_TIMEOUT 0x7FFFFFFF

#if defined(__GNUC__)
#define VO_SCR_EXPORT __attribute__((visibility("default")))
#else
#define VO_SCR_EXPORT
#endif

typedef struct VoScrContext VoScrContext;

/* The operations of a context, in this order. */
typedef struct VoScrContextOps {
    int32_t (*SetUserValue)(VoScrContext* Ctx, int32_t Value);
    int32_t (*GetUserValue)(VoScrContext* Ctx, int32_t* Value);
    int32_t (*PushLongint)(VoScrContext* Ctx, int64_t Value);
    int32_t (*PushDouble)(VoScrContext* Ctx, double Value);
    int32_t (*PushString)(VoScrContext* Ctx, const char* Text, int32_t Length);
    int32_t (*PushIdent)(VoScrContext* Ctx, const char* Name, int32_t Length);
    int32_t (*PushBoolean)(VoScrContext* Ctx, int32_t Value);
    int32_t (*PopLongint)(VoScrContext* Ctx, int64_t* Value);
    int32_t (*PopDouble)(VoScrContext* Ctx, double* Value);
    /* Copies the text and a zero byte into Buffer (BufferSize bytes) and
       sets Length to the text's length. */
    int32_t (*PopString)(VoScrContext* Ctx, char* Buffer, int32_t BufferSize, int32_t* Length);
    int32_t (*PopBoolean)(VoScrContext* Ctx, int32_t* Value);
    int32_t (*CheckLongint)(VoScrContext* Ctx);
    int32_t (*CheckDouble)(VoScrContext* Ctx);
    int32_t (*CheckString)(VoScrContext* Ctx);
    int32_t (*CheckBoolean)(VoScrContext* Ctx);
    int32_t (*Wait)(VoScrContext* Ctx, void* Sender, int32_t Timeout);
    int32_t (*Continue)(VoScrContext* Ctx, void* Sender);
    /* The named procedure runs in the script right after the method returns. */
    int32_t (*ExecuteName)(VoScrContext* Ctx, const char* Name, int32_t Length);
    int32_t (*PopIdent)(VoScrContext* Ctx, char* Buffer, int32_t BufferSize, int32_t* Length);
    int32_t (*RaiseStandardException)(VoScrContext* Ctx, const char* Msg, int32_t Length);
} VoScrContextOps;

struct VoScrContext {
    const VoScrContextOps* Ops;
};

typedef int32_t (*VoScrGetClassName)(int32_t ClassId, char* Name, int32_t NameSize);
typedef int32_t (*VoScrCreateObject)(int32_t ClassId, VoScrContext* Ctx);
typedef void (*VoScrDestroyObject)(int32_t ClassId, int32_t Obj);
typedef void (*VoScrExecuteMethod)(int32_t ClassId, int32_t Obj, int32_t Id, VoScrContext* Ctx);
typedef int32_t (*VoScrGetMethodName)(int32_t ClassId, int32_t Id, char* Name, int32_t NameSize);

#ifdef __cplusplus
}
#endif

#endif
