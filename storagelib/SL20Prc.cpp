#include "storagelib/SL20Prc.h"

#include <string>

#include "storagelib/SL20PrcCnv.h"
#include "storagelib/SL20PrcCol.h"
#include "storagelib/SL20PrcCtl.h"
#include "storagelib/SL20PrcFil.h"
#include "storagelib/SL20PrcNum.h"
#include "storagelib/SL20PrcStk.h"
#include "storagelib/SL20Rec.h"

namespace vo {

// ---------------------------------------------------------------- TSLPolymorphProcedure

namespace {
// Obj->InheritsFrom(Class), quick for the classes most handlers are for.
bool IsOfClass(const TSLObject& Obj, const TClassInfo& Class) noexcept {
    if (&Class == &TSLLongint::ClassInfo) return Obj.HasTrait(TSLObject::slLongint);
    if (&Class == &TSLDouble::ClassInfo) return Obj.HasTrait(TSLObject::slDouble);
    return Obj.InheritsFrom(Class);
}
} // namespace

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
    FOneDepth = ProcedureCount == 1 || FOneDepth == AIndex ? AIndex : -1;
    FLastClass = nullptr;
}

void TSLPolymorphProcedure::Execute(TSLContext* Context) {
    if (FLastClass) {
        // (The same operand the first entry examines, so a stack too shallow
        // fails here just as it would below.)
        const TSLObject* o = SLOperand(Context, FOneDepth);
        if (o && &o->ClassType() == FLastClass) {
            (this->*FLastProcedure)(Context);
            return;
        }
    }
    EnsureRegistered();
    const TSLObject* examined = nullptr;
    for (int i = 0; i < ProcedureCount; ++i) {
        const TProcEntry& e = ProcedureArray[static_cast<std::size_t>(i)];
        examined = SLOperand(Context, e.AIndex);
        if (examined && IsOfClass(*examined, *e.AClass)) {
            if (FOneDepth >= 0) {
                FLastClass = &examined->ClassType();
                FLastProcedure = e.AProcedure;
            }
            (this->*e.AProcedure)(Context);
            return;
        }
    }
    throw Exception("Procedure '" + std::string(ClassName()) + "' doesn't work on object with class " +
                    (examined ? examined->ClassName() : "nil"));
}

// ---------------------------------------------------------------- helpers

void SLPopOperandsSlow(TSLContext* Context, int N) {
    TStackInterface& ops = *Context->FOperandStackInterface;
    for (int i = 0; i < N; ++i) ops.Pop(false);
}

// ---------------------------------------------------------------- the System dictionary

namespace {

// A reference, not a pointer: an entry without a creator does not compile.
using TCreator = TRef<TSLInternalProcedure> (&)();

template <class T>
TRef<TSLInternalProcedure> Make() {
    return TRef<TSLInternalProcedure>(MakeRef<T>());
}

struct TSystemEntry {
    std::string_view Name;
    TCreator Create;
};

// The order of the System dictionary: every name once, each with its creator.
constexpr TSystemEntry SystemTable[] = {
    {"abort", Make<TSLAbortProcedure>},
    {"abs", Make<TSLAbsProcedure>},
    {"add", Make<TSLAddProcedure>},
    {"and", Make<TSLAndProcedure>},
    {"assign", Make<TSLAssignProcedure>},
    {"atan", Make<TSLAtanProcedure>},
    {"begin", Make<TSLBeginProcedure>},
    {"beep", Make<TSLBeepProcedure>},
    {"carr", Make<TSLCreateArrayProcedure>},
    {"case", Make<TSLCaseProcedure>},
    {"ceil", Make<TSLCeilProcedure>},
    {"cdict", Make<TSLCreateDictProcedure>},
    {"chdir", Make<TSLChDirProcedure>},
    {"chfileext", Make<TSLChFileExtProcedure>},
    {"chki", Make<TSLChkiProcedure>},
    {"chkr", Make<TSLChkrProcedure>},
    {"cnamespace", Make<TSLCreateNamespaceProcedure>},
    {"chr", Make<TSLChrProcedure>},
    {"cos", Make<TSLCosProcedure>},
    {"count", Make<TSLCountProcedure>},
    {"createdir", Make<TSLCreateDirProcedure>},
    {"crec", Make<TSLCreateRecordProcedure>},
    {"currentdict", Make<TSLCurrentdictProcedure>},
    {"cvi", Make<TSLCviProcedure>},
    {"cvn", Make<TSLCvnProcedure>},
    {"cvr", Make<TSLCvrProcedure>},
    {"cvri", Make<TSLCvriProcedure>},
    {"cvrli", Make<TSLCvrliProcedure>},
    {"cvrls", Make<TSLCvrlsProcedure>},
    {"cvrs", Make<TSLCvrsProcedure>},
    {"cvs", Make<TSLCvsProcedure>},
    {"date", Make<TSLDateProcedure>},
    {"datetime", Make<TSLDateTimeProcedure>},
    {"def", Make<TSLDefProcedure>},
    {"del", Make<TSLDelProcedure>},
    {"deletefile", Make<TSLDeleteFileProcedure>},
    {"dict", Make<TSLDictProcedure>},
    {"directoryexists", Make<TSLDirectoryExistsProcedure>},
    {"div", Make<TSLDivProcedure>},
    {"dup", Make<TSLDupProcedure>},
    {"end", Make<TSLEndProcedure>},
    {"eq", Make<TSLEqProcedure>},
    {"exch", Make<TSLExchProcedure>},
    {"exec", Make<TSLExecProcedure>},
    {"exitblock", Make<TSLExitBlockProcedure>},
    {"exitloop", Make<TSLExitLoopProcedure>},
    {"exitproc", Make<TSLExitProcProcedure>},
    {"exp", Make<TSLExpProcedure>},
    {"extfileext", Make<TSLExtFileExtProcedure>},
    {"extfilename", Make<TSLExtFileNameProcedure>},
    {"extfilepath", Make<TSLExtFilePathProcedure>},
    {"fileexist", Make<TSLFileExistProcedure>},
    {"filegetattr", Make<TSLFileGetAttrProcedure>},
    {"filesearch", Make<TSLFileSearchProcedure>},
    {"floor", Make<TSLFloorProcedure>},
    {"for", Make<TSLForProcedure>},
    {"forall", Make<TSLForallProcedure>},
    {"forcedirectories", Make<TSLForceDirectoriesProcedure>},
    {"ge", Make<TSLGeProcedure>},
    {"get", Make<TSLGetProcedure>},
    {"getcurrentdir", Make<TSLGetCurrentDirProcedure>},
    {"getdir", Make<TSLGetDirProcedure>},
    {"getdircontents", Make<TSLGetDirContentsProcedure>},
    {"getident", Make<TSLGetCompositeIdentProcedure>},
    {"getrectype", Make<TSLGetRecordTypeProcedure>},
    {"getsubarr", Make<TSLGetSubArrProcedure>},
    {"getsubstr", Make<TSLGetSubStrProcedure>},
    {"gknown", Make<TSLGKnownProcedure>},
    {"gt", Make<TSLGtProcedure>},
    {"idiv", Make<TSLIDivProcedure>},
    {"if", Make<TSLIfProcedure>},
    {"ifelse", Make<TSLIfElseProcedure>},
    {"import", Make<TSLImportProcedure>},
    {"index", Make<TSLIndexProcedure>},
    {"ins", Make<TSLInsertProcedure>},
    {"inttoobj", Make<TSLIntToObjProcedure>},
    {"known", Make<TSLKnownProcedure>},
    {"loadobj", Make<TSLLoadObjProcedure>},
    {"loadstoobj", Make<TSLLoadStoObjProcedure>},
    {"le", Make<TSLLeProcedure>},
    {"length", Make<TSLLengthProcedure>},
    {"ln", Make<TSLLnProcedure>},
    {"log2", Make<TSLLog2Procedure>},
    {"log10", Make<TSLLog10Procedure>},
    {"logx", Make<TSLLogXProcedure>},
    {"loop", Make<TSLLoopProcedure>},
    {"lt", Make<TSLLtProcedure>},
    {"mod", Make<TSLModProcedure>},
    {"msgdlg", Make<TSLMsgDlgProcedure>},
    {"mul", Make<TSLMulProcedure>},
    {"ne", Make<TSLNeProcedure>},
    {"neg", Make<TSLNegProcedure>},
    {"nknown", Make<TSLNKnownProcedure>},
    {"not", Make<TSLNotProcedure>},
    {"objtoint", Make<TSLObjToIntProcedure>},
    {"or", Make<TSLOrProcedure>},
    {"ord", Make<TSLOrdProcedure>},
    {"pad", Make<TSLPadProcedure>},
    {"padr", Make<TSLPadrProcedure>},
    {"pop", Make<TSLPopProcedure>},
    {"power", Make<TSLPowerProcedure>},
    {"put", Make<TSLPutProcedure>},
    {"puts", Make<TSLPutsProcedure>},
    {"putsubarr", Make<TSLPutSubArrProcedure>},
    {"putsubstr", Make<TSLPutSubStrProcedure>},
    {"raise", Make<TSLRaiseProcedure>},
    {"raisese", Make<TSLRaiseSEProcedure>},
    {"removedir", Make<TSLRemoveDirProcedure>},
    {"renamefile", Make<TSLRenameFileProcedure>},
    {"repeat", Make<TSLRepeatProcedure>},
    {"round", Make<TSLRoundProcedure>},
    {"saveobj", Make<TSLSaveObjProcedure>},
    {"search", Make<TSLSearchProcedure>},
    {"setcurrentdir", Make<TSLSetCurrentDirProcedure>},
    {"shl", Make<TSLShlProcedure>},
    {"shr", Make<TSLShrProcedure>},
    {"sin", Make<TSLSinProcedure>},
    {"sqrt", Make<TSLSqrtProcedure>},
    {"sub", Make<TSLSubProcedure>},
    {"test", Make<TSLTestProcedure>},
    {"time", Make<TSLTimeProcedure>},
    {"trunc", Make<TSLTruncProcedure>},
    {"tryexcept", Make<TSLTryExceptProcedure>},
    {"tryfinally", Make<TSLTryFinallyProcedure>},
    {"undef", Make<TSLUndefProcedure>},
    {"uppercase", Make<TSLUppercaseProcedure>},
    {"wait", Make<TSLWaitProcedure>},
    {"xor", Make<TSLXorProcedure>},
};
static_assert(std::size(SystemTable) == 128, "the System dictionary holds 128 procedures");

// Checked when the table is compiled: every entry has a name, and no name is
// given twice (every entry has a creator by its type).
consteval bool SystemTableIsComplete() {
    for (std::size_t i = 0; i < std::size(SystemTable); ++i) {
        if (SystemTable[i].Name.empty())
            return false;
        for (std::size_t j = 0; j < i; ++j)
            if (SystemTable[j].Name == SystemTable[i].Name)
                return false;
    }
    return true;
}
static_assert(SystemTableIsComplete(), "every System procedure has a name of its own");

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
        if (e.Name == Name) return e.Create();
    return nullptr;
}

void CreateSystemProcedures(TSLDictionary* Dict) {
    Dict->SetCapacity(Dict->GetCount() + static_cast<int>(std::size(SystemTable)) + 2);
    for (const TSystemEntry& e : SystemTable)
        Dict->AddObject(e.Name, e.Create().Get());
}

void CreateSystemValues(TSLDictionary* Dict) {
    Dict->AddObject("true", MakeRef<TSLBoolean>(true).Get());
    Dict->AddObject("false", MakeRef<TSLBoolean>(false).Get());
}

} // namespace vo
