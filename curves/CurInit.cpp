#include "curves/CurInit.h"

#include <memory>

#include "curves/CurWizar.h"
#include "curves/Curve.h"
#include "curves/ocCCrMan.h"
#include "curves/ocCntMan.h"
#include "curves/ocObjCnt.h"
#include "kernel/UserPrompt.h"
#include "platform/Exception.h"
#include "storagelib/SL20Arr.h"
#include "storagelib/SL20Dic.h"
#include "storagelib/SL20Sto.h"

namespace vo {

void InitDataObjectManagers() {
    static std::unique_ptr<TObjCntManager> objCnt;
    static std::unique_ptr<TZezDataTypeList> types;
    objCnt = std::make_unique<TObjCntManager>();
    SetObjCntManager(objCnt.get());
    // The object loader manager joins here with the curve service.
    types = std::make_unique<TZezDataTypeList>();
    SetZezDataTypeList(types.get());
    types->RegisterZezDataTypeClass(TCurve::DataTypeClass());
}

void InitCurveManager() { LoadCurveManager(CurveTypesFile, CurveInfoFile); }

void DeferCurveManager() {
    SetCurveManagerLoader([] { InitCurveManager(); });
}

void LoadCurveManager(const MyAnsiString& TypesFile, const MyAnsiString& InfoFile) {
    static std::unique_ptr<TCurveManager> manager;
    SetCurveManager(nullptr);
    manager = std::make_unique<TCurveManager>();
    SetCurveManager(manager.get());
    // The types file is read once for the generators and the types; a read
    // error is shown once and leaves generators without entries and no types.
    TRef<TSLObject> file;
    try {
        TStorageManager* storage = StorageManager();
        if (!storage) throw Exception("TCurveManager.RegisterCurveType: no storage manager");
        TRef<TSLStorageObject> o = storage->GetObject(TypesFile, saRead);
        o->Read();
        file = o->GetData();
        if (!dynamic_cast<TSLDictionary*>(file.Get())) throw EInvalidCast();
    } catch (const std::exception& e) {
        file.Reset();
        ShowMessage(e.what());
    }
    const TSLDictionary* f = static_cast<const TSLDictionary*>(file.Get());
    TCurveManager& m = *manager;
    m.RegisterCurveWizard(std::make_unique<TSineWizard>(f, "SinPosTime"));
    m.RegisterCurveWizard(std::make_unique<TPToPWizard>(f, "VAPosTime"));
    m.RegisterCurveWizard(std::make_unique<TMinJerkWizard>(f, "MinJerkPosTime"));
    m.RegisterCurveWizard(std::make_unique<TLimitJerkWizard>(f, "LimitJerkPosTime"));
    m.RegisterCurveWizard(std::make_unique<TStandstillWizard>(f, "StandstillPosTime"));
    m.RegisterCurveWizard(std::make_unique<TManualWizard>(f, "FromFileTime"));
    m.RegisterCurveWizard(std::make_unique<TManualWizard>(f, "ManualTime"));
    m.RegisterCurveWizard(std::make_unique<TSinPosIncWizard>(f, "SinPosInc"));
    m.RegisterCurveWizard(std::make_unique<TMinJerkPosIncWizard>(f, "MinJerkPosInc"));
    m.RegisterCurveWizard(std::make_unique<TStandstillPosIncWizard>(f, "StandstillPosInc"));
    m.RegisterCurveWizard(std::make_unique<TVALengthPosIncWizard>(f, "VALengthPosInc"));
    m.RegisterCurveWizard(std::make_unique<TConvSyncPosIncWizard>(f, "ConvSyncPosInc"));
    m.RegisterCurveWizard(std::make_unique<TManualWizard>(f, "FromFileInc"));
    m.RegisterCurveWizard(std::make_unique<TManualPosIncWizard>(f, "ManualInc"));
    if (f) {
        try {
            auto* types = dynamic_cast<TSLArray*>(f->GetObjWithName("CurveTypeArray"));
            if (!types) throw EInvalidCast();
            m.SetCurveTypes(types);
        } catch (const std::exception& e) {
            ShowMessage(e.what());
        }
    }
    m.Init(InfoFile);
}

} // namespace vo
