#pragma once
// A drive tree of the test's own for the motor wizard, definition files in
// a temporary Motors folder, and a dialog that records what the manager asks
// of it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "kernel/LanguageMan.h"
#include "motorwizard/MotWizMan.h"
#include "motorwizard/WizTree.h"
#include "parameters/UniSrv.h"
#include "platform/Exception.h"
#include "storagelib/SL20Dic.h"
#include "tests/support/DataDir.h"
#include "tests/support/ScriptedPrompt.h"
#include "tests/support/TestShell.h"

namespace vo::test {

struct FakePar : TWizTreePar {
    TWizTreeKind kind = TWizTreeKind::tkInteger;
    std::int32_t upid = 0;
    MyAnsiString caption, path;
    std::int32_t uuid = 0;
    double defSI = 0, minSI = 0, maxSI = 0, valueSI = 0;
    std::int64_t defInt = 0, intValue = 0;
    MyAnsiString defStr, strValue;
    bool defBool = false, boolValue = false;
    std::vector<std::pair<std::int64_t, MyAnsiString>> children;
    bool refuse = false; // setters raise
    std::vector<MyAnsiString>* log = nullptr; // "set <upid> <value>", "modify <upid>"

    TWizTreeKind Kind() const override { return kind; }
    std::int32_t UPID() const override { return upid; }
    MyAnsiString Caption() const override { return caption; }
    MyAnsiString Path() const override { return path; }
    std::int32_t UnitUUID() const override { return uuid; }
    double DefaultSI() const override { return defSI; }
    double MinSI() const override { return minSI; }
    double MaxSI() const override { return maxSI; }
    double ValueSI() const override { return valueSI; }
    std::int64_t DefaultInt() const override { return defInt; }
    std::int64_t IntValue() const override { return intValue; }
    MyAnsiString DefaultStr() const override { return defStr; }
    MyAnsiString StrValue() const override { return strValue; }
    bool DefaultBool() const override { return defBool; }
    bool BoolValue() const override { return boolValue; }
    int ChildCount() const override { return static_cast<int>(children.size()); }
    std::int64_t ChildValue(int i) const override { return children.at(static_cast<std::size_t>(i)).first; }
    MyAnsiString ChildCaption(int i) const override { return children.at(static_cast<std::size_t>(i)).second; }

    void Record(const MyAnsiString& what) {
        if (refuse)
            throw Exception("value refused");
        if (log)
            log->push_back("set " + std::to_string(upid) + " " + what);
    }
    void SetScaledValue(const MyAnsiString& Text) override { Record(Text); }
    void SetIntValue(std::int64_t Value) override { Record(std::to_string(Value)); }
    void SetBoolValue(bool Value) override { Record(Value ? "true" : "false"); }
    void Modify() override {
        if (log)
            log->push_back("modify " + std::to_string(upid));
    }
};

struct FakeTree : TWizTree {
    std::map<std::int32_t, std::unique_ptr<FakePar>> pars;
    std::map<std::int32_t, TDeviceUnit> units;
    bool online = true;
    MyAnsiString ext = "adf";
    bool running = false;
    THandlers handlers;
    std::vector<MyAnsiString> log;

    FakeTree() {
        Integer(1370, 4);
        Integer(1371, 2);
    }

    FakePar& Add(std::int32_t upid, TWizTreeKind kind) {
        auto& p = pars[upid];
        p = std::make_unique<FakePar>();
        p->upid = upid;
        p->kind = kind;
        p->caption = "Par " + std::to_string(upid);
        p->path = "Motor\\Par " + std::to_string(upid);
        p->log = &log;
        return *p;
    }
    FakePar& Integer(std::int32_t upid, std::int64_t value) {
        FakePar& p = Add(upid, TWizTreeKind::tkInteger);
        p.intValue = value;
        p.valueSI = static_cast<double>(value);
        return p;
    }
    FakePar& String(std::int32_t upid, const MyAnsiString& value) {
        FakePar& p = Add(upid, TWizTreeKind::tkString);
        p.strValue = value;
        return p;
    }
    // A unit of scale Scale (SI per raw step) with the metric caption.
    void Unit(std::int32_t uuid, double siScale, const MyAnsiString& metricCaption, double metricScale);

    TWizTreePar* FindParameter(std::int32_t UPID) override {
        auto it = pars.find(UPID);
        return it == pars.end() ? nullptr : it->second.get();
    }
    const TDeviceUnit* FindUnit(std::int32_t UUID) const override {
        auto it = units.find(UUID);
        return it == units.end() ? nullptr : &it->second;
    }
    bool Online() const override { return online; }
    MyAnsiString ADFFileExt() const override { return ext; }
    void Bind(THandlers H) override { handlers = std::move(H); }
    bool GetRunning() const override { return running; }
    void RequestStatusTurn() override { log.push_back("status turn"); }
    void StopDevice() override { log.push_back("stop"); }
    void ReleaseStatus() override { log.push_back("status release"); }
    void DisconnectStatus() override { log.push_back("status disconnect"); }
    void RequestParameterTurn() override { log.push_back("parameter turn"); }
    void PrepareModify() override { log.push_back("prepare"); }
    void ExecuteModify() override { log.push_back("execute"); }
    void ReleaseParameter() override { log.push_back("parameter release"); }
};

inline void FakeTree::Unit(std::int32_t uuid, double siScale, const MyAnsiString& metricCaption, double metricScale) {
    TRef<TSLDictionary> d = MakeRef<TSLDictionary>();
    d->SetIntWithName("UUID", uuid);
    d->SetStrWithName("UnitName", "U" + std::to_string(uuid));
    d->SetStrWithName("SICaption", "si");
    d->SetFloatWithName("SIScale", siScale);
    d->SetFloatWithName("SIOffset", 0);
    d->SetStrWithName("MetricCaption", metricCaption);
    d->SetFloatWithName("MetricScale", metricScale);
    d->SetFloatWithName("MetricOffset", 0);
    d->SetStrWithName("ImperialCaption", "in");
    d->SetFloatWithName("ImperialScale", 1);
    d->SetFloatWithName("ImperialOffset", 0);
    units.emplace(uuid, TDeviceUnit(*d));
}

struct FakeDialog : TMotWizDialog {
    int partChoice = -1;
    std::vector<std::vector<MyAnsiString>> partLists;
    int closed = 0;
    std::vector<bool> busy;
    std::map<int, bool> finishChecks; // page -> answer of its finish check
    std::vector<std::string> refreshes; // "all", "page <n>" (visibility update)
    int ChoosePart(const std::vector<MyAnsiString>& Captions) override {
        partLists.push_back(Captions);
        return partChoice;
    }
    void CloseDialog() override { ++closed; }
    void SetBusy(bool B) override { busy.push_back(B); }
    void UpdateAll() override { refreshes.push_back("all"); }
    TWizardPageHandlers PageHandlers(int Page) override {
        TWizardPageHandlers h;
        h.UpdateVisibility = [this, Page] { refreshes.push_back("page " + std::to_string(Page)); };
        h.FinishCheck = [this, Page] {
            auto it = finishChecks.find(Page);
            return it == finishChecks.end() || it->second;
        };
        return h;
    }
};

// Writes text files below a temporary folder that is removed afterwards.
class TempFolder {
public:
    TempFolder() {
        char tmpl[] = "/tmp/motwiz-XXXXXX";
        root_ = mkdtemp(tmpl);
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }
    const std::filesystem::path& Root() const { return root_; }
    std::filesystem::path Write(const std::filesystem::path& rel, const std::string& text) const {
        const auto p = root_ / rel;
        std::filesystem::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary) << text;
        return p;
    }

private:
    std::filesystem::path root_;
};

// The head of a definition file that the fake firmware 4.2 accepts.
inline std::string AdfHead(int version = 21, const std::string& more = "/MinMCSubVersionR4 1") {
    return "/Type 'Actuator Definition File' /Version " + std::to_string(version) + " " + more + "\n";
}

inline void LoadLanguageTexts() {
    static bool done = false;
    if (!done)
        LanguageManager().InitWithFile(DataDir() + "/LanguageDef/LanguageDef.csv");
    done = true;
}

// A manager with the seven classes, a fake tree, a dialog, a Motors folder
// and a scripted prompt.
class WizardTest : public ::testing::Test {
protected:
    void SetUp() override {
        LoadLanguageTexts();
        RegisterWizardClasses(man);
        man.SetMotorsFolder(files.Root() / "Motors");
        man.SetDialog(&dialog);
    }
    // Writes Motors/<rel> with the head and Body inside one dictionary.
    std::filesystem::path Adf(const std::filesystem::path& rel, const std::string& body,
                              const std::string& head = AdfHead()) {
        return files.Write(std::filesystem::path("Motors") / rel, "[D " + head + body + "]\n");
    }
    bool Start(bool changeActuator = false) {
        man.FInitializing = !changeActuator;
        return man.Init(tree, changeActuator);
    }
    TWizParDouble& D(const char* n) { return dynamic_cast<TWizParDouble&>(*man.GetWizParWithName(n)); }
    TWizParEnum& E(const char* n) { return dynamic_cast<TWizParEnum&>(*man.GetWizParWithName(n)); }
    TWizParString& S(const char* n) { return dynamic_cast<TWizParString&>(*man.GetWizParWithName(n)); }

    TempFolder files;
    TestShell shell;
    TScriptedPromptScope prompt;
    FakeTree tree;
    FakeDialog dialog;
    TMotWizManager man;
};

} // namespace vo::test
