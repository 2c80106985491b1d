/*
 * A library of script classes for the tests of "loadclass", written against
 * scripting/ScrDllAbi.h as a library of anybody's would be.
 *
 * Classes: 0 "DllCounter" (Add, Get, Greet, Fail, WaitAsync, PopWrong),
 * 1 "DllEcho" (Twice). WaitAsync waits until a thread of the library
 * continues the script from that thread.
 *
 * Built three times: complete; with SCRDLL_NO_EXPORTS (no script-class
 * exports at all); with SCRDLL_NO_EXECUTE (ExecuteMethod missing).
 */
#include <pthread.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include "scripting/ScrDllAbi.h"

#ifdef SCRDLL_NO_EXPORTS

VO_SCR_EXPORT int32_t ScrTestNothing(void) { return 0; }

#else

#define MAX_OBJECTS 64

typedef struct {
    int32_t ClassId;
    int64_t Value;
    VoScrContext* Ctx;
    pthread_t Thread;
    int ThreadRunning;
    int32_t DelayMs;
} Object;

static Object* Objects[MAX_OBJECTS + 1]; /* by handle 1..MAX_OBJECTS */
static int32_t Live = 0;
static int32_t LastDestroyed = 0;
static int32_t ContinueResult = -1;

/* Counters for the tests (the answer's status is set on the library's thread). */
VO_SCR_EXPORT int32_t ScrTestLiveObjects(void) { return Live; }
VO_SCR_EXPORT int32_t ScrTestLastDestroyed(void) { return LastDestroyed; }
VO_SCR_EXPORT int32_t ScrTestContinueResult(void) { return __atomic_load_n(&ContinueResult, __ATOMIC_SEQ_CST); }
VO_SCR_EXPORT int32_t ScrTestReset(void) {
    __atomic_store_n(&ContinueResult, -1, __ATOMIC_SEQ_CST);
    return -1;
}

static int32_t PutName(const char* Text, char* Name, int32_t NameSize) {
    int32_t length = (int32_t)strlen(Text);
    if (length < NameSize) memcpy(Name, Text, (size_t)length + 1);
    return length;
}

static const char* const ClassNames[] = {"DllCounter", "DllEcho"};
static const char* const CounterMethods[] = {"Add", "Get", "Greet", "Fail", "WaitAsync", "PopWrong"};
static const char* const EchoMethods[] = {"Twice"};

VO_SCR_EXPORT int32_t GetClassName(int32_t ClassId, char* Name, int32_t NameSize) {
    if (ClassId < 0 || ClassId > 1) return PutName("", Name, NameSize);
    return PutName(ClassNames[ClassId], Name, NameSize);
}

VO_SCR_EXPORT int32_t GetMethodName(int32_t ClassId, int32_t Id, char* Name, int32_t NameSize) {
    if (ClassId == 0 && Id >= 0 && Id < 6) return PutName(CounterMethods[Id], Name, NameSize);
    if (ClassId == 1 && Id == 0) return PutName(EchoMethods[Id], Name, NameSize);
    return PutName("", Name, NameSize);
}

VO_SCR_EXPORT int32_t CreateObject(int32_t ClassId, VoScrContext* Ctx) {
    for (int32_t h = 1; h <= MAX_OBJECTS; ++h) {
        if (Objects[h]) continue;
        Object* o = (Object*)calloc(1, sizeof(Object));
        o->ClassId = ClassId;
        o->Ctx = Ctx;
        Objects[h] = o;
        ++Live;
        return h;
    }
    Ctx->Ops->RaiseStandardException(Ctx, "too many objects", 16);
    return 0;
}

static void JoinThread(Object* o) {
    if (!o->ThreadRunning) return;
    pthread_join(o->Thread, NULL);
    o->ThreadRunning = 0;
}

VO_SCR_EXPORT void DestroyObject(int32_t ClassId, int32_t Obj) {
    (void)ClassId;
    if (Obj < 1 || Obj > MAX_OBJECTS || !Objects[Obj]) return;
    JoinThread(Objects[Obj]);
    free(Objects[Obj]);
    Objects[Obj] = NULL;
    --Live;
    LastDestroyed = Obj;
}

#ifndef SCRDLL_NO_EXECUTE
/* The answer of WaitAsync comes from a thread of the library. */
static void* Answer(void* Arg) {
    Object* o = (Object*)Arg;
    struct timespec delay = {0, (long)o->DelayMs * 1000000L};
    nanosleep(&delay, NULL);
    __atomic_store_n(&ContinueResult, o->Ctx->Ops->Continue(o->Ctx, o), __ATOMIC_SEQ_CST);
    return NULL;
}

VO_SCR_EXPORT void ExecuteMethod(int32_t ClassId, int32_t Obj, int32_t Id, VoScrContext* Ctx) {
    const VoScrContextOps* ops = Ctx->Ops;
    Object* o = Obj >= 1 && Obj <= MAX_OBJECTS ? Objects[Obj] : NULL;
    if (!o) {
        ops->RaiseStandardException(Ctx, "no such object", 14);
        return;
    }
    o->Ctx = Ctx;
    if (ClassId == 1) {
        int64_t v = 0;
        if (ops->PopLongint(Ctx, &v) != VO_SCR_OK) return;
        ops->PushLongint(Ctx, 2 * v);
        return;
    }
    switch (Id) {
    case 0: { /* Add: integer -> */
        int64_t v = 0;
        if (ops->PopLongint(Ctx, &v) != VO_SCR_OK) return;
        o->Value += v;
        break;
    }
    case 1: /* Get: -> integer */
        ops->PushLongint(Ctx, o->Value);
        break;
    case 2: { /* Greet: name -> 'Hello, ' + name (a small buffer first) */
        char small[4];
        char text[300] = "Hello, ";
        int32_t length = 0;
        int32_t r = ops->PopString(Ctx, small, sizeof small, &length);
        if (r == VO_SCR_TOO_SMALL) {
            if (length > 250) length = 250;
            r = ops->PopString(Ctx, text + 7, length + 1, &length);
        } else if (r == VO_SCR_OK) {
            memcpy(text + 7, small, (size_t)length + 1);
        }
        if (r != VO_SCR_OK) return;
        ops->PushString(Ctx, text, 7 + length);
        break;
    }
    case 3: /* Fail */
        ops->RaiseStandardException(Ctx, "counter failed", 14);
        break;
    case 4: { /* WaitAsync: delay -> 'continued' */
        int32_t phase = 0;
        ops->GetUserValue(Ctx, &phase);
        if (phase == 0) {
            int64_t delay = 0;
            if (ops->PopLongint(Ctx, &delay) != VO_SCR_OK) return;
            o->DelayMs = (int32_t)delay;
            ops->SetUserValue(Ctx, 1);
            if (ops->Wait(Ctx, o, VO_SCR_NO_TIMEOUT) != VO_SCR_OK) return;
            JoinThread(o);
            o->ThreadRunning = pthread_create(&o->Thread, NULL, Answer, o) == 0;
            return;
        }
        JoinThread(o);
        ops->SetUserValue(Ctx, 0);
        ops->PushString(Ctx, "continued", 9);
        break;
    }
    case 5: { /* PopWrong: pops a string whatever is there */
        char buffer[32];
        int32_t length = 0;
        if (ops->PopString(Ctx, buffer, sizeof buffer, &length) != VO_SCR_OK) return;
        ops->PushString(Ctx, buffer, length);
        break;
    }
    default:
        break;
    }
}
#endif

#endif
