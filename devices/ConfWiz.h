#pragma once
// The offline configuration wizard's model ("Create Configuration Offline"):
// from the information block of a firmware script (its "Init" entry; script
// versions 2, 3 and 4) the user picks a controller, an interface and an
// application; the wizard turns the choice into the firmware tree names of a
// drive with that firmware (operating system, motion control, interface,
// application) and into release and version numbers. The module service of a
// device whose "ConfigFile" is "CREATEOFFLINE" takes these tree names and the
// firmware release. The form (devices/gui/ConfWizForm) only shows the lists
// and calls this model.
//
// The block is read as name-value pairs: the value of a name is the element
// after the first identifier whose text equals the name exactly. A required
// entry that is missing or of the wrong kind raises "Wrong file type!".
#include "platform/AnsiString.h"
#include "storagelib/RefObj.h"

#include <cstdint>
#include <vector>

namespace vo {

class TSLArray;
class TSLBlock;
class TSLDictionary;
class TSLObject;


class TConfWizard {
public:
    TConfWizard();
    ~TConfWizard();
    TConfWizard(const TConfWizard&) = delete;
    TConfWizard& operator=(const TConfWizard&) = delete;

    // Keeps the block and its "Controllers" (raises "Wrong file type!" when
    // it has none), lists the offered controllers (TypeSupported 1,
    // HideOffline 0) and selects the first.
    void Initialize(TSLBlock* InfoBlock, int32_t FirmwareScriptVersion);

    // The offered controllers, interfaces and applications (captions).
    const std::vector<MyAnsiString>& Controllers() const { return FControllerNames; }
    const std::vector<MyAnsiString>& Interfaces() const { return FInterfaceCaptions; }
    const std::vector<MyAnsiString>& Applications() const { return FApplicationCaptions; }
    // False when the controller lists no interfaces (applications).
    bool InterfacesEnabled() const { return FInterfacesEnabled; }
    bool ApplicationsEnabled() const { return FApplicationsEnabled; }
    int ControllerIndex() const { return FControllerIndex; }
    int InterfaceIndex() const { return FInterfaceIndex; }
    int ApplicationIndex() const { return FApplicationIndex; }
    // Selecting a controller fills the two other lists and selects their
    // first entries.
    void SelectController(int Index);
    void SelectInterface(int Index);
    void SelectApplication(int Index);

    // Builds the tree names and numbers of the selection. Raises "Wrong file
    // type!" for a missing entry; the names built up to there stay.
    void BuildNames();
    int GetNumberOfIniFile() const { return static_cast<int>(FIniFileList.size()); }
    // Raises "TConfWizard.GetNameAtIndex: index out of bounds".
    const MyAnsiString& GetNameAtIndex(int Index) const;

    int32_t FFirmwareScriptVersion = 0;
    int32_t FReleaseVersion = 0;
    int32_t FReleaseSubVersion = 0;
    MyAnsiString FReleaseBuildInfo;
    MyAnsiString FDeviceType;
    MyAnsiString FFirmwareRelease;
    int32_t FOSMainVersion = 0, FOSSubVersion = 0;
    int32_t FMCMainVersion = 0, FMCSubVersion = 0;
    int32_t FIntfMainVersion = 0, FIntfSubVersion = 0;
    int32_t FApplMainVersion = 0, FApplSubVersion = 0;

private:
    // The value after the first identifier Name in the block (nullptr: none).
    TSLObject* GetObjectFromBlock(const MyAnsiString& Name) const;
    TSLDictionary* SelectedController() const;
    // Interface or application tree ("Intf" or "Appl").
    void AddModuleTree(const char* Kind, TSLDictionary* Controller, const MyAnsiString& E, TSLDictionary* Entry,
                       int32_t& Main, int32_t& Sub);

    TRef<TSLArray> FControllers;
    TRef<TSLBlock> FInfoBlock;
    std::vector<MyAnsiString> FIniFileList;
    std::vector<TSLDictionary*> FOffered; // the offered controllers (in FControllers)
    std::vector<MyAnsiString> FControllerNames;
    std::vector<TSLDictionary*> FInterfaceEntries, FApplicationEntries; // in the block
    std::vector<MyAnsiString> FInterfaceCaptions, FApplicationCaptions;
    bool FInterfacesEnabled = false, FApplicationsEnabled = false;
    int FControllerIndex = -1, FInterfaceIndex = -1, FApplicationIndex = -1;
};

// The program's one wizard.
TConfWizard& ConfWizard();

} // namespace vo
