#pragma once
// The curve manager: the program-wide registry of the curve generators, the
// curve types read from the curve types file, the curve information (format
// version), the curve graph window's view factory and the open curve value
// windows. GUI thread only.
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/AnsiString.h"
#include "storagelib/RefObj.h"

namespace vo {

class TApplicationViewFactory;
class TCurve;
class TCurveWizard;
class TSLArray;
class TSLDictionary;

// An open curve value window, as the manager lists it.
class TCurveDataView {
public:
    virtual ~TCurveDataView() = default;
    virtual TCurve* Curve() const = 0;
};

class TCurveManager {
public:
    TCurveManager();
    ~TCurveManager();
    TCurveManager(const TCurveManager&) = delete;
    TCurveManager& operator=(const TCurveManager&) = delete;

    static const char* ClassName() noexcept { return "TCurveManager"; }

    // Adds the generator under its name; a name registered already (letter
    // case ignored) raises "TCurveManager.RegisterCurveWizard: curve wizard
    // already registered".
    void RegisterCurveWizard(std::unique_ptr<TCurveWizard> Wizard);
    // Keeps the "CurveTypeArray" of a stored object; errors are shown to the
    // user and leave no types.
    void RegisterCurveType(const MyAnsiString& FileName);
    // Keeps the curve information dictionary of a stored object; errors are
    // shown to the user.
    void Init(const MyAnsiString& FileName);
    // The same from dictionaries already read.
    void SetCurveTypes(TSLArray* Types);
    void SetCurveInfo(TSLDictionary* Info);

    int GetWizardCount() const noexcept { return static_cast<int>(CurveWizardList.size()); }
    // Raises "TCurveManager.GetWizard: Index out of bound." outside the list.
    TCurveWizard& GetWizard(int Index) const;
    TCurveWizard* GetWizardWithName(const MyAnsiString& Name) const;
    TCurveWizard* GetWizardOfType(std::int32_t WizardType) const;
    // The first non-"FromFile..." caption of the type; "Unknown" without one.
    MyAnsiString GetWizardCaption(std::int32_t WizardType) const;
    bool WizardValidForCurve(const MyAnsiString& WizardName, int CurveIndex) const;

    // Curve types by position.
    int GetCurveTypeCount() const;
    MyAnsiString GetCurveTypeCaptionAtIndex(int Index) const;
    MyAnsiString GetCurveXDimCaptionAtIndex(int Index) const;
    MyAnsiString GetCurveYDimCaptionAtIndex(int Index) const;
    MyAnsiString GetCurveDefaultNameAtIndex(int Index) const;
    std::int32_t GetCurveXYDimCodeAtIndex(int Index) const;
    std::int32_t GetCurveXDimUUIDAtIndex(int Index) const;
    std::int32_t GetCurveYDimUUIDAtIndex(int Index) const;
    std::int32_t GetManualWizardTypeOfCurveAtIndex(int Index) const;

    // Curve types by code ("ID"); the last entry with the code wins.
    MyAnsiString GetCurveTypeCaption(std::int32_t CurveType) const;
    MyAnsiString GetCurveXDimCaption(std::int32_t CurveType) const;
    MyAnsiString GetCurveYDimCaption(std::int32_t CurveType) const;
    std::int32_t GetManualWizardTypeOfCurve(std::int32_t CurveType) const;
    std::int32_t GetDataTypeSizeOfCurve(std::int32_t CurveType) const;
    // The position of the first entry with the code, or -1.
    int GetIndexOfCurveType(std::int32_t CurveType) const;

    // "ActualVersion" of the curve information; -1 without it.
    std::int32_t ActualVersion() const;
    TSLDictionary* CurveInfo() const noexcept { return FCurveInfo.Get(); }

    // The open value window of ACurve, or a new one from the installed
    // factory (null without a factory); at most one per curve.
    TCurveDataView* GetCurveDataView(TCurve* ACurve);
    void RemoveCurveDataView(TCurveDataView* AForm);
    using TCurveDataViewFactory = std::function<TCurveDataView*(TCurve*)>;
    void SetCurveDataViewFactory(TCurveDataViewFactory Factory) { FCreateDataView = std::move(Factory); }

    // The curve graph window's factory; installed by the curve windows.
    TApplicationViewFactory* FModelView = nullptr;

private:
    TSLDictionary* TypeAt(int Index) const;
    // The last entry with the code, or null.
    TSLDictionary* TypeWithCode(std::int32_t CurveType) const;

    std::vector<std::unique_ptr<TCurveWizard>> CurveWizardList; // registration order
    TRef<TSLArray> CurveTypeArray;
    TRef<TSLDictionary> FCurveInfo;
    std::vector<TCurveDataView*> FCurveDataViews;
    TCurveDataViewFactory FCreateDataView;
};

// The program's curve manager; null until the composition root creates it.
// With a loader set, the first call makes it (on the main thread).
TCurveManager* CurveManager() noexcept;
void SetCurveManager(TCurveManager* Manager) noexcept;
// Loader makes the curve manager when it is first asked for, once; setting a
// manager drops a loader that has not run.
void SetCurveManagerLoader(std::function<void()> Loader);

} // namespace vo
