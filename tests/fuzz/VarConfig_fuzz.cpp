// Fuzz target of the variables of a configuration file: the input, read as
// text notation, is one "Variables" item (its "Info"."Name" picks the section,
// "Items" holds the entries) restored into a fresh variable service with a
// user-defined section and a section of the module descriptions. Whatever
// the entries, a restore either takes them or stops with an error, never
// worse: the provider's update bracket is closed again, the description's
// section keeps exactly its variables and UPIDs, every cache keeps its data
// length (a text stays within its maximum size), and every section can be saved again as text that reads back.
// No crash, no leak.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>

#include "devices/DevMan.h"
#include "kernel/CsServices.h"
#include "kernel/MxTLib20.h"
#include "parameters/varDatIntf.h"
#include "parameters/varService.h"
#include "platform/MainLoop.h"
#include "storagelib/SL20Dic.h"
#include "storagelib/SL20Elm.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

using namespace vo;

struct TWorld {
    TRef<TSLObject> Profiles = fuzz::ReadText("[D /Profiles [D /Fuzz [D /Services [A ] ] ] ]", false);
    TDeviceManager Manager{dynamic_cast<TSLDictionary*>(Profiles.Get())};
    TDevice& Device = Manager.CreateDevice("D1", "Fuzz");
    TWorld() {
        Device.SetStrVar("UserName", "USER");
        if (VariableManager().GetClassCount() == 0)
            RegisterVariableClasses(VariableManager());
    }
};

struct TSystemVar {
    const char* Type;
    std::int32_t Master;
    std::int32_t DeviceUPID;
};
constexpr TSystemVar SystemVars[] = {{"SInt32", 8205, 8305}, {"UInt8", 8200, 8200}, {"String", 8213, 8213}};

void Fill(TVariableService& S) {
    TDirItem& user = S.CreateDir("User Defined", "User Defined", 255, true);
    user.CreateVar("", "Mine", "UInt16", -1, vstUserDefined).SetAddrStr("1234");
    TDirItem& motion = S.CreateDir("8192", "Motion", 65, false);
    for (const TSystemVar& v : SystemVars) {
        TRef<TSLDictionary> conf = MakeRef<TSLDictionary>();
        conf->SetIntWithName("UPID", v.Master);
        conf->SetIntWithName("DEVICE_UPID", v.DeviceUPID);
        conf->SetStrWithName("Caption", std::to_string(v.Master));
        conf->SetIntWithName("MaxSize", 16);
        motion.CreateVar(std::to_string(v.Master), std::to_string(v.Master), v.Type, -1, vstSystem).SetConfig(*conf);
    }
}

void Check(TVariableService& S, const std::string& Text) {
    if (S.Provider().UpdateLockCounter() != 0)
        fuzz::Fail("the update bracket stayed open", Text);
    TDirItem* motion = S.FindDir("8192");
    if (!motion || motion->GetCount() != 3)
        fuzz::Fail("the description's section changed its variables", Text);
    for (int i = 0; i < 3; ++i) {
        const TVarItem& v = motion->GetVarItem(i);
        if (v.MasterUPID() != SystemVars[i].Master || v.DeviceUPID() != SystemVars[i].DeviceUPID)
            fuzz::Fail("a description variable changed its UPIDs", Text);
    }
    TVarConfigDefs defs;
    for (int d = 0; d < S.DirCount(); ++d) {
        const TDirItem& dir = S.GetDirItem(d);
        for (int i = 0; i < dir.GetCount(); ++i) {
            const TVarItem& v = dir.GetVarItem(i);
            const auto size = static_cast<std::int64_t>(v.GetDataCache().size());
            if (dynamic_cast<const TStringVarItem*>(&v) ? size > v.MaxSize() : size != v.Size())
                fuzz::Fail("a cache lost its data length", Text);
        }
        TRef<TSLDictionary> item = MakeRef<TSLDictionary>();
        try {
            SaveVarSection(&dir, *item, defs);
        } catch (const std::exception&) {
            continue; // a variable refused to give its record: said clearly
        }
        const std::string written = fuzz::WriteText(item.Get());
        try {
            fuzz::ReadText(written, false);
        } catch (const std::exception& e) {
            fuzz::Fail("a saved section does not read back", written + "\n" + e.what() + "\n" + Text);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    static THeadlessPump pump;
    static TMxScheduler& scheduler = MxCreateMainScheduler(pump);
    (void)scheduler;
    static TWorld* world = new TWorld();
    const std::string text(reinterpret_cast<const char*>(Data), Size);
    fuzz::TObjectCountCheck counts;
    TRef<TSLObject> value;
    try {
        value = fuzz::ReadText(text, false);
    } catch (const std::exception&) {
        return 0;
    }
    if (auto* item = dynamic_cast<TSLDictionary*>(value.Get())) {
        auto service = std::make_unique<TVariableService>(world->Device, nullptr);
        Fill(*service);
        MyAnsiString name = "Motion";
        if (auto* info = dynamic_cast<TSLDictionary*>(item->FindObjWithName("Info")))
            if (auto* n = dynamic_cast<TSLString*>(info->FindObjWithName("Name")))
                name = n->GetStringValue();
        try {
            RestoreVarSection(*service, name, *item);
        } catch (const std::exception&) {
            // refused with an error; what came in before stays
        }
        Check(*service, text);
        service.reset();
    }
    SLBreakReferenceCycles(value.Get());
    value.Reset();
    return 0;
}
