#include "storagelib/SL20Prc.h"

#include <string>

#include "storagelib/SL20PrcCol.h"
#include "storagelib/SL20PrcCtl.h"
#include "storagelib/SL20PrcNum.h"
#include "storagelib/SL20PrcStk.h"
#include "storagelib/SL20Rec.h"

namespace vo {

// ---------------------------------------------------------------- TSLPolymorphProcedure

void TSLPolymorphProcedure::RegisterProcedures() {
    throw Exception(std::string(ClassName()) + ".RegisterProcedures not overwritten");
}

void TSLPolymorphProcedure::EnsureRegistered() {
    if (FRegistered) return;
    ProcedureCount = 0;
    RegisterProcedures();
    FRegistered = true;
}

void TSLPolymorphProcedure::RegisterProcedureForClassName(TPolyProcRef AProcedure, const TClassInfo& AClass,
                                                          int32_t AIndex) {
    if (ProcedureCount >= MaxEntries)
        throw Exception("Procedure array has only " + std::to_string(MaxEntries) + " entries");
    ProcedureArray[static_cast<std::size_t>(ProcedureCount++)] = TProcEntry{&AClass, AIndex, AProcedure};
}

void TSLPolymorphProcedure::Execute(TSLContext* Context) {
    EnsureRegistered();
    TStackInterface& ops = *Context->FOperandStackInterface;
    const TSLObject* examined = nullptr;
    for (int i = 0; i < ProcedureCount; ++i) {
        const TProcEntry& e = ProcedureArray[static_cast<std::size_t>(i)];
        examined = ops.GetObjAtIndex(e.AIndex);
        if (examined && examined->InheritsFrom(*e.AClass)) {
            (this->*e.AProcedure)(Context);
            return;
        }
    }
    throw Exception("Procedure '" + std::string(ClassName()) + "' doesn't work on object with class " +
                    (examined ? examined->ClassName() : "nil"));
}

// ---------------------------------------------------------------- helpers

void SLPopOperands(TSLContext* Context, int N) {
    TStackInterface& ops = *Context->FOperandStackInterface;
    for (int i = 0; i < N; ++i) ops.Pop(false);
}

// ---------------------------------------------------------------- the System dictionary

namespace {

using TCreator = TRef<TSLInternalProcedure> (*)();

template <class T>
TRef<TSLInternalProcedure> Make() {
    return TRef<TSLInternalProcedure>(MakeRef<T>());
}

struct TSystemEntry {
    std::string_view Name;
    TCreator Create; // nil: not part of this build
};

// The order of the System dictionary. Names without a creator belong to
// families of built-ins this build does not have yet; they are left out.
constexpr TSystemEntry SystemTable[] = {
    {"abort", &Make<TSLAbortProcedure>},
    {"abs", nullptr},
    {"add", &Make<TSLAddProcedure>},
    {"and", nullptr},
    {"assign", &Make<TSLAssignProcedure>},
    {"atan", nullptr},
    {"begin", &Make<TSLBeginProcedure>},
    {"beep", nullptr},
    {"carr", &Make<TSLCreateArrayProcedure>},
    {"case", &Make<TSLCaseProcedure>},
    {"ceil", nullptr},
    {"cdict", &Make<TSLCreateDictProcedure>},
    {"chdir", nullptr},
    {"chfileext", nullptr},
    {"chki", nullptr},
    {"chkr", nullptr},
    {"cnamespace", &Make<TSLCreateNamespaceProcedure>},
    {"chr", nullptr},
    {"cos", nullptr},
    {"count", &Make<TSLCountProcedure>},
    {"createdir", nullptr},
    {"crec", nullptr},
    {"currentdict", &Make<TSLCurrentdictProcedure>},
    {"cvi", nullptr},
    {"cvn", nullptr},
    {"cvr", nullptr},
    {"cvri", nullptr},
    {"cvrli", nullptr},
    {"cvrls", nullptr},
    {"cvrs", nullptr},
    {"cvs", nullptr},
    {"date", nullptr},
    {"datetime", nullptr},
    {"def", &Make<TSLDefProcedure>},
    {"del", nullptr},
    {"deletefile", nullptr},
    {"dict", &Make<TSLDictProcedure>},
    {"directoryexists", nullptr},
    {"div", nullptr},
    {"dup", &Make<TSLDupProcedure>},
    {"end", &Make<TSLEndProcedure>},
    {"eq", &Make<TSLEqProcedure>},
    {"exch", &Make<TSLExchProcedure>},
    {"exec", &Make<TSLExecProcedure>},
    {"exitblock", &Make<TSLExitBlockProcedure>},
    {"exitloop", &Make<TSLExitLoopProcedure>},
    {"exitproc", &Make<TSLExitProcProcedure>},
    {"exp", nullptr},
    {"extfileext", nullptr},
    {"extfilename", nullptr},
    {"extfilepath", nullptr},
    {"fileexist", nullptr},
    {"filegetattr", nullptr},
    {"filesearch", nullptr},
    {"floor", nullptr},
    {"for", &Make<TSLForProcedure>},
    {"forall", &Make<TSLForallProcedure>},
    {"forcedirectories", nullptr},
    {"ge", &Make<TSLGeProcedure>},
    {"get", &Make<TSLGetProcedure>},
    {"getcurrentdir", nullptr},
    {"getdir", nullptr},
    {"getdircontents", nullptr},
    {"getident", nullptr},
    {"getrectype", &Make<TSLGetRecordTypeProcedure>},
    {"getsubarr", nullptr},
    {"getsubstr", nullptr},
    {"gknown", &Make<TSLGKnownProcedure>},
    {"gt", &Make<TSLGtProcedure>},
    {"idiv", nullptr},
    {"if", &Make<TSLIfProcedure>},
    {"ifelse", &Make<TSLIfElseProcedure>},
    {"import", &Make<TSLImportProcedure>},
    {"index", &Make<TSLIndexProcedure>},
    {"ins", nullptr},
    {"inttoobj", nullptr},
    {"known", &Make<TSLKnownProcedure>},
    {"loadobj", nullptr},
    {"loadstoobj", nullptr},
    {"le", &Make<TSLLeProcedure>},
    {"length", nullptr},
    {"ln", nullptr},
    {"log2", nullptr},
    {"log10", nullptr},
    {"logx", nullptr},
    {"loop", &Make<TSLLoopProcedure>},
    {"lt", &Make<TSLLtProcedure>},
    {"mod", nullptr},
    {"msgdlg", nullptr},
    {"mul", &Make<TSLMulProcedure>},
    {"ne", &Make<TSLNeProcedure>},
    {"neg", nullptr},
    {"nknown", &Make<TSLNKnownProcedure>},
    {"not", nullptr},
    {"objtoint", nullptr},
    {"or", nullptr},
    {"ord", nullptr},
    {"pad", nullptr},
    {"padr", nullptr},
    {"pop", &Make<TSLPopProcedure>},
    {"power", nullptr},
    {"put", &Make<TSLPutProcedure>},
    {"puts", &Make<TSLPutsProcedure>},
    {"putsubarr", nullptr},
    {"putsubstr", nullptr},
    {"raise", &Make<TSLRaiseProcedure>},
    {"raisese", &Make<TSLRaiseSEProcedure>},
    {"removedir", nullptr},
    {"renamefile", nullptr},
    {"repeat", &Make<TSLRepeatProcedure>},
    {"round", nullptr},
    {"saveobj", nullptr},
    {"search", nullptr},
    {"setcurrentdir", nullptr},
    {"shl", nullptr},
    {"shr", nullptr},
    {"sin", nullptr},
    {"sqrt", nullptr},
    {"sub", &Make<TSLSubProcedure>},
    {"test", &Make<TSLTestProcedure>},
    {"time", nullptr},
    {"trunc", nullptr},
    {"tryexcept", &Make<TSLTryExceptProcedure>},
    {"tryfinally", &Make<TSLTryFinallyProcedure>},
    {"undef", &Make<TSLUndefProcedure>},
    {"uppercase", nullptr},
    {"wait", &Make<TSLWaitProcedure>},
    {"xor", nullptr},
};
static_assert(std::size(SystemTable) == 128, "the System dictionary holds 128 procedures");

} // namespace

const std::array<std::string_view, 128>& SLSystemProcedureNames() {
    static const std::array<std::string_view, 128> names = [] {
        std::array<std::string_view, 128> n{};
        for (std::size_t i = 0; i < n.size(); ++i) n[i] = SystemTable[i].Name;
        return n;
    }();
    return names;
}

TRef<TSLInternalProcedure> SLCreateSystemProcedure(std::string_view Name) {
    for (const TSystemEntry& e : SystemTable)
        if (e.Name == Name) return e.Create ? e.Create() : nullptr;
    return nullptr;
}

void CreateSystemProcedures(TSLDictionary* Dict) {
    Dict->SetCapacity(Dict->GetCount() + static_cast<int>(std::size(SystemTable)) + 2);
    for (const TSystemEntry& e : SystemTable)
        if (e.Create) Dict->AddObject(e.Name, e.Create().Get());
}

void CreateSystemValues(TSLDictionary* Dict) {
    Dict->AddObject("true", MakeRef<TSLBoolean>(true).Get());
    Dict->AddObject("false", MakeRef<TSLBoolean>(false).Get());
}

} // namespace vo
