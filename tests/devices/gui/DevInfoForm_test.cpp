// The device info view with a fake parameter service (offscreen): the
// identification rows in order, new values after an update pass, the object
// inspector following the selection, a double click selecting the parameter
// in the tree.
#include "devices/gui/DevInfoForm.h"

#include "devices/DevMan.h"
#include "devices/ParInfo.h"
#include "kernel/CsServices.h"
#include "kernel/PropList.h"
#include "kernel/TreeView.h"
#include "kernel/gui/PropEdit.h"
#include "storagelib/SL20Dec.h"
#include "tests/support/KernelFixtures.h"
#include "tests/support/QtTestApp.h"
#include "tests/support/ScriptedPrompt.h"

#include <QLineEdit>
#include <QTest>
#include <QTreeWidget>
#include <QWidget>

#include <gtest/gtest.h>

#include <map>
#include <memory>

namespace vo {
namespace {

struct FakeParameter : TObject, TParameterInfo {
    TParameterInfoKind kind = TParameterInfoKind::pkString;
    MyAnsiString caption, path, value, entry;
    bool valid = true;
    TPropertyList props;
    TParameterInfoKind InfoKind() const override { return kind; }
    MyAnsiString GetCaption() const override { return caption; }
    MyAnsiString GetPath() const override { return path; }
    MyAnsiString GetStrValue() const override {
        if (!valid)
            throw Exception("Parameter not valid");
        return value;
    }
    MyAnsiString SelectedEntryCaption() const override { return entry; }
    TObject* InspectedObject() override { return this; }
    TPropertyList* ParPropList() override { return &props; }
};

// The "ParameterService" of the tests.
class FakeParameterService : public TDeviceService, public TParameterInfoService {
public:
    FakeParameterService(TDevice& D, TSLDictionary* P) : TDeviceService(D, P) {}
    void StartUp(bool&) override { SetServiceStatus(dsStarted); }
    void ShutDown(bool&) override { SetServiceStatus(dsStopped); }
    void Kill() override {}
    TParameterInfo* FindInfoParameter(int32_t UPID) override {
        auto it = Pars.find(UPID);
        return it == Pars.end() ? nullptr : it->second.get();
    }
    TServiceProvider& InfoProvider() override { return Provider; }

    FakeParameter& Add(int32_t UPID, const char* Caption, const char* Value,
                       TParameterInfoKind Kind = TParameterInfoKind::pkString) {
        auto& p = *(Pars[UPID] = std::make_unique<FakeParameter>());
        p.caption = Caption;
        p.path = MyAnsiString("Identification\\") + Caption;
        p.value = p.entry = Value;
        p.kind = Kind;
        p.props.SetObjType("Parameter");
        return p;
    }
    std::map<int32_t, std::unique_ptr<FakeParameter>> Pars;
    TServiceProvider Provider{this, "Parameters"};
};

class DeviceInfoViewTest : public test::MainSchedulerFixture {
protected:
    void SetUp() override {
        MainSchedulerFixture::SetUp();
        Registry = SLDecodeString("[D /Profiles [D /Drive [D /DeviceType 'Online' ] ] /Par [D /Name 'ParameterService' ] ]");
        root = dynamic_cast<TSLDictionary*>(Registry.Get());
        Manager = std::make_unique<TDeviceManager>(root);
        Manager->RegisterServiceClass("ParameterService", DeviceServiceClass<FakeParameterService>());
        Inspector = std::make_unique<TPropertyInspector>();
        Panel = std::make_unique<QWidget>();
        PanelCtl = std::make_unique<TQtViewControl>(Panel.get());
    }
    void TearDown() override {
        if (View)
            View->HideView();
        Entries.reset();
        Inspector.reset();
        Manager.reset();
        MainSchedulerFixture::TearDown();
    }
    TDevice& NewDevice(bool WithParameters) {
        TDevice& d = Manager->CreateDevice("BOX1", "Drive");
        d.SetCaption("BOX1");
        d.SetStrVar("PortName", "COM1");
        d.SetStrVar("UserName", "USER");
        d.PropList().SetObjType("Device");
        if (WithParameters)
            Service = &dynamic_cast<FakeParameterService&>(d.CreateService("ParameterService", DictionaryAtPath(root, "Par")));
        d.Model().SetCaption(d.GetModelCaption());
        d.Model().SetData(&d);
        d.Model().SetView(&Factory);
        Manager->ModelManager().Root().AddChild(d.Model());
        TModelItem& pars = TModelItem::Create(Manager->ModelManager(), nullptr);
        pars.SetCaption("Parameters");
        d.Model().AddChild(pars);
        TModelItem& ident = TModelItem::Create(Manager->ModelManager(), nullptr);
        ident.SetCaption("Identification");
        pars.AddChild(ident);
        TModelItem& name = TModelItem::Create(Manager->ModelManager(), nullptr);
        name.SetCaption("Device Name");
        ident.AddChild(name);
        return d;
    }
    void Show(TDevice& D) {
        Entries = std::make_unique<TEntryManager>(Manager->ModelManager(), Tree);
        RunUntil([&] { return false; }, std::chrono::milliseconds(50));
        Entries->SetPathStr("Project:\\\\" + D.GetModelCaption());
        TEntryItem* entry = Entries->FindEntry(D.Model());
        ASSERT_NE(entry, nullptr);
        View = &dynamic_cast<TDeviceInfoForm&>(Factory.CreateView());
        View->Initialize(nullptr);
        View->ShowView(entry, PanelCtl.get(), nullptr, nullptr, {});
        Panel->resize(520, 300);
        Panel->show();
    }
    std::vector<std::pair<QString, QString>> Rows() const {
        std::vector<std::pair<QString, QString>> out;
        for (int i = 0; i < View->ListView->topLevelItemCount(); ++i)
            out.emplace_back(View->ListView->topLevelItem(i)->text(0), View->ListView->topLevelItem(i)->text(1));
        return out;
    }

    TRef<TSLObject> Registry;
    TSLDictionary* root = nullptr;
    std::unique_ptr<TDeviceManager> Manager;
    TDeviceInfoFormFactory Factory;
    std::unique_ptr<TPropertyInspector> Inspector;
    std::unique_ptr<QWidget> Panel;
    std::unique_ptr<TQtViewControl> PanelCtl;
    TTreeView Tree;
    std::unique_ptr<TEntryManager> Entries;
    TDeviceInfoForm* View = nullptr;
    FakeParameterService* Service = nullptr;
    test::TScriptedPromptScope Prompt;
};

TEST_F(DeviceInfoViewTest, IdentificationRowsInOrder) {
    TDevice& d = NewDevice(true);
    // Every identification parameter but 1000 and 1050; 1060 of another type;
    // 1120 a text not read yet; 1180 an enumeration without a matching entry.
    const int32_t present[] = {1240, 1180, 1120, 1060, 1040, 1010, 1020};
    for (int32_t upid : present)
        Service->Add(upid, ("Par" + std::to_string(upid)).c_str(), ("v" + std::to_string(upid)).c_str());
    Service->Pars[1060]->kind = TParameterInfoKind::pkOther;
    Service->Pars[1120]->valid = false;
    Service->Pars[1180]->kind = TParameterInfoKind::pkEnumDir16;
    Service->Pars[1180]->entry = "";
    Service->Pars[1240]->kind = TParameterInfoKind::pkEnumDir16;
    Service->Pars[1240]->entry = "Linear motor";
    Show(d);
    EXPECT_EQ(Rows(), (std::vector<std::pair<QString, QString>>{{"Par1020", "v1020"}, {"Par1010", "v1010"}, {"Par1040", "v1040"}, {"Par1120", ""}, {"Par1180", ""}, {"Par1240", "Linear motor"}}));
    EXPECT_TRUE(Inspector->IsAssignedTo(&d.PropList()));

    // A read changes a value: the update pass shows it.
    Service->Pars[1020]->value = "Axis 7";
    Service->Provider.BeginUpdate();
    Service->Provider.EndOfUpdate();
    ASSERT_TRUE(RunUntil([&] { return View->ListView->topLevelItem(0)->text(1) == "Axis 7"; }));

    // Selecting a row shows the parameter; double clicking selects it in the tree.
    Service->Pars[1020]->path = "Identification\\Device Name";
    View->ListView->setCurrentItem(View->ListView->topLevelItem(0));
    EXPECT_TRUE(Inspector->IsAssignedTo(&Service->Pars[1020]->props));
    emit View->ListView->itemDoubleClicked(View->ListView->topLevelItem(0), 0); // what a double click does
    EXPECT_EQ(Entries->GetPathStr(), "Project:\\\\" + d.GetModelCaption() + "\\Parameters\\Identification\\Device Name");

    View->HideView();
    EXPECT_EQ(View->ParameterService(), nullptr);
    EXPECT_EQ(Inspector->PropertyList(), nullptr);
    EXPECT_EQ(Service->Provider.GetClientCount(), 0);
}

TEST_F(DeviceInfoViewTest, ADeviceWithoutParameterService) {
    TDevice& d = NewDevice(false);
    Show(d);
    EXPECT_EQ(View->ListView->topLevelItemCount(), 0);
    EXPECT_EQ(View->ParameterService(), nullptr);
    EXPECT_TRUE(Inspector->IsAssignedTo(&d.PropList()));
    EXPECT_EQ(Inspector->ObjTypeEditBox.Edit->text(), "Device");
}

} // namespace
} // namespace vo
