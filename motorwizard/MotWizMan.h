#pragma once
// The motor wizard's manager (one per program, MotWizardManager()): for one
// device at a time it finds the actuator definition file (.adf) that belongs
// to the drive, checks it against the firmware, builds the wizard parameters
// and values and the pages the dialog shows, reads the drive's values, runs
// the file's rules, and at the end writes the results to the drive in one
// modify batch.
//
// The dialog is reached through TMotWizDialog (page handlers, refresh,
// close, part choice); the drive through TWizTree (WizTree.h).
//
// GUI thread only.
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "motorwizard/MotWizParameter.h"
#include "motorwizard/MotWizValue.h"
#include "platform/AnsiString.h"
#include "platform/Time.h"
#include "storagelib/RefObj.h"

namespace vo {

class TDevice;
class TDeviceUnit;
class TSLArray;
class TSLDictionary;
class TWizTree;

// How long the writing pass waits for a stopped firmware.
extern TTimeConstant MotWizStopTimeout;

using TPageHandler = std::function<void()>;
using TPageCheck = std::function<bool()>;

struct TWizardPageHandlers {
    TPageHandler InitPage;
    TPageHandler UpdateVisibility;
    TPageCheck FinishCheck;
};

// The dialog as the manager needs it.
class TMotWizDialog {
public:
    virtual ~TMotWizDialog() = default;
    // The handlers of page number Page (0..20); empty ones where the page
    // has none.
    virtual TWizardPageHandlers PageHandlers(int /*Page*/) { return {}; }
    // Refreshes every page.
    virtual void UpdateAll() {}
    // Closes the dialog after the writing pass.
    virtual void CloseDialog() {}
    // Enables or disables the dialog while the writing pass runs.
    virtual void SetBusy(bool /*Busy*/) {}
    // "Select the part you want to configure.": index of the chosen caption,
    // -1 for Cancel.
    virtual int ChoosePart(const std::vector<MyAnsiString>& /*Captions*/) { return -1; }
};

class TWizardPage {
public:
    MyAnsiString FPageCaption;
    MyAnsiString FPageCaptionKeyWord;
    bool LanguageDependentCaption = true;
    bool FVisible = false;
    std::int32_t FPagePos = -1; // place in the file's list; -1: not listed
    int FPage = 0; // page number in the complete list (the dialog's tab)
    TRef<TSLArray> FInfoArray;
    bool FCancelEn = true;
    bool FHelpEn = false;
    TPageHandler InitPage;
    TPageHandler UpdateVisibility;
    TPageCheck FinishCheck;

    MyAnsiString GetPageCaption() const;
};

class TWizProcedure {
public:
    MyAnsiString FMethod; // the method it runs (aliases share one)
};

enum class TWizWorkState : std::uint8_t { wsReady,
                                          wsStop,
                                          wsWaitStopResponse };

// The number of pages the dialog has.
inline constexpr int WizardPageCount = 21;

class TMotWizManager {
public:
    TMotWizManager();
    ~TMotWizManager();
    TMotWizManager(const TMotWizManager&) = delete;
    TMotWizManager& operator=(const TMotWizManager&) = delete;

    // Class registries: a name registered twice is added twice, a lookup
    // finds the first (names without regard to case).
    void RegisterWizParClass(const MyAnsiString& AName, TWizParClass AClass);
    void RegisterWizValClass(const MyAnsiString& AName, TWizValClass AClass);
    bool WizParClassExists(const MyAnsiString& AName) const { return GetWizParClass(AName) != nullptr; }
    TWizParClass GetWizParClass(const MyAnsiString& AName) const;
    bool WizValClassExists(const MyAnsiString& AName) const { return GetWizValClass(AName) != nullptr; }
    TWizValClass GetWizValClass(const MyAnsiString& AName) const;

    // The dialog that shows the pages (nullptr: none). Rebuilds the page
    // handlers.
    void SetDialog(TMotWizDialog* Dialog);
    TMotWizDialog* Dialog() const noexcept { return FDialog; }
    // The folder searched for definition files (default: "Motors" beside
    // the program).
    void SetMotorsFolder(const std::filesystem::path& Folder) { FMotorsFolder = Folder; }
    std::filesystem::path MotorsFolder() const;

    // Prepares a wizard run on Device's services.
    bool Init(TDevice& ADevice, bool AChangeActuator);
    // The same on a tree of the caller's (kept until the next Init).
    bool Init(TWizTree& ATree, bool AChangeActuator);

    // The run of a definition already read (named Name): checked, loaded,
    // started and its rules run, as Init does after finding the file.
    bool InitWithDefinition(TWizTree& ATree, const TSLDictionary& Dict, const MyAnsiString& Name,
                            bool AChangeActuator = false);

    void InitPages();
    int GetPageCount() const noexcept { return static_cast<int>(ActualWizardPageList.size()); }
    TWizardPage& GetWizardPage(int Index) const;
    TSLArray* GetInfoArray(int Index) const { return GetWizardPage(Index).FInfoArray.Get(); }
    TWizardPage& GetCompletePage(int Page) const { return *CompleteWizardPageList.at(static_cast<std::size_t>(Page)); }
    void SelectNextPage();
    void SelectPreviousPage();
    bool GetNextEnable() const;
    bool GetFinishEnable();

    bool GetWizParExists(const MyAnsiString& AName) const { return GetWizParWithName(AName) != nullptr; }
    TWizardParameter* GetWizParWithName(const MyAnsiString& AName) const;
    int GetWizParCount() const noexcept { return static_cast<int>(WizParList.size()); }
    TWizardParameter& GetWizParAtIndex(int Index) const { return *WizParList.at(static_cast<std::size_t>(Index)); }
    bool GetWizValExists(const MyAnsiString& AName) const { return GetWizValWithName(AName) != nullptr; }
    TWizardValue* GetWizValWithName(const MyAnsiString& AName) const;
    int GetWizValCount() const noexcept { return static_cast<int>(WizValList.size()); }
    TWizardValue& GetWizValAtIndex(int Index) const { return *WizValList.at(static_cast<std::size_t>(Index)).second; }
    MyAnsiString GetWizValNameAtIndex(int Index) const { return WizValList.at(static_cast<std::size_t>(Index)).first; }
    int GetChangedWizParCount() const noexcept { return static_cast<int>(ChangedWizParList.size()); }
    TWizardParameter& GetChangedWizParAtIndex(int Index) const { return *ChangedWizParList.at(static_cast<std::size_t>(Index)); }

    // The rule engine.
    void ParameterChange(const MyAnsiString& ParameterName);
    void ValueChange(const MyAnsiString& ValueName);

    // Procedures by name (case ignored): the 38 names and the method each
    // runs. SetProcedureMethod gives a method its body (every name that
    // runs it runs the new body).
    int GetProcedureCount() const noexcept { return static_cast<int>(ProcedureList.size()); }
    const MyAnsiString& GetProcedureName(int Index) const { return ProcedureList.at(static_cast<std::size_t>(Index)).first; }
    const TWizProcedure* FindProcedure(const MyAnsiString& AName) const;
    void SetProcedureMethod(const MyAnsiString& AMethod, std::function<void()> Body);
    // Whether the name is registered and its method has a body.
    bool ProcedureHasBody(const MyAnsiString& AName) const;
    void RunProcedure(const MyAnsiString& AName);

    // The check list and the writing pass.
    void BuildChangesList();
    void Finish();
    TWizWorkState WorkState() const noexcept { return FWorkState; }

    // Error lines of the last run (rule cycles, a slider without its parts,
    // refused writes, a stop that did not come).
    const std::vector<MyAnsiString>& ErrorLines() const noexcept { return FErrorLines; }

    // Lets go of the device of the last run (before the device goes away);
    // the items stay.
    void ReleaseTree();
    // The drive side of the current run (nullptr before the first Init).
    TWizTree* Tree() const noexcept { return FTree; }
    const TDeviceUnit* FindUnit(std::int32_t UUID) const;
    const MyAnsiString& ADFName() const noexcept { return FADFName; }

    // Reading and checking definition files.
    TRef<TSLDictionary> ReadADFFile(const std::filesystem::path& Path) const;
    bool CheckForFirmwareCompatibility(const TSLDictionary& Dict);
    void SearchAllADFFilesWithName(const std::filesystem::path& Folder, const MyAnsiString& FileName,
                                   std::vector<std::filesystem::path>& List) const;
    bool ChooseActuator(std::filesystem::path& FileName);

    bool FInitializing = false;
    bool FChangeActuator = false;
    bool FLastPageVisited = false;
    std::int32_t FPageIndex = 0;

private:
    friend class TProcItems;

    // The calculation procedures (MotWizProc.cpp); RegisterProcedures gives
    // the registry's methods these bodies.
    void RegisterProcedures();
    void CalculateMotorProperty();
    void CalculateMotorPropertyTolvar();
    void CalculateMotorPropertyLinRot();
    void CalculateMotorPropertyLinRotG2();
    void CalculateMotorPropertyBrenno();
    void CalculateMotorPropertyK52();
    void BuildModuleActuatorName();
    void CalculateStrokeRange();
    void CalculateStrokeRangeBrenno();
    bool CentredStrokeRange(const char* Proc, const char* StatorLength);
    void CalculateStrokeRangeK52();
    void CalculateStrokeRangeLinRotG2();
    void CalculateModuleStrokeRange();
    void SetDistanceA();
    void SetDistanceB();
    void SetDistanceAK52();
    void SetDistanceBK52();
    void SetDistanceALinRotG2();
    void SetDistanceBLinRotG2();
    void CalculateCableResistance();
    void Calculate3PhCableResistance();
    void Calculate1PhCableResistance();
    void ProposeHomeFromDistanceA(const char* Proc, void (TMotWizManager::*StrokeRange)());
    void CableResistance(const char* Proc, bool ReadPhases);
    void CalculateFFValues();
    void CalculateControlParameters();
    void ChangeExtSensorType();
    void CalculateECMotorTypeAProperty();
    void CalculateECMotorTypeBProperty();
    void ChangeECMotorCountDirection();
    void SetExtSensorResolution2();
    void SetFBOnX3PeriodLength();
    void LinRotUpdatePageVisibility();
    void CalculateDCMotorProperty();
    // The dialog's visibility update of page number Page, when it has one.
    void UpdatePageVisibility(int Page);
    // The controller's current limit (drive parameter 4100) in amperes;
    // false with an error line naming Proc when the drive lacks it.
    bool ControllerCurrentLimit(const char* Proc, double& Limit);

    void BindTree(TWizTree& ATree);
    bool InitRun(bool AChangeActuator);
    void LoadFile(const std::filesystem::path& Path);
    void LoadDefinition(const TSLDictionary& Dict, const MyAnsiString& Name);
    void StartRun();
    void ReadStartValues();
    void Assign(const TSLDictionary& Item);
    void RunOnChange(const TSLArray* Array);
    void Error(const MyAnsiString& Text);
    void StatusServiceExecute();
    void StatusServiceUpdate();
    void ParameterServiceExecute();
    void ParameterServiceNotify();
    void WriteParameter(TWizardParameter& W);

    TWizTree* FTree = nullptr;
    std::unique_ptr<TWizTree> FOwnTree; // bound to a device by Init(TDevice&)
    TMotWizDialog* FDialog = nullptr;
    std::filesystem::path FMotorsFolder;
    MyAnsiString FADFName;
    TRef<TSLDictionary> FCheckedDict; // the file the last check accepted
    bool FOnline = false;
    TWizWorkState FWorkState = TWizWorkState::wsReady;
    std::chrono::steady_clock::time_point FStopDeadline;

    std::vector<std::pair<MyAnsiString, TWizProcedure>> ProcedureList;
    std::vector<std::pair<MyAnsiString, std::function<void()>>> FMethods;
    std::vector<std::pair<MyAnsiString, TWizParClass>> WizParClassList;
    std::vector<std::unique_ptr<TWizardParameter>> WizParList;
    std::vector<TWizardParameter*> ChangedWizParList;
    std::vector<std::pair<MyAnsiString, TWizValClass>> WizValClassList;
    std::vector<std::pair<MyAnsiString, std::unique_ptr<TWizardValue>>> WizValList;
    std::vector<std::unique_ptr<TWizardPage>> CompleteWizardPageList;
    std::vector<TWizardPage*> ActualWizardPageList;
    std::set<MyAnsiString> FRunningRules; // upper-cased names whose rules run
    std::vector<MyAnsiString> FErrorLines;
    std::vector<std::pair<MyAnsiString, MyAnsiString>> FWriteFailures;
};

// The program-wide manager (nullptr until the composition creates it).
TMotWizManager* MotWizardManager() noexcept;
TMotWizManager* SetMotWizardManager(TMotWizManager* Manager) noexcept;

// The text of a definition file as its dictionary; raises for anything
// else.
TRef<TSLDictionary> ReadADFText(const std::string& Text);

// Creates the program's manager and registers the seven item classes.
void InitMotWizardManager();
// Registers the seven item classes under their type names.
void RegisterWizardClasses(TMotWizManager& Manager);

} // namespace vo
