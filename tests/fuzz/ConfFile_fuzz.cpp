// Fuzz target of configuration files (.vkc): the input, read as text
// notation, goes through the import's reading step on an offline device and
// on online devices of three user levels (every question answered Yes or OK,
// a typed password). The step either refuses the file with a message or
// takes items, never worse: an aborted read keeps no item, and every item
// taken has an interface that may import on that device for that user. The
// parameter trees the input names are checked against the sample drive's
// modules: compatible trees are source trees, in their order.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "devices/ConfXfer.h"
#include "devices/DevMan.h"
#include "kernel/ExeCtrl.h"
#include "kernel/MxTLib20.h"
#include "kernel/UserPrompt.h"
#include "platform/Exception.h"
#include "platform/MainLoop.h"
#include "storagelib/SL20Arr.h"
#include "storagelib/SL20Dic.h"
#include "storagelib/SL20Elm.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

using namespace vo;

class TYesPrompt : public TUserPrompt {
public:
    TModalResult Prompt(const TPromptRequest& R) override { return R.Buttons.Contains(TMsgDlgBtn::mbYes) ? mrYes : mrOk; }
};

class TQuietInterface : public TDataInterface {
public:
    TQuietInterface(MyAnsiString AType, TDataInterfacePermission Import, int32_t MinUser) : Type(std::move(AType)) {
        FCaption = Type;
        FImportPermission = Import;
        FMinUserPermissionImport = MinUser;
    }
    int GetTypeCount() override { return 1; }
    MyAnsiString GetTypeName(int) override { return Type; }
    int GetDataCount() override { return 0; }
    void Execute(TExecuteControl& C) override { C.FStatus = 0; }
    void GetDataInfo(int, TDataItem&) override {}
    MyAnsiString Type;
};

struct TTarget {
    TDevice* Device;
    std::unique_ptr<TConfigTransfer> Transfer;
};

struct TWorld {
    TRef<TSLObject> Profiles = fuzz::ReadText("[D /Profiles [D /Fuzz [D /Services [A ] ] ] ]", false);
    TDeviceManager Manager{dynamic_cast<TSLDictionary*>(Profiles.Get())};
    TQuietInterface Parameters{"Parameters", ipOnline | ipOffline, 1};
    TQuietInterface Variables{"Variables", ipOnline | ipOffline, 1};
    TQuietInterface Oscilloscope{"Oscilloscope", ipOnline, 1};
    TQuietInterface Curves{"Curves", ipOnline | ipOffline, 7};
    std::vector<TTarget> Targets;

    TWorld() {
        const struct {
            const char* User;
            TDeviceType Type;
        } kinds[] = {{"USER", dtOffline}, {"GUEST", dtOnline}, {"USER", dtOnline}, {"SERVICE", dtOnline}};
        int n = 0;
        for (const auto& k : kinds) {
            TDevice& d = Manager.CreateDevice("D" + std::to_string(++n), "Fuzz");
            d.SetStrVar("UserName", k.User);
            d.SetDeviceType(k.Type);
            auto t = std::make_unique<TConfigTransfer>(d);
            for (TDataInterface* i : {static_cast<TDataInterface*>(&Parameters), static_cast<TDataInterface*>(&Variables),
                                      static_cast<TDataInterface*>(&Oscilloscope), static_cast<TDataInterface*>(&Curves)})
                t->RegisterDataInterface(*i);
            Targets.push_back({&d, std::move(t)});
        }
    }
};

MyAnsiString TextOf(TSLObject* O) {
    auto* s = dynamic_cast<TSLString*>(O);
    return s ? s->GetStringValue() : MyAnsiString();
}

// Every "TreeName" text anywhere below the value (depth limited).
void CollectTrees(TSLObject* O, std::vector<MyAnsiString>& Out, int Depth) {
    if (!O || Depth > 8)
        return;
    if (auto* d = dynamic_cast<TSLDictionary*>(O)) {
        for (int i = 0; i < d->GetCount(); ++i) {
            if (d->GetNameAtIndex(i) == "TreeName") {
                const MyAnsiString t = TextOf(d->GetObjAtIndex(i));
                if (!t.empty())
                    Out.push_back(t);
            }
            CollectTrees(d->GetObjAtIndex(i), Out, Depth + 1);
        }
    } else if (auto* a = dynamic_cast<TSLArray*>(O)) {
        for (int i = 0; i < a->GetCount(); ++i)
            CollectTrees(a->GetObjAtIndex(i), Out, Depth + 1);
    }
}

void CheckTrees(TSLObject* Value, const std::string& Text) {
    std::vector<MyAnsiString> sources;
    CollectTrees(Value, sources, 0);
    const std::vector<MyAnsiString> modules = {"VxMotion_Std_V1S2", "VxIntf_Std_V1S1", "VxOS_Std_V1S0"};
    for (int permission : {3, 15}) {
        const TConfigTreeCheck r = CheckConfigTrees(sources, modules, permission);
        size_t at = 0;
        for (const MyAnsiString& c : r.Compatible) {
            while (at < sources.size() && sources[at] != c)
                ++at;
            if (at == sources.size())
                fuzz::Fail("a compatible tree that is no source tree (or out of order)", c + "\n" + Text);
            ++at;
        }
        if (r.Compatible.empty() && r.Newer)
            fuzz::Fail("newer without a compatible tree", Text);
    }
}

void CheckRead(TTarget& T, TSLDictionary* File, const std::string& Text) {
    TConfigTransfer& t = *T.Transfer;
    t.ReadConfiguration(File);
    if (t.FImportAborted && !t.DataItems().empty())
        fuzz::Fail("an aborted read keeps items", Text);
    const bool online = T.Device->DeviceType() == dtOnline;
    const int32_t permission = T.Device->GetUserPermission();
    for (const auto& item : t.DataItems()) {
        TDataInterface* i = t.GetInterfaceForType(item->GetTypeName());
        if (!i)
            fuzz::Fail("an item without interface taken", item->GetTypeName() + "\n" + Text);
        if (online && (!(i->FImportPermission & ipOnline) || permission < i->FMinUserPermissionImport))
            fuzz::Fail("an item the online user may not import taken", item->GetTypeName() + "\n" + Text);
        if (!online && !(i->FImportPermission & ipOffline))
            fuzz::Fail("an online-only item taken offline", item->GetTypeName() + "\n" + Text);
    }
    // Releases the items (and what they share with the input).
    t.ReadConfiguration(nullptr);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    static TYesPrompt prompt;
    static TUserPrompt* previous = SetUserPrompt(&prompt);
    (void)previous;
    static TConfigPasswordPrompt previousPassword = SetConfigPasswordPrompt([](const TConfigPasswordQuestion&, MyAnsiString& P) {
        P = "pw";
        return true;
    });
    static THeadlessPump pump;
    static TMxScheduler& scheduler = MxCreateMainScheduler(pump);
    (void)scheduler;
    static TWorld world;
    const std::string text(reinterpret_cast<const char*>(Data), Size);
    {
        fuzz::TObjectCountCheck counts;
        TRef<TSLObject> value;
        try {
            value = fuzz::ReadText(text, false);
        } catch (const std::exception&) {
            return 0;
        }
        CheckTrees(value.Get(), text);
        if (auto* file = dynamic_cast<TSLDictionary*>(value.Get()))
            for (TTarget& t : world.Targets)
                CheckRead(t, file, text);
        SLBreakReferenceCycles(value.Get());
    }
    return 0;
}
