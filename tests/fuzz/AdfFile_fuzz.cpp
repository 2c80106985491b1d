// Fuzz target of actuator definition files: any input read as text notation
// is taken as a definition file and run on a small drive tree (integers with
// a unit, the three radio kinds, a string, a Boolean, the firmware version
// 4.2): items, pages, starting values, the rules and the change list. Bad
// structures end in exceptions; what loads keeps its rules: pages in order of
// their position, entries found by their own value, the change list only of
// parameters the drive has. No crash, no leak, no hang.
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "kernel/UserPrompt.h"
#include "motorwizard/MotWizMan.h"
#include "motorwizard/WizTree.h"
#include "parameters/UniSrv.h"
#include "storagelib/SL20Dic.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

using namespace vo;

class TSilentPrompt : public TUserPrompt {
public:
    TModalResult Prompt(const TPromptRequest&) override { return mrNo; }
};

struct TPar : TWizTreePar {
    TWizTreeKind kind;
    std::int32_t upid;
    TPar(TWizTreeKind k, std::int32_t u) : kind(k), upid(u) {}
    TWizTreeKind Kind() const override { return kind; }
    std::int32_t UPID() const override { return upid; }
    MyAnsiString Caption() const override { return "P"; }
    MyAnsiString Path() const override { return "M\\P"; }
    std::int32_t UnitUUID() const override { return upid % 3; }
    double MaxSI() const override { return 10; }
    double ValueSI() const override { return 0.25; }
    std::int64_t DefaultInt() const override { return 1; }
    std::int64_t IntValue() const override { return upid == 1370 ? 4 : upid == 1371 ? 2
                                                                                    : 3; }
    MyAnsiString StrValue() const override { return "LM"; }
    int ChildCount() const override { return kind == TWizTreeKind::tkInteger ? 0 : 3; }
    std::int64_t ChildValue(int i) const override { return i - 1; }
    MyAnsiString ChildCaption(int i) const override { return "C" + std::to_string(i); }
    void SetScaledValue(const MyAnsiString&) override {}
    void SetIntValue(std::int64_t) override {}
    void SetBoolValue(bool) override {}
    void Modify() override {}
};

struct TTree : TWizTree {
    std::map<std::int32_t, std::unique_ptr<TPar>> pars;
    TTree() {
        const std::pair<std::int32_t, TWizTreeKind> list[] = {
            {1370, TWizTreeKind::tkInteger}, {1371, TWizTreeKind::tkInteger}, {6220, TWizTreeKind::tkString}, {6253, TWizTreeKind::tkInteger}, {6254, TWizTreeKind::tkInteger}, {1, TWizTreeKind::tkInteger}, {2, TWizTreeKind::tkRadio16}, {3, TWizTreeKind::tkRadio32}, {4, TWizTreeKind::tkRadioBit}, {5, TWizTreeKind::tkString}, {6, TWizTreeKind::tkBoolean}, {7, TWizTreeKind::tkOther}};
        for (auto [u, k] : list) pars[u] = std::make_unique<TPar>(k, u);
    }
    TWizTreePar* FindParameter(std::int32_t U) override {
        auto it = pars.find(U);
        return it == pars.end() ? nullptr : it->second.get();
    }
    const TDeviceUnit* FindUnit(std::int32_t) const override { return nullptr; }
    bool Online() const override { return true; }
    MyAnsiString ADFFileExt() const override { return "adf"; }
    void Bind(THandlers) override {}
    bool GetRunning() const override { return false; }
    void RequestStatusTurn() override {}
    void StopDevice() override {}
    void ReleaseStatus() override {}
    void DisconnectStatus() override {}
    void RequestParameterTurn() override {}
    void PrepareModify() override {}
    void ExecuteModify() override {}
    void ReleaseParameter() override {}
};

void Check(TMotWizManager& M, const std::string& Text) {
    for (int i = 0; i < M.GetPageCount(); ++i)
        if (M.GetWizardPage(i).FPagePos != i)
            fuzz::Fail("a page's position is not its place in the list", Text);
    for (int i = 0; i < M.GetWizParCount(); ++i)
        if (auto* e = dynamic_cast<TWizParEnum*>(&M.GetWizParAtIndex(i)))
            for (int k = 0; k < e->GetENumDefCount(); ++k) {
                const int found = e->GetItemIndex(e->GetValueAt(k));
                if (found < 0 || found > k)
                    fuzz::Fail("an entry is not found by its own value", Text);
            }
    M.BuildChangesList();
    for (int i = 0; i < M.GetChangedWizParCount(); ++i)
        if (!M.GetChangedWizParAtIndex(i).FFoundInTree)
            fuzz::Fail("the change list holds a parameter the drive lacks", Text);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    static TSilentPrompt prompt;
    SetUserPrompt(&prompt);
    const std::string text(reinterpret_cast<const char*>(Data), Size);
    TRef<TSLDictionary> dict;
    try {
        dict = ReadADFText(text);
    } catch (const std::exception&) {
        return 0;
    }
    TTree tree;
    TMotWizManager man;
    RegisterWizardClasses(man);
    for (bool change : {false, true}) {
        try {
            man.FInitializing = !change;
            if (man.InitWithDefinition(tree, *dict, "Fuzz", change))
                Check(man, text);
        } catch (const std::exception&) {
        }
    }
    man.ReleaseTree();
    return 0;
}
