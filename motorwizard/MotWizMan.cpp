#include "motorwizard/MotWizMan.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>

#include "kernel/AnsiText.h"
#include "kernel/Debug.h"
#include "kernel/LanguageMan.h"
#include "kernel/ShellServices.h"
#include "kernel/UserPrompt.h"
#include "motorwizard/WizSrvTree.h"
#include "motorwizard/WizTree.h"
#include "parameters/UniSrv.h"
#include "platform/Exception.h"
#include "platform/FileNames.h"
#include "storagelib/SL20Arr.h"
#include "storagelib/SL20Dec.h"
#include "storagelib/SL20Dic.h"
#include "storagelib/SL20Sto.h"
#include "storagelib/SL20Elm.h"
#include "storagelib/SL20Str.h"

namespace vo {

TTimeConstant MotWizStopTimeout{"MotorWizard.StopTimeout", 10000};

namespace {

TMotWizManager* GManager = nullptr;

struct TPageRow {
    const char* Caption;
    bool Update;
    bool Finish;
};

// Caption keyword per page number; whether the dialog has a visibility
// update and a finish check for it.
constexpr TPageRow PageTable[WizardPageCount] = {
    {"Actuator_Selection", true, true},
    {"Motor_Cooling", true, false},
    {"Extension_Cables", true, false},
    {"External_Position_Sensor_System", true, false},
    {"Load_Feed_Forward", true, false},
    {"Position_Controller", true, false},
    {"Homing_Settings1", true, false},
    {"Homing_Settings2", true, false},
    {"Homing_Settings3", true, false},
    {"Actuator_Selection", false, false},
    {"Extension_Cables", false, false},
    {"Position_Feedback", true, false},
    {"Position_Feedback", true, false},
    {"Homing_Settings2", false, false},
    {"Actuator_Selection", true, true},
    {"Load_Feed_Forward", true, false},
    {"Homing_Settings", true, true},
    {"Actuator_Selection", true, true},
    {"Actuator_Selection", true, true},
    {"Controller_Settings", true, true},
    {"DC_Motor_Settings", true, true},
};

// Procedure name -> the method it runs; "" runs nothing.
constexpr std::pair<const char*, const char*> ProcedureTable[] = {
    {"CalculateMotorProperty", "CalculateMotorProperty"},
    {"CalculateMotorPropertyK52", "CalculateMotorPropertyK52"},
    {"CalculateMotorPropertyTolvar", "CalculateMotorPropertyTolvar"},
    {"CalculateMotorPropertyLinRot", "CalculateMotorPropertyLinRot"},
    {"CalculateMotorPropertyLinRotG2", "CalculateMotorPropertyLinRotG2"},
    {"CalculateStrokeRangeLinRotG2", "CalculateStrokeRangeLinRotG2"},
    {"CalculateMotorProperty_Brenno", "CalculateMotorProperty_Brenno"},
    {"BuildModuleActuatorName", "BuildModuleActuatorName"},
    {"CalculateCableResistance", "CalculateCableResistance"},
    {"CalculateCableResistance_Brenno", "CalculateCableResistance_Brenno"},
    {"CalculateFFValues", "CalculateFFValues"},
    {"CalculateFFValues_Brenno", "CalculateFFValues"},
    {"CalculateControlParameters", "CalculateControlParameters"},
    {"CalculateControlParameters_Brenno", "CalculateControlParameters"},
    {"ChangeExtSensorType", "ChangeExtSensorType"},
    {"SetDistanceA", "SetDistanceA"},
    {"SetDistanceB", "SetDistanceB"},
    {"SetDistanceAK52", "SetDistanceAK52"},
    {"SetDistanceBK52", "SetDistanceBK52"},
    {"SetDistanceALinRotG2", "SetDistanceALinRotG2"},
    {"SetDistanceBLinRotG2", "SetDistanceBLinRotG2"},
    {"SetDistanceA_Brenno", "SetDistanceA"},
    {"SetDistanceB_Brenno", "SetDistanceB"},
    {"CalculateStrokeRange", "CalculateStrokeRange"},
    {"CalculateStrokeRangeK52", "CalculateStrokeRangeK52"},
    {"CalculateModuleStrokeRange", "CalculateModuleStrokeRange"},
    {"CalculateStrokeRange_Brenno", "CalculateStrokeRange_Brenno"},
    {"CalculateECMotorTypeAProperty", "CalculateECMotorTypeAProperty"},
    {"CalculateECMotorTypeBProperty", "CalculateECMotorTypeBProperty"},
    {"Calculate3PhCableResistance", "Calculate3PhCableResistance"},
    {"ChangeECMotorCountDirection", "ChangeECMotorCountDirection"},
    {"SetExtSensor_Resolution2", "SetExtSensor_Resolution2"},
    {"SetFBOnX3PeriodLength", "SetFBOnX3PeriodLength"},
    {"LinRotUpdatePageVisibility", "LinRotUpdatePageVisibility"},
    {"CalculateDCMotorProperty", "CalculateDCMotorProperty"},
    {"Calculate1PhCableResistance", "Calculate1PhCableResistance"},
    {"CalculateDCMotForceConstant", ""},
    {"CalculateDCMotTempModelPar", ""},
};

MyAnsiString Upper(const MyAnsiString& S) {
    MyAnsiString u = S;
    for (char& c : u)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return u;
}

template <class List>
auto FindNamed(const List& L, const MyAnsiString& Name) -> decltype(&*L.begin()) {
    for (const auto& e : L)
        if (ansi::SameText(e.first, Name))
            return &e;
    return nullptr;
}

// The nearest integer, a half to the even neighbour.
std::int64_t RoundEven(double V) {
    const double r = std::nearbyint(V);
    return static_cast<std::int64_t>(r);
}

std::int64_t RadioWrite(TWizTreeKind Kind, std::int64_t V) {
    switch (Kind) {
    case TWizTreeKind::tkRadio16:
        return V & 0xFFFF;
    case TWizTreeKind::tkRadio32:
        return static_cast<std::int32_t>(V);
    default:
        return V;
    }
}

} // namespace

TRef<TSLDictionary> ReadADFText(const std::string& Text) {
    static TRef<TSLStreamDecoder> decoder = TSLStreamDecoder::CreateStandard();
    TRef<TSLStringStream> s = MakeRef<TSLStringStream>();
    s->SetBuffer(Text);
    TRef<TSLLookaheadStream> look = MakeRef<TSLLookaheadStream>(s.Get());
    TRef<TSLObject> o = decoder->ReadSingleObjectRef(look.Get(), false);
    auto* d = dynamic_cast<TSLDictionary*>(o.Get());
    if (!d) {
        SLBreakReferenceCycles(o.Get()); // what was read may refer back to itself
        throw Exception("an actuator definition file holds one dictionary");
    }
    return TRef<TSLDictionary>(d);
}

MyAnsiString TWizardPage::GetPageCaption() const {
    return LanguageDependentCaption ? LangText(FPageCaptionKeyWord) : FPageCaption;
}

TMotWizManager::TMotWizManager() {
    for (const auto& [name, method] : ProcedureTable) ProcedureList.push_back({name, TWizProcedure{method}});
    RegisterProcedures();
    InitPages();
}

TMotWizManager::~TMotWizManager() { ReleaseTree(); }

void TMotWizManager::ReleaseTree() {
    if (FTree)
        FTree->Bind({});
    FTree = nullptr;
    FOwnTree.reset();
    FWorkState = TWizWorkState::wsReady;
}

void TMotWizManager::RegisterWizParClass(const MyAnsiString& AName, TWizParClass AClass) {
    WizParClassList.push_back({AName, AClass});
}

void TMotWizManager::RegisterWizValClass(const MyAnsiString& AName, TWizValClass AClass) {
    WizValClassList.push_back({AName, AClass});
}

TWizParClass TMotWizManager::GetWizParClass(const MyAnsiString& AName) const {
    const auto* e = FindNamed(WizParClassList, AName);
    return e ? e->second : nullptr;
}

TWizValClass TMotWizManager::GetWizValClass(const MyAnsiString& AName) const {
    const auto* e = FindNamed(WizValClassList, AName);
    return e ? e->second : nullptr;
}

void TMotWizManager::SetDialog(TMotWizDialog* Dialog) {
    FDialog = Dialog;
    for (int i = 0; i < WizardPageCount; ++i) {
        TWizardPage& p = *CompleteWizardPageList[static_cast<std::size_t>(i)];
        const TWizardPageHandlers h = FDialog ? FDialog->PageHandlers(i) : TWizardPageHandlers{};
        p.InitPage = h.InitPage;
        p.UpdateVisibility = PageTable[i].Update ? h.UpdateVisibility : TPageHandler{};
        p.FinishCheck = PageTable[i].Finish ? h.FinishCheck : TPageCheck{};
    }
}

std::filesystem::path TMotWizManager::MotorsFolder() const {
    if (!FMotorsFolder.empty())
        return FMotorsFolder;
    MyAnsiString dir;
    if (TStorageManager* s = StorageManager())
        dir = s->GetProgramDir();
    return StoredPathToRealPath(dir + "Motors");
}

void TMotWizManager::InitPages() {
    FPageIndex = 0;
    ActualWizardPageList.clear();
    CompleteWizardPageList.clear();
    for (int i = 0; i < WizardPageCount; ++i) {
        auto p = std::make_unique<TWizardPage>();
        p->FPageCaptionKeyWord = PageTable[i].Caption;
        p->FPage = i;
        CompleteWizardPageList.push_back(std::move(p));
    }
    SetDialog(FDialog);
}

TWizardPage& TMotWizManager::GetWizardPage(int Index) const {
    if (Index < 0 || Index >= GetPageCount())
        throw Exception("List index out of bounds (" + std::to_string(Index) + ")");
    return *ActualWizardPageList[static_cast<std::size_t>(Index)];
}

void TMotWizManager::SelectNextPage() {
    if (FPageIndex < GetPageCount() - 1)
        ++FPageIndex;
}

void TMotWizManager::SelectPreviousPage() {
    if (FPageIndex > 0)
        --FPageIndex;
}

bool TMotWizManager::GetNextEnable() const {
    if (FPageIndex >= GetPageCount() - 1)
        return false;
    const TWizardPage& p = GetWizardPage(FPageIndex);
    return !p.FinishCheck || p.FinishCheck();
}

bool TMotWizManager::GetFinishEnable() {
    if (FPageIndex == GetPageCount() - 1)
        FLastPageVisited = true;
    if (!FLastPageVisited)
        return false;
    for (const auto& w : WizParList)
        if (w->FErrorFlag)
            return false;
    for (const auto& v : WizValList)
        if (v.second->FErrorFlag)
            return false;
    if (FPageIndex >= 0 && FPageIndex < GetPageCount()) {
        const TWizardPage& p = GetWizardPage(FPageIndex);
        if (p.FinishCheck && !p.FinishCheck())
            return false;
    }
    return true;
}

TWizardParameter* TMotWizManager::GetWizParWithName(const MyAnsiString& AName) const {
    for (const auto& w : WizParList)
        if (ansi::SameText(w->FName, AName))
            return w.get();
    return nullptr;
}

TWizardValue* TMotWizManager::GetWizValWithName(const MyAnsiString& AName) const {
    const auto* e = FindNamed(WizValList, AName);
    return e ? e->second.get() : nullptr;
}

const TWizProcedure* TMotWizManager::FindProcedure(const MyAnsiString& AName) const {
    const auto* e = FindNamed(ProcedureList, AName);
    return e ? &e->second : nullptr;
}

void TMotWizManager::SetProcedureMethod(const MyAnsiString& AMethod, std::function<void()> Body) {
    for (auto& m : FMethods)
        if (ansi::SameText(m.first, AMethod)) {
            m.second = std::move(Body);
            return;
        }
    FMethods.push_back({AMethod, std::move(Body)});
}

bool TMotWizManager::ProcedureHasBody(const MyAnsiString& AName) const {
    const TWizProcedure* p = FindProcedure(AName);
    if (!p || p->FMethod.empty())
        return false;
    const auto* m = FindNamed(FMethods, p->FMethod);
    return m && m->second;
}

void TMotWizManager::RunProcedure(const MyAnsiString& AName) {
    const TWizProcedure* p = FindProcedure(AName);
    if (!p || p->FMethod.empty())
        return;
    const auto* m = FindNamed(FMethods, p->FMethod);
    if (m && m->second)
        m->second();
}

const TDeviceUnit* TMotWizManager::FindUnit(std::int32_t UUID) const {
    const TDeviceUnit* u = FTree ? FTree->FindUnit(UUID) : nullptr;
    return u ? u : &IdentityDeviceUnit();
}

void TMotWizManager::Error(const MyAnsiString& Text) {
    FErrorLines.push_back(Text);
    LogError("Motor wizard: " + Text);
}

// ---- Finding and checking definition files -------------------------------

TRef<TSLDictionary> TMotWizManager::ReadADFFile(const std::filesystem::path& Path) const {
    std::ifstream in(Path, std::ios::binary);
    if (!in)
        throw Exception("Cannot open file \"" + RealPathToStored(Path) + "\"");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    try {
        return ReadADFText(text);
    } catch (const std::exception& e) {
        throw Exception(RealPathToStored(Path) + ": " + e.what());
    }
}

bool TMotWizManager::CheckForFirmwareCompatibility(const TSLDictionary& Dict) {
    const auto* type = Dict.FindObjWithName("Type");
    const auto* version = Dict.FindObjWithName("Version");
    const auto* typeStr = dynamic_cast<const TSLString*>(type);
    const auto* versionInt = dynamic_cast<const TSLLongint*>(version);
    if (!typeStr || typeStr->GetStringValue() != "Actuator Definition File" || !versionInt ||
        versionInt->GetLongintValue() != 21) {
        ShowErrorMessage(LangText("ADF_not_compatible_with_PC"));
        return false;
    }
    TWizTreePar* mainPar = FTree ? FTree->FindParameter(1370) : nullptr;
    TWizTreePar* subPar = FTree ? FTree->FindParameter(1371) : nullptr;
    const std::int64_t main = mainPar && subPar ? mainPar->IntValue() : -1;
    if (main >= 3 && main <= 5) {
        const MyAnsiString m = std::to_string(main);
        const MyAnsiString key = "MinMCSubVersionR" + m;
        if (!Dict.GetNameExists(key)) {
            ShowErrorMessage("ADF file not compatible with Firmware Release " + m + ".x");
            return false;
        }
        const std::int64_t minSub = Dict.GetIntWithName(key);
        const std::int64_t sub = subPar->IntValue();
        if (sub < minSub) {
            ShowErrorMessage(LangTextFmt("ADF_not_compatible_with_MC",
                                         {m + "." + std::to_string(minSub), m + "." + std::to_string(sub)}));
            return false;
        }
        return true;
    }
    ShowErrorMessage("Unknown MC Firmware main version!");
    return false;
}

void TMotWizManager::SearchAllADFFilesWithName(const std::filesystem::path& Folder, const MyAnsiString& FileName,
                                               std::vector<std::filesystem::path>& List) const {
    std::error_code ec;
    std::vector<std::filesystem::path> files, folders;
    for (std::filesystem::directory_iterator it(Folder, ec), end; !ec && it != end; it.increment(ec)) {
        const MyAnsiString name = RealPathToStored(it->path().filename());
        std::error_code e2;
        if (it->is_directory(e2)) {
            if (!name.empty() && name[0] != '.')
                folders.push_back(it->path());
        } else if (ansi::SameText(name, FileName)) {
            files.push_back(it->path());
        }
    }
    // Case variants of one name: the exact spelling first, then name order.
    auto byName = [](const std::filesystem::path& a, const std::filesystem::path& b) {
        return a.filename().string() < b.filename().string();
    };
    std::sort(files.begin(), files.end(), byName);
    std::stable_partition(files.begin(), files.end(),
                          [&](const std::filesystem::path& p) { return p.filename().string() == FileName; });
    if (!files.empty())
        List.push_back(files.front());
    std::sort(folders.begin(), folders.end(), byName);
    for (const auto& f : folders) SearchAllADFFilesWithName(f, FileName, List);
}

bool TMotWizManager::ChooseActuator(std::filesystem::path& FileName) {
    const MyAnsiString ext = FTree ? FTree->ADFFileExt() : MyAnsiString("adf");
    TOpenDialogRequest r;
    r.Filter = "Actuator Data Files(*." + ext + " )|*." + ext;
    r.DefaultExt = "." + ext;
    r.ConfigDir = false;
    r.FileName = RealPathToStored(MotorsFolder()) + "\\";
    if (!ShellServices().OpenDialog(r) || r.FileName.empty())
        return false;
    std::filesystem::path chosen = r.FileName;
    std::error_code ec;
    if (!std::filesystem::exists(chosen, ec))
        chosen = StoredPathToRealPath(r.FileName);
    TRef<TSLDictionary> dict = ReadADFFile(chosen);
    if (!CheckForFirmwareCompatibility(*dict))
        return false;
    const TSLObject* composite = dict->FindObjWithName("CompositeType");
    if (composite && dict->GetBoolWithName("CompositeType") && dict->GetNameExists("PartsArray")) {
        const TSLArray* parts = SLCast<TSLArray>(dict->GetObjWithName("PartsArray"));
        std::vector<MyAnsiString> captions;
        for (int i = 0; i < parts->GetCount(); ++i)
            captions.push_back(SLCast<TSLDictionary>(parts->GetObjAtIndex(i))->GetStrWithName("PartCaption"));
        const int choice = FDialog ? FDialog->ChoosePart(captions) : -1;
        if (choice < 0 || choice >= parts->GetCount())
            return false;
        const MyAnsiString part = SLCast<TSLDictionary>(parts->GetObjAtIndex(choice))->GetStrWithName("ADFName");
        chosen = chosen.parent_path() / std::filesystem::path(part + "." + ext);
        dict = ReadADFFile(chosen);
        if (!CheckForFirmwareCompatibility(*dict))
            return false;
    }
    FileName = chosen;
    FCheckedDict = dict;
    FChangeActuator = true;
    FInitializing = false;
    return true;
}

// ---- Init ------------------------------------------------------------------

bool TMotWizManager::Init(TDevice& ADevice, bool AChangeActuator) {
    std::unique_ptr<TWizTree> previous = std::move(FOwnTree);
    TWizTree* previousTree = FTree;
    FOwnTree = MakeServiceTree(ADevice);
    bool ok = false;
    try {
        ok = Init(*FOwnTree, AChangeActuator);
    } catch (...) {
        FOwnTree.swap(previous);
        FTree = nullptr;
        if (previousTree)
            BindTree(*previousTree);
        throw;
    }
    if (!ok && !WizParList.empty() && previous) {
        // The previous run's lists stay; so does the drive they belong to.
        FOwnTree.swap(previous);
        BindTree(*previousTree);
    }
    return ok;
}

void TMotWizManager::BindTree(TWizTree& ATree) {
    if (FTree && FTree != &ATree)
        FTree->Bind({});
    FTree = &ATree;
    FTree->Bind({[this] { StatusServiceExecute(); }, [this] { StatusServiceUpdate(); },
                 [this] { ParameterServiceExecute(); }, [this] { ParameterServiceNotify(); }});
    FOnline = FTree->Online();
}

bool TMotWizManager::Init(TWizTree& ATree, bool AChangeActuator) {
    BindTree(ATree);
    FChangeActuator = AChangeActuator;
    return InitRun(AChangeActuator);
}

bool TMotWizManager::InitRun(bool AChangeActuator) {
    FCheckedDict.Reset();
    std::filesystem::path file;
    if (AChangeActuator) {
        if (!ChooseActuator(file))
            return false;
    } else {
        TWizTreePar* idPar = FTree->FindParameter(6220);
        if (!idPar) {
            ShowMessage("Missing or incompatible software! The motor wizard cannot be started!");
            return false;
        }
        const MyAnsiString id = idPar->StrValue();
        const MyAnsiString name = id + "." + FTree->ADFFileExt();
        std::vector<std::filesystem::path> hits;
        if (!id.empty())
            SearchAllADFFilesWithName(MotorsFolder(), name, hits);
        if (!hits.empty()) {
            FCheckedDict = ReadADFFile(hits.front());
            if (!CheckForFirmwareCompatibility(*FCheckedDict))
                return false;
            file = hits.front();
        } else {
            if (!id.empty() &&
                MessageDlg(LangTextFmt("ADF_not_Found", {name}), TMsgDlgType::mtWarning,
                           {TMsgDlgBtn::mbYes, TMsgDlgBtn::mbNo}) != mrYes)
                return false;
            if (!ChooseActuator(file))
                return false;
        }
    }
    LoadFile(file);
    StartRun();
    return true;
}

bool TMotWizManager::InitWithDefinition(TWizTree& ATree, const TSLDictionary& Dict, const MyAnsiString& Name,
                                        bool AChangeActuator) {
    BindTree(ATree);
    FChangeActuator = AChangeActuator;
    if (!CheckForFirmwareCompatibility(Dict))
        return false;
    LoadDefinition(Dict, Name);
    StartRun();
    return true;
}

void TMotWizManager::StartRun() {
    ReadStartValues();
    for (int i = 0; i < GetWizParCount(); ++i) ParameterChange(GetWizParAtIndex(i).FName);
    FLastPageVisited = !FChangeActuator;
    FChangeActuator = false;
}

void TMotWizManager::LoadFile(const std::filesystem::path& Path) {
    // The file as its compatibility check read it.
    TRef<TSLDictionary> dict = std::move(FCheckedDict);
    if (!dict)
        dict = ReadADFFile(Path);
    LoadDefinition(*dict, RealPathToStored(Path.stem()));
}

void TMotWizManager::LoadDefinition(const TSLDictionary& Dict, const MyAnsiString& Name) {
    const TSLDictionary* dict = &Dict;
    FErrorLines.clear();
    FPageIndex = 0;
    ActualWizardPageList.clear();
    ChangedWizParList.clear();
    WizValList.clear();
    WizParList.clear();
    FADFName = Name;
    if (dict->GetNameExists("WizardValues")) {
        const TSLArray* a = SLCast<TSLArray>(dict->GetObjWithName("WizardValues"));
        for (int i = 0; i < a->GetCount(); ++i) {
            const TSLDictionary& e = *SLCast<TSLDictionary>(a->GetObjAtIndex(i));
            if (TWizValClass c = GetWizValClass(e.GetStrWithName("Type")))
                WizValList.push_back({e.GetStrWithName("Name"), c(e)});
        }
    }
    if (dict->GetNameExists("MCParameters")) {
        const TSLArray* a = SLCast<TSLArray>(dict->GetObjWithName("MCParameters"));
        for (int i = 0; i < a->GetCount(); ++i) {
            const TSLDictionary& e = *SLCast<TSLDictionary>(a->GetObjAtIndex(i));
            if (TWizParClass c = GetWizParClass(e.GetStrWithName("Type")))
                WizParList.push_back(c(e, FTree));
        }
    }
    for (auto& p : CompleteWizardPageList) p->FPagePos = -1;
    if (dict->GetNameExists("WizardPages")) {
        for (auto& p : CompleteWizardPageList) p->FVisible = false;
        const TSLArray* a = SLCast<TSLArray>(dict->GetObjWithName("WizardPages"));
        for (int i = 0; i < a->GetCount(); ++i) {
            const TSLDictionary& e = *SLCast<TSLDictionary>(a->GetObjAtIndex(i));
            const std::int64_t id = e.GetIntWithName("PageID");
            if (id < 0 || id >= WizardPageCount)
                throw Exception("List index out of bounds (" + std::to_string(id) + ")");
            TWizardPage& page = *CompleteWizardPageList[static_cast<std::size_t>(id)];
            if (std::find(ActualWizardPageList.begin(), ActualWizardPageList.end(), &page) !=
                ActualWizardPageList.end()) {
                // One tab cannot stand at two places: the first entry wins.
                Error("page " + std::to_string(id) + " is listed twice; it is shown once");
                continue;
            }
            page.FVisible = true;
            if (e.GetNameExists("VisibleIfParsExisting")) {
                const TSLArray* names = SLCast<TSLArray>(e.GetObjWithName("VisibleIfParsExisting"));
                for (int k = 0; k < names->GetCount() && page.FVisible; ++k) {
                    const TWizardParameter* w = GetWizParWithName(names->GetStrAtIndex(k));
                    if (!w || !FTree->FindParameter(w->FTreeUPID))
                        page.FVisible = false;
                }
            }
            if (!page.FVisible)
                continue;
            page.FInfoArray = TRef<TSLArray>(SLCast<TSLArray>(e.GetObjWithName("PageInfo")));
            page.FPagePos = GetPageCount();
            ActualWizardPageList.push_back(&page);
        }
    }
    const TWizardParameter* executed = GetWizParWithName("Wizard_Executed");
    TWizTreePar* executedPar = FTree->FindParameter(6253);
    if (executed && executedPar && executedPar->IntValue() == 0) {
        FChangeActuator = true;
        FInitializing = false;
    }
}

namespace {

// The drive's value of P as the item's tree value.
void TakeTreeValue(TWizardParameter& W, TWizTreePar& P) {
    if (auto* d = dynamic_cast<TWizParDouble*>(&W))
        d->FTreeValue = P.ValueSI();
    else if (auto* s = dynamic_cast<TWizParString*>(&W))
        s->FTreeValue = P.StrValue();
    else if (auto* e = dynamic_cast<TWizParEnum*>(&W))
        e->FTreeValue = P.IntValue();
    else if (auto* b = dynamic_cast<TWizParBoolean*>(&W))
        b->FTreeValue = P.BoolValue();
}

// Runs Op on the item as its own class (the three values have its type).
template <class F>
void WithValues(TWizardParameter& W, F&& Op) {
    if (auto* d = dynamic_cast<TWizParDouble*>(&W))
        Op(*d);
    else if (auto* s = dynamic_cast<TWizParString*>(&W))
        Op(*s);
    else if (auto* e = dynamic_cast<TWizParEnum*>(&W))
        Op(*e);
    else if (auto* b = dynamic_cast<TWizParBoolean*>(&W))
        Op(*b);
}

constexpr auto RuleFromTree = [](auto& W) { W.FRuleValue = W.FTreeValue; };
constexpr auto RuleFromDefault = [](auto& W) { W.FRuleValue = W.FDefaultValue; };
constexpr auto ToDefault = [](auto& W) { W.FTreeValue = W.FRuleValue = W.FDefaultValue; };

} // namespace

void TMotWizManager::ReadStartValues() {
    for (auto& wp : WizParList) {
        TWizardParameter& w = *wp;
        TWizTreePar* p = FTree->FindParameter(w.FTreeUPID);
        w.FFoundInTree = p != nullptr;
        if (FChangeActuator) {
            if (p && (w.FReadOnlyPar || (w.FAutoDetected && FOnline))) {
                TakeTreeValue(w, *p);
                WithValues(w, RuleFromTree);
            } else {
                WithValues(w, ToDefault);
            }
        } else if (p) {
            TakeTreeValue(w, *p);
            if (w.FStartWithTreeValue || w.FReadOnlyPar)
                WithValues(w, RuleFromTree);
            else
                WithValues(w, RuleFromDefault);
        } else {
            WithValues(w, ToDefault);
        }
    }
    if (auto* n = dynamic_cast<TWizParString*>(GetWizParWithName("ADF_Name")))
        n->FTreeValue = n->FRuleValue = FADFName;
    TWizardParameter* slider = GetWizParWithName("Slider");
    if (slider && slider->FTreeUPID == 6254) {
        auto* s = dynamic_cast<TWizParEnum*>(slider);
        auto* sub = dynamic_cast<TWizParEnum*>(GetWizParWithName("Slider_SubID"));
        auto* mainId = dynamic_cast<TWizParEnum*>(GetWizParWithName("Slider_MainID"));
        if (!s || !sub || !mainId) {
            Error("\"Slider\" needs the ENUM parameters \"Slider_MainID\" and \"Slider_SubID\"; it keeps its values");
        } else {
            s->FRuleValue = sub->FRuleValue * 65536 + mainId->FRuleValue;
            s->FTreeValue = sub->FTreeValue * 65536 + mainId->FTreeValue;
        }
    }
}

// ---- Rule engine -----------------------------------------------------------

void TMotWizManager::Assign(const TSLDictionary& Item) {
    const MyAnsiString name = Item.GetStrWithName("Name");
    if (TWizardValue* v = GetWizValWithName(name)) {
        if (auto* d = dynamic_cast<TWizValDouble*>(v))
            d->FValue = Item.GetFloatWithName("Value");
        else if (auto* s = dynamic_cast<TWizValString*>(v))
            s->FValue = Item.GetStrWithName("Value");
        return;
    }
    TWizardParameter* w = GetWizParWithName(name);
    if (!w)
        return;
    if (auto* d = dynamic_cast<TWizParDouble*>(w)) {
        d->FDefaultValue = d->FRuleValue = Item.GetFloatWithName("Value");
        if (!FInitializing)
            d->FTreeValue = d->FDefaultValue;
    } else if (auto* s = dynamic_cast<TWizParString*>(w)) {
        s->FDefaultValue = s->FRuleValue = Item.GetStrWithName("Value");
        if (!FInitializing)
            s->FTreeValue = s->FDefaultValue;
    } else if (auto* b = dynamic_cast<TWizParBoolean*>(w)) {
        b->FDefaultValue = b->FRuleValue = Item.GetBoolWithName("Value");
        if (!FInitializing)
            b->FTreeValue = b->FDefaultValue;
    } else if (auto* e = dynamic_cast<TWizParEnum*>(w)) {
        e->FDefaultValue = e->FRuleValue = Item.GetIntWithName("Value");
        if (!FInitializing)
            e->FTreeValue = e->FDefaultValue;
    }
    ParameterChange(w->FName);
}

void TMotWizManager::RunOnChange(const TSLArray* Array) {
    if (!Array)
        return;
    for (int i = 0; i < Array->GetCount(); ++i)
        RunProcedure(SLCast<TSLDictionary>(Array->GetObjAtIndex(i))->GetStrWithName("Name"));
}

void TMotWizManager::ParameterChange(const MyAnsiString& ParameterName) {
    TWizardParameter* w = GetWizParWithName(ParameterName);
    if (!w)
        return;
    const MyAnsiString key = Upper(w->FName);
    if (!FRunningRules.insert(key).second) {
        Error("the rules of parameter \"" + w->FName + "\" lead back to it; it is not entered again");
        return;
    }
    struct TLeave {
        std::set<MyAnsiString>& S;
        MyAnsiString K;
        ~TLeave() { S.erase(K); }
    } leave{FRunningRules, key};

    if (auto* e = dynamic_cast<TWizParEnum*>(w)) {
        const int idx = e->GetItemIndex(e->FRuleValue);
        if (idx < 0)
            return;
        // Hold the entry's arrays: an assignment may run a nested rule pass.
        TRef<TSLArray> onSelect(e->GetOnSelectArrayAt(idx));
        for (int i = 0; i < onSelect->GetCount(); ++i) Assign(*SLCast<TSLDictionary>(onSelect->GetObjAtIndex(i)));
        const int idx2 = e->GetItemIndex(e->FRuleValue);
        TRef<TSLArray> cases(idx2 >= 0 ? e->GetOnSelectCaseIntDictAt(idx2) : nullptr);
        for (int i = 0; cases && i < cases->GetCount(); ++i) {
            const TSLDictionary& item = *SLCast<TSLDictionary>(cases->GetObjAtIndex(i));
            const MyAnsiString var = item.GetStrWithName("CaseVar");
            std::int32_t selector = -1;
            if (TWizardValue* v = GetWizValWithName(var)) {
                auto* d = dynamic_cast<TWizValDouble*>(v);
                if (!d)
                    throw EInvalidCast();
                selector = static_cast<std::int32_t>(RoundEven(d->FValue));
            } else if (TWizardParameter* p = GetWizParWithName(var)) {
                if (auto* pd = dynamic_cast<TWizParDouble*>(p))
                    selector = static_cast<std::int32_t>(RoundEven(pd->FRuleValue));
                else if (auto* pe = dynamic_cast<TWizParEnum*>(p))
                    selector = static_cast<std::int32_t>(pe->FRuleValue);
            }
            TRef<TSLArray> arr(SLCast<TSLArray>(item.GetObjWithName("CaseArr")));
            for (int k = 0; k < arr->GetCount(); ++k) {
                const TSLDictionary& c = *SLCast<TSLDictionary>(arr->GetObjAtIndex(k));
                if (c.GetIntWithName("CaseValue") == static_cast<std::int64_t>(selector))
                    Assign(c);
            }
        }
    }
    TRef<TSLArray> onChange = w->FOnChangeArray;
    RunOnChange(onChange.Get());
}

void TMotWizManager::ValueChange(const MyAnsiString& ValueName) {
    if (TWizardValue* v = GetWizValWithName(ValueName)) {
        TRef<TSLArray> onChange = v->FOnChangeArray;
        RunOnChange(onChange.Get());
    }
}

// ---- Change list and writing pass ------------------------------------------

void TMotWizManager::BuildChangesList() {
    ChangedWizParList.clear();
    for (const auto& wp : WizParList) {
        TWizardParameter& w = *wp;
        if (!w.FFoundInTree)
            continue;
        bool differ = false;
        if (auto* d = dynamic_cast<TWizParDouble*>(&w)) {
            const TDeviceUnit* u = FindUnit(d->FUUID);
            differ = u->ValToInt(usSI, d->FTreeValue) != u->ValToInt(usSI, d->FRuleValue);
        } else if (auto* e = dynamic_cast<TWizParEnum*>(&w)) {
            differ = e->FTreeValue != e->FRuleValue;
        } else if (auto* s = dynamic_cast<TWizParString*>(&w)) {
            differ = s->FTreeValue != s->FRuleValue;
        } else if (auto* b = dynamic_cast<TWizParBoolean*>(&w)) {
            differ = b->FTreeValue != b->FRuleValue;
        }
        if (differ)
            ChangedWizParList.push_back(&w);
    }
}

void TMotWizManager::Finish() {
    if (!FTree)
        return;
    FWriteFailures.clear();
    if (FDialog)
        FDialog->SetBusy(true);
    if (FTree->GetRunning()) {
        FWorkState = TWizWorkState::wsStop;
        FTree->RequestStatusTurn();
    } else {
        FTree->RequestParameterTurn();
    }
}

void TMotWizManager::StatusServiceExecute() {
    if (FWorkState != TWizWorkState::wsStop)
        return;
    FTree->StopDevice();
    FTree->ReleaseStatus();
    FStopDeadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(MotWizStopTimeout.Milliseconds());
    FWorkState = TWizWorkState::wsWaitStopResponse;
}

void TMotWizManager::StatusServiceUpdate() {
    if (FWorkState != TWizWorkState::wsWaitStopResponse)
        return;
    if (!FTree->GetRunning()) {
        FWorkState = TWizWorkState::wsReady;
        FTree->DisconnectStatus();
        FTree->RequestParameterTurn();
        return;
    }
    if (std::chrono::steady_clock::now() < FStopDeadline)
        return;
    FWorkState = TWizWorkState::wsReady;
    FTree->DisconnectStatus();
    Error("the drive did not stop; nothing was written");
    if (FDialog)
        FDialog->SetBusy(false);
    ShowErrorMessage("The drive firmware did not stop in time. Nothing was written to the drive.");
}

void TMotWizManager::WriteParameter(TWizardParameter& W) {
    TWizTreePar* p = FTree->FindParameter(W.FTreeUPID);
    if (!p) {
        FWriteFailures.push_back({W.FName, "the drive no longer has UPID " + std::to_string(W.FTreeUPID)});
        return;
    }
    if (auto* d = dynamic_cast<TWizParDouble*>(&W)) {
        const TDeviceUnit* u = FindUnit(d->FUUID);
        p->SetScaledValue(u->IntToValStr(usSI, u->ValToInt(usSI, d->FTreeValue)));
    } else if (auto* s = dynamic_cast<TWizParString*>(&W)) {
        p->SetScaledValue(s->FTreeValue);
    } else if (auto* e = dynamic_cast<TWizParEnum*>(&W)) {
        const TWizTreeKind k = p->Kind();
        if (k != TWizTreeKind::tkInteger && k != TWizTreeKind::tkRadio16 && k != TWizTreeKind::tkRadio32 &&
            k != TWizTreeKind::tkRadioBit)
            return;
        p->SetIntValue(RadioWrite(k, e->FTreeValue));
    } else if (auto* b = dynamic_cast<TWizParBoolean*>(&W)) {
        p->SetBoolValue(b->FTreeValue);
    }
    p->Modify();
}

void TMotWizManager::ParameterServiceExecute() {
    FTree->PrepareModify();
    for (const auto& wp : WizParList) {
        TWizardParameter& w = *wp;
        if (!w.FFoundInTree || w.FReadOnlyPar)
            continue;
        try {
            WriteParameter(w);
        } catch (const std::exception& e) {
            FWriteFailures.push_back({w.FName, e.what()});
        }
    }
    FTree->ExecuteModify();
}

void TMotWizManager::ParameterServiceNotify() {
    FTree->ReleaseParameter();
    MyAnsiString text;
    for (const auto& [name, why] : FWriteFailures) {
        Error("\"" + name + "\" was not written: " + why);
        text += name + ": " + why + "\n";
    }
    for (const MyAnsiString& line : FTree->RefusedWrites()) {
        Error(line + " was refused by the drive");
        text += line + ": refused by the drive\n";
    }
    if (!text.empty())
        ShowErrorMessage("These parameters were not written to the drive:\n" + text);
    if (FDialog) {
        FDialog->SetBusy(false);
        FDialog->CloseDialog();
    }
    ActualWizardPageList.clear();
}

// ---- The program's manager -------------------------------------------------

TMotWizManager* MotWizardManager() noexcept { return GManager; }

TMotWizManager* SetMotWizardManager(TMotWizManager* Manager) noexcept { return std::exchange(GManager, Manager); }

void RegisterWizardClasses(TMotWizManager& Manager) {
    Manager.RegisterWizValClass("DOUBLE", &WizValClass<TWizValDouble>);
    Manager.RegisterWizValClass("STRING", &WizValClass<TWizValString>);
    Manager.RegisterWizValClass("INTEGER", &WizValClass<TWizValInteger>);
    Manager.RegisterWizParClass("DOUBLE", &WizParClass<TWizParDouble>);
    Manager.RegisterWizParClass("STRING", &WizParClass<TWizParString>);
    Manager.RegisterWizParClass("ENUM", &WizParClass<TWizParEnum>);
    Manager.RegisterWizParClass("BOOLEAN", &WizParClass<TWizParBoolean>);
}

void InitMotWizardManager() {
    static std::unique_ptr<TMotWizManager> manager;
    SetMotWizardManager(nullptr);
    manager = std::make_unique<TMotWizManager>();
    RegisterWizardClasses(*manager);
    SetMotWizardManager(manager.get());
}

} // namespace vo
