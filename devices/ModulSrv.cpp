#include "devices/ModulSrv.h"

#include "devices/ConfWiz.h"
#include "devices/ExeInfNd.h"
#include "devices/QsBasic.h"
#include "kernel/AnsiText.h"
#include "kernel/CsServices.h"
#include "kernel/Debug.h"
#include "kernel/LanguageMan.h"
#include "kernel/LoginPrompts.h"
#include "kernel/PrgVars.h"
#include "kernel/ShellServices.h"
#include "kernel/UserPrompt.h"
#include "platform/Cp1252.h"
#include "platform/FileNames.h"
#include "storagelib/RefObj.h"
#include "storagelib/SL20Arr.h"
#include "storagelib/SL20Dic.h"
#include "storagelib/SL20Elm.h"
#include "storagelib/SL20Sto.h"

#include <algorithm>
#include <system_error>

namespace vo {

namespace {

constexpr int32_t FileTypeProgram = 2;
constexpr int32_t FileTypeParameterTree = 5;
const char* const CreateOffline = "CREATEOFFLINE";

MyAnsiString Upper(std::string_view S) {
    return UpperCaseText(MyAnsiString(S));
}

bool LessByName(const MyAnsiString& A, const MyAnsiString& B) {
    const int c = ansi::CompareText(A, B);
    return c != 0 ? c < 0 : A < B;
}

int64_t NumberOf(TSLObject* O, int64_t Default) {
    if (auto* n = dynamic_cast<TSLNumber*>(O))
        return n->GetLongintValue();
    return Default;
}

MyAnsiString StringOf(TSLObject* O) {
    if (auto* s = dynamic_cast<TSLString*>(O))
        return s->GetStringValue();
    return {};
}

MyAnsiString ProductName() {
    return ShellServices().GetProductInfoStr("ProgramName");
}

MyAnsiString HomePage() {
    return ShellServices().GetCompanyInfoStr("HomePage");
}

// The stored data of a named object (raises when it cannot be read).
TSLObject* ReadStored(const MyAnsiString& Name) {
    TStorageManager* m = StorageManager();
    if (!m)
        throw Exception("TModuleService: no storage manager");
    TSLStorageObject* o = m->GetObject(Name);
    return o->GetData();
}

} // namespace

// ------------------------------------------------------------------ modules

void TModuleItem::SetData(TSLDictionary* AData) {
    FData = TRef<TSLDictionary>(AData);
    auto* info = AData ? dynamic_cast<TSLDictionary*>(AData->FindObjWithName("ModuleInfo")) : nullptr;
    if (!info)
        return;
    if (TSLObject* o = info->FindObjWithName("BaseName"))
        FBaseName = StringOf(o);
    if (TSLObject* o = info->FindObjWithName("SubName"))
        FSubName = StringOf(o);
    if (TSLObject* o = info->FindObjWithName("BetaInfo"))
        FBetaInfo = StringOf(o);
    FVersion = static_cast<int32_t>(NumberOf(info->FindObjWithName("Version"), FVersion));
    FSubVersion = static_cast<int32_t>(NumberOf(info->FindObjWithName("SubVersion"), FSubVersion));
    FTreeID = static_cast<int32_t>(NumberOf(info->FindObjWithName("TreeID"), FTreeID));
    FTreeLevel = static_cast<int32_t>(NumberOf(info->FindObjWithName("TreeLevel"), FTreeLevel));
}

// ------------------------------------------------------------------ search

TDescriptionFolder::TDescriptionFolder(const std::filesystem::path& Folder) {
    List(Folder, RealPathToStored(Folder));
}

void TDescriptionFolder::List(const std::filesystem::path& Folder, const MyAnsiString& Stored) {
    std::error_code ec;
    std::filesystem::directory_iterator it(Folder, ec);
    if (ec)
        return;
    std::vector<std::pair<MyAnsiString, std::filesystem::path>> files, folders;
    for (const auto& entry : it) {
        const MyAnsiString name = RealPathToStored(entry.path().filename());
        if (entry.is_directory(ec)) {
            if (!name.empty() && name[0] != '.')
                folders.emplace_back(name, entry.path());
        } else if (entry.is_regular_file(ec)) {
            files.emplace_back(name, entry.path());
        }
    }
    auto byName = [](const auto& A, const auto& B) { return LessByName(A.first, B.first); };
    std::sort(files.begin(), files.end(), byName);
    std::sort(folders.begin(), folders.end(), byName);
    for (const auto& [name, path] : files)
        FFiles.push_back(TEntry{Stored + "\\" + name, Upper(name)});
    for (const auto& [name, path] : folders)
        List(path, Stored + "\\" + name);
}

MyAnsiString TDescriptionFolder::FindExact(const MyAnsiString& Name) const {
    const MyAnsiString want = Upper(Name) + ".IN2";
    for (const auto& f : FFiles)
        if (f.Upper == want)
            return f.Stored;
    return {};
}

MyAnsiString TDescriptionFolder::FindFallback(const MyAnsiString& Prefix) const {
    const MyAnsiString head = Upper(Prefix) + "_";
    const MyAnsiString tail = ".IN2";
    for (const auto& f : FFiles)
        if (f.Upper.size() >= head.size() + tail.size() && f.Upper.compare(0, head.size(), head) == 0 &&
            f.Upper.compare(f.Upper.size() - tail.size(), tail.size(), tail) == 0)
            return f.Stored;
    return {};
}

MyAnsiString SecondTreeName(const MyAnsiString& TreeName) {
    const size_t us = TreeName.find('_');
    if (us == MyAnsiString::npos)
        return TreeName;
    const MyAnsiString first = TreeName.substr(0, us);
    const MyAnsiString rest = TreeName.substr(us + 1);
    if (first == "ApplTr7300Dorvan")
        return "ApplTrDorvan_" + rest;
    if (first == "ApplTr7300MasterSlave")
        return "ApTrMasterSlave_" + rest;
    if (first == "IntfTr7300CmdTabIO")
        return "IntfTrCmdTabIO_" + rest;
    return TreeName;
}

MyAnsiString ClearBetaInfo(const MyAnsiString& TreeName) {
    const size_t us = TreeName.rfind('_');
    return us == MyAnsiString::npos ? MyAnsiString() : TreeName.substr(0, us);
}

MyAnsiString ClearBetaAndSubInfo(const MyAnsiString& TreeName) {
    std::vector<MyAnsiString> parts;
    size_t from = 0;
    for (int i = 0; i < 3; ++i) {
        const size_t us = TreeName.find('_', from);
        if (us == MyAnsiString::npos) {
            parts.push_back(from <= TreeName.size() ? TreeName.substr(from) : MyAnsiString());
            from = TreeName.size() + 1;
        } else {
            parts.push_back(TreeName.substr(from, us - from));
            from = us + 1;
        }
    }
    const MyAnsiString& second = parts[1];
    MyAnsiString mapped = second;
    if (const size_t q = second.find("QTR"); q != MyAnsiString::npos)
        mapped = "S" + second.substr(q + 3);
    else if (const size_t m = second.find("M7300"); m != MyAnsiString::npos && second != "M7300")
        mapped = "K40" + second.substr(m + 5);
    else if (second.empty())
        mapped = "R7300";
    return parts[0] + "_" + mapped + "_" + parts[2];
}

TDescriptionMatch SearchModuleDescription(const TDescriptionFolder& Folder, const MyAnsiString& TreeName) {
    TDescriptionMatch match;
    match.FileName = Folder.FindExact(TreeName);
    MyAnsiString name = TreeName;
    if (match.FileName.empty() && name.find('_') != MyAnsiString::npos) {
        name = SecondTreeName(name);
        match.FileName = Folder.FindExact(name);
    }
    if (!match.FileName.empty()) {
        match.Kind = TMatchKind::mkExact;
        return match;
    }
    match.FileName = Folder.FindFallback(ClearBetaInfo(name));
    if (match.FileName.empty())
        match.FileName = Folder.FindFallback(ClearBetaAndSubInfo(name));
    match.Kind = match.FileName.empty() ? TMatchKind::mkNone : TMatchKind::mkFallback;
    return match;
}

// ------------------------------------------------------------------ service

TModuleService::TModuleService(TDevice& AOwner, TSLDictionary* AProfDict)
    : TDeviceService(AOwner, AProfDict),
      FServiceProvider(std::make_unique<TServiceProvider>(this, "Module Service")),
      FInfoNodeList(std::make_unique<TInfoNodeList>()) {}

TModuleService::~TModuleService() {
    FInfoNodeList.reset();
    ClearModules();
}

void TModuleService::ClearModules() {
    FModuleList.clear();
    FAvaiableModule.clear();
    FMatchKinds.clear();
    FOSModuleInfo = FMCModuleInfo = FIntfModuleInfo = FApplModuleInfo = nullptr;
}

TModuleItem& TModuleService::GetModule(int AIndex) const {
    if (AIndex < 0 || AIndex >= GetModuleCount())
        throw Exception("TModuleService.GetModule: index out of bounds");
    return *FModuleList[static_cast<size_t>(AIndex)].second;
}

const MyAnsiString& TModuleService::GetModuleFileName(int AIndex) const {
    if (AIndex < 0 || AIndex >= static_cast<int>(FAvaiableModule.size()))
        throw Exception("TModuleService.GetModuleFileName: index out of bounds");
    return FAvaiableModule[static_cast<size_t>(AIndex)];
}

const MyAnsiString& TModuleService::GetDocAtIndex(int Index) const {
    if (Index < 0 || Index >= GetNumberOfDocuments())
        throw Exception("TModuleService.GetDocAtIndex: index out of bounds");
    return FRelevantDocList[static_cast<size_t>(Index)];
}

const MyAnsiString& TModuleService::GetMotionCmdListFileName(int Index) const {
    if (Index < 0 || Index >= GetNumberOfMotioncmdListFiles())
        throw Exception("TModuleService.GetMotionCmdListFileName: index out of bounds");
    return FMotionCmdListFiles[static_cast<size_t>(Index)];
}

bool TModuleService::IsServiceActive(const MyAnsiString& ServiceName, bool Default) const {
    for (const auto& [name, module] : FModuleList) {
        TSLDictionary* data = module->GetData();
        auto* inst = data ? dynamic_cast<TSLDictionary*>(data->FindObjWithName("InstanceInfoDict")) : nullptr;
        if (!inst)
            continue;
        if (TSLObject* o = inst->FindObjWithName(ServiceName)) {
            if (auto* b = dynamic_cast<TSLBoolean*>(o))
                return b->GetBooleanValue();
            return NumberOf(o, Default ? 1 : 0) != 0;
        }
    }
    return Default;
}

MyAnsiString TModuleService::GetUpdateRequestString() {
    return "Please update " + ProductName() + " from " + HomePage() + ".";
}

void TModuleService::DoGetStrVar(const MyAnsiString& VarName, MyAnsiString& Value, bool& Found) {
    if (ansi::SameText(VarName, "ProgramStartAddr") && FInfoNodeProgram) {
        Value = ansi::Fmt("%d", FInfoNodeProgram->GetStartAddress());
        Found = true;
    }
}

void TModuleService::ShutDown(bool& /*Wait*/) {
    FCurveInfo.Reset();
    FOsciInfo.Reset();
    SetServiceStatus(dsStopped);
}

void TModuleService::StartUp(bool& Wait) {
    if (FServiceStatus == dsStopped) {
        FStartAddrOfCmdTabEntries = -1;
        FNumOfCmdTabEntries = -1;
        FCmdTabEraseFlash = 3;
        FADFFileExt = "adf";
        switch (Owner().DeviceType()) {
        case dtOnline:
            FCurveInfo = MakeRef<TSLDictionary>();
            FOsciInfo = MakeRef<TSLDictionary>();
            FOvraService = Owner().FindService<TBasicOvraService>("OvraService");
            FStatusService = Owner().ServiceExists("StatusService") ? &Owner().GetService("StatusService") : nullptr;
            if (!FOvraService || !FStatusService) {
                StartFailed("a required service is missing");
                return;
            }
            SetServiceStatus(dsStarting);
            break;
        case dtOffline:
        case dtArchive:
            FCurveInfo = MakeRef<TSLDictionary>();
            FOsciInfo = MakeRef<TSLDictionary>();
            FFileName = Owner().GetStrVar("ConfigFile");
            StartOffline();
            return;
        default: StartFailed("unknown device type"); return;
        }
    }
    if (FServiceStatus == dsStarting && Owner().DeviceType() == dtOnline)
        StartOnline(Wait);
}

void TModuleService::StartOnline(bool& Wait) {
    if (!FOvraService || FOvraService->ServiceStatus() != dsStarted)
        return;
    Wait = true;
    if (FInfoNodeList->WorkState() != TInfoNodeList::TWorkState::stReady)
        return; // the walk runs; its end changes the status
    LoginInfoWindow().AddString("Search for parameter trees in the drive.");
    FInfoNodeList->ReadInfoNodes(*FOvraService, 0, [this](TInfoNodeList&) { ReadInfoNodesResponse(); });
}

void TModuleService::AddModule(const MyAnsiString& Name) {
    FModuleList.emplace_back(Name, std::make_unique<TModuleItem>(Name));
}

void TModuleService::ReadInfoNodesResponse() {
    ClearModules();
    FInfoNodeProgram = nullptr;
    TLoginInfoWindow& info = LoginInfoWindow();
    for (int i = 0; i < FInfoNodeList->GetCount(); ++i) {
        TInfoNodeItem& node = FInfoNodeList->GetItem(i);
        if (node.GetFileType() != FileTypeParameterTree)
            continue;
        const MyAnsiString name = node.GetCompleteName();
        const bool known = std::any_of(FModuleList.begin(), FModuleList.end(),
                                       [&](const auto& m) { return m.first == name; });
        if (known) {
            MessageDlg(name + " already exists in the module list", TMsgDlgType::mtError, {TMsgDlgBtn::mbOK});
            continue;
        }
        AddModule(name);
        info.AddString("Parameter tree found: " + name + ".IN2");
    }
    info.AddString("");
    for (int i = 0; i < FInfoNodeList->GetCount(); ++i)
        if (FInfoNodeList->GetItem(i).GetFileType() == FileTypeProgram) {
            FInfoNodeProgram = &FInfoNodeList->GetItem(i);
            break;
        }
    info.AddString("Search disk for the requested in2 files: ");
    const TDeviceServiceStatus result = SearchAndDecide(true);
    if (FServiceStatus == dsStarting || result == dsError)
        SetServiceStatus(result);
}

TDeviceServiceStatus TModuleService::SearchAndDecide(bool Online) {
    MyAnsiString dir = WorkDir();
    if (dir.empty() && StorageManager())
        dir = StorageManager()->GetProgramDir();
    const TDescriptionFolder folder(StoredPathToRealPath(dir + "Firmware"));
    TLoginInfoWindow& info = LoginInfoWindow();
    FAvaiableModule.clear();
    FMatchKinds.clear();
    bool fallback = false, missing = false;
    for (const auto& [name, module] : FModuleList) {
        const TDescriptionMatch match = SearchModuleDescription(folder, name);
        FMatchKinds.push_back(match.Kind);
        if (match.Kind == TMatchKind::mkNone) {
            missing = true;
            continue;
        }
        FAvaiableModule.push_back(match.FileName);
        if (match.Kind == TMatchKind::mkExact) {
            info.AddString("in2 file found: " + name + ".IN2");
        } else {
            fallback = true;
            MyAnsiString file = match.FileName.substr(match.FileName.rfind('\\') + 1);
            if (const size_t dot = file.rfind('.'); dot != MyAnsiString::npos)
                file.resize(dot);
            info.AddString("Compatible in2 file found: " + file + ".IN2");
        }
    }

    if (!missing && !fallback)
        return LoadModuleData() ? dsStarted : dsError;

    const MyAnsiString release = Online ? FOvraService->ReleaseInfo() : FFirmwareRelease;
    TLoginQuestion q;
    q.Details = LangText(Online ? "TreesOnController" : "TreesInConfig") + "\r";
    for (const auto& m : FModuleList)
        q.Details += " " + m.first + "\r";
    q.Details += "\r" + LangText("AvailableTrees") + "\r";
    for (const auto& f : FAvaiableModule)
        q.Details += " " + f.substr(f.rfind('\\') + 1) + "\r";
    q.Details += "\r";

    if (missing) {
        if (Online) {
            q.Message = LangTextFmt("UnknownFirmware", {ProductName(), release, HomePage()});
        } else {
            MyAnsiString product = ProductName();
            if (ansi::SameText(FFileName, CreateOffline))
                product += " " + ShellServices().GetProductInfoStr("ProgramVersionCaption");
            q.Message = LangTextFmt("UnknownFirmwareOffline", {release, product, HomePage()});
        }
        q.YesVisible = false;
        q.NoCaption = "OK";
        LoginQuestionPrompt().Ask(q);
        return dsError;
    }
    q.Message = Online ? LangTextFmt("NotExactINIFile", {ProductName(), release, HomePage()})
                       : LangTextFmt("NotExactINIFileOffline", {release, ProductName()});
    if (LoginQuestionPrompt().Ask(q) != mrYes)
        return dsError;
    return LoadModuleData() ? dsStarted : dsError;
}

void TModuleService::StartOffline() {
    FFirmwareRelease.clear();
    std::vector<MyAnsiString> trees;
    if (!ansi::SameText(FFileName, CreateOffline)) {
        int64_t version = 0;
        try {
            auto* file = dynamic_cast<TSLDictionary*>(ReadStored(FFileName));
            auto* infoDict = file ? dynamic_cast<TSLDictionary*>(file->FindObjWithName("Info")) : nullptr;
            if (!infoDict)
                throw Exception("TModuleService.StartUp: " + FFileName + " is no configuration file (no \"Info\")");
            auto* v = dynamic_cast<TSLNumber*>(infoDict->FindObjWithName("Version"));
            if (!v)
                throw Exception("TModuleService.StartUp: " + FFileName + " has no configuration format version");
            version = v->GetLongintValue();
            FFirmwareRelease = StringOf(infoDict->FindObjWithName("FirmwareRelease"));
            if (version == 3)
                if (auto* list = dynamic_cast<TSLArray*>(infoDict->FindObjWithName("Trees")))
                    for (int i = 0; i < list->GetCount(); ++i) {
                        auto* t = dynamic_cast<TSLDictionary*>(list->GetObjAtIndex(i));
                        trees.push_back(t ? StringOf(t->FindObjWithName("TreeName")) : MyAnsiString());
                    }
        } catch (const std::exception& e) {
            ShowErrorMessage(e.what());
            SetServiceStatus(dsError);
            return;
        }
        if (version > 3) {
            ShowErrorMessage("Unknown configuration format version! This configuration cannot be imported!");
            SetServiceStatus(dsError);
            return;
        }
        if (version < 3) {
            ShowErrorMessage("Old configuration format version! This configuration cannot be imported!");
            SetServiceStatus(dsError);
            return;
        }
    } else {
        TConfWizard& wizard = ConfWizard();
        for (int i = 0; i < wizard.GetNumberOfIniFile(); ++i)
            trees.push_back(wizard.GetNameAtIndex(i));
        FFirmwareRelease = wizard.FFirmwareRelease;
    }
    ClearModules();
    for (const auto& t : trees)
        AddModule(t);
    if (trees.empty()) {
        // No tree: nothing the program could describe.
        TLoginQuestion q;
        q.Message = LangTextFmt("UnknownFirmwareOffline", {FFirmwareRelease, ProductName(), HomePage()});
        q.YesVisible = false;
        q.NoCaption = "OK";
        LoginQuestionPrompt().Ask(q);
        SetServiceStatus(dsError);
        return;
    }
    SetServiceStatus(SearchAndDecide(false));
}

bool TModuleService::LoadModuleData() {
    FMotionCmdListFiles.clear();
    FOSModuleInfo = FMCModuleInfo = FIntfModuleInfo = FApplModuleInfo = nullptr;
    FRelevantDocList.clear();
    for (size_t i = 0; i < FModuleList.size(); ++i) {
        TModuleItem& module = *FModuleList[i].second;
        if (module.GetData())
            continue;
        try {
            auto* data = dynamic_cast<TSLDictionary*>(ReadStored(FAvaiableModule.at(i)));
            if (!data)
                throw Exception("module description is no dictionary");
            if (auto* inst = dynamic_cast<TSLDictionary*>(data->FindObjWithName("InstanceInfoDict"))) {
                if (TSLObject* o = inst->FindObjWithName("MCDataFile"))
                    FMotionCmdListFiles.push_back(StringOf(o));
                if (TSLObject* o = inst->FindObjWithName("StartAddrOfCmdTabEntries"))
                    FStartAddrOfCmdTabEntries = static_cast<int32_t>(NumberOf(o, -1));
                if (TSLObject* o = inst->FindObjWithName("NumOfCmdTabEntries"))
                    FNumOfCmdTabEntries = static_cast<int32_t>(NumberOf(o, -1));
                if (TSLObject* o = inst->FindObjWithName("CmdTabEraseFlash"))
                    FCmdTabEraseFlash = static_cast<int32_t>(NumberOf(o, 3));
                if (TSLObject* o = inst->FindObjWithName("ADFFileExt"))
                    FADFFileExt = StringOf(o);
                auto copy = [&](TSLDictionary* To, const MyAnsiString& Key, const MyAnsiString& As) {
                    if (TSLObject* o = inst->FindObjWithName(Key))
                        To->SetObjWithName(As, o->CopyRef().Get());
                };
                copy(FOsciInfo.Get(), "NumberOfSampling", "NumberOfSampling");
                for (int n = 1; n <= 8; ++n)
                    for (const char* k : {"_Dir", "_Var", "_On"}) {
                        const MyAnsiString key = ansi::Fmt("Ch_%d%s", n, k);
                        copy(FOsciInfo.Get(), key, key);
                    }
                for (int n = 1; n <= 2; ++n)
                    for (const char* k : {"_Dir", "_Var"}) {
                        const MyAnsiString key = ansi::Fmt("Trig_%d%s", n, k);
                        copy(FOsciInfo.Get(), key, key);
                    }
                copy(FCurveInfo.Get(), "NumOfCurves", "MaxNumberOfCurves");
                copy(FCurveInfo.Get(), "StartAddrOfCurves", "CurveBlockStartAddr");
                for (const char* k : {"CurvesBlockSize", "CurveHeaderSize", "ProposalCurveLength", "CurvesEraseFlash",
                                      "CurveOffsetPtrSize"})
                    copy(FCurveInfo.Get(), k, k);
                for (int n = 1; n <= 19; ++n)
                    if (TSLObject* o = inst->FindObjWithName(ansi::Fmt("Document_%d", n)))
                        FRelevantDocList.push_back(StringOf(o));
            }
            if (auto* mi = dynamic_cast<TSLDictionary*>(data->FindObjWithName("ModuleInfo"))) {
                switch (NumberOf(mi->FindObjWithName("TreeLevel"), 0)) {
                case 1: FOSModuleInfo = mi; break;
                case 2: FMCModuleInfo = mi; break;
                case 3: FIntfModuleInfo = mi; break;
                case 4: FApplModuleInfo = mi; break;
                default: break;
                }
            }
            module.SetData(data);
        } catch (const std::exception& e) {
            LogError(ansi::Fmt("couldn't load module '%s' (%s)", module.FName.c_str(), e.what()));
            ClearModules();
            SetServiceStatus(dsError);
            return false;
        }
    }
    return true;
}

} // namespace vo
