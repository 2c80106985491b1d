#pragma once
// The curve: a motion set-point table for the drive, equally spaced set
// points (raw drive integers of the Y unit) over time or a master position,
// with a header ("Info") that names the curve, gives its ID on the drive, its
// type, X length, units and the generator and parameters it was made with.
// The header is kept in the very dictionary that travels to and from the
// drive's scripts and configuration files. The set points are kept as a flat
// array of raw integers; their storage-language array ("Data") is built from
// them when it is asked for (saving, sending, Data()) and kept until the
// points change. Conversions go through the device units of the owning curve
// service. GUI thread only.
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "curves/ocObjCnt.h"
#include "parameters/DatTypes.h"
#include "storagelib/RefObj.h"

namespace vo {

class TCurveUnits;
class TCurveWizard;
class TDeviceUnit;
class TSLArray;

class TCurve : public TZezDataObject {
public:
    static constexpr int InfoBlockSize = 70;
    static constexpr int MaxNameBytes = 22;

    // A new empty curve (CreateNew).
    explicit TCurve(TModelManager* AModels = nullptr);
    // A curve rebuilt from a saved header and content; the header's "Version"
    // must equal the curve manager's "ActualVersion", else raises
    // "TCurve.CreateOpen: unknown type or version!". "Info" and "Data" are
    // taken by reference, not copied: the points are read from "Data" once,
    // and while somebody else holds that array every change of the points is
    // written back to it at once.
    static std::unique_ptr<TCurve> CreateOpen(TSLDictionary& ObjInfo, TSLDictionary& ObjData,
                                              TModelManager* AModels = nullptr);
    ~TCurve() override;

    const char* ClassName() const override { return "TCurve"; }
    static MyAnsiString ObjectTypeName() { return "CurveObject"; }
    MyAnsiString ObjectType() const override { return ObjectTypeName(); }
    // The class as the data object registry lists it.
    static const TZezDataTypeClass& DataTypeClass();
    void SaveInfoToDict(TSLDictionary& ObjInfo) const override;
    void SaveDataToDict(TSLDictionary& ObjData) const override;

    // The units of the owning curve service (identity units without one).
    void SetUnits(const TCurveUnits* Units) noexcept { FUnits = Units; }
    const TCurveUnits* Units() const noexcept { return FUnits; }

    // Header.
    std::int32_t GetDataOffset() const { return Int("DataOffset"); }
    void SetDataOffset(std::int32_t v) { SetInt("DataOffset", v); }
    std::int32_t GetObjType() const { return Int("ObjType"); }
    void SetObjType(std::int32_t v) { SetInt("ObjType", v); }
    std::int32_t GetNoOfSetPoints() const { return Int("NoOfSetPoints"); }
    void SetNoOfSetPoints(std::int32_t v) { SetInt("NoOfSetPoints", v); }
    std::int32_t GetDataTypeSize() const { return Int("DataTypeSize"); }
    void SetDataTypeSize(std::int32_t v) { SetInt("DataTypeSize", v); }
    std::int32_t GetXDimUUID() const { return Int("XDimUUID"); }
    void SetXDimUUID(std::int32_t v) { SetInt("XDimUUID", v); }
    std::int32_t GetYDimUUID() const { return Int("YDimUUID"); }
    void SetYDimUUID(std::int32_t v) { SetInt("YDimUUID", v); }
    std::int32_t GetWizardType() const { return Int("WizardType"); }
    void SetWizardType(std::int32_t v) { SetInt("WizardType", v); }
    MyAnsiString GetCurveName() const;
    void SetCurveName(const MyAnsiString& v);
    std::int32_t GetID() const { return Int("ID"); }
    void SetID(std::int32_t v); // marks modified when it changes
    double GetXLength() const;
    void SetXLength(double Value); // marks modified when the raw value changes
    // Index 0..6 ("WizardPar1".."WizardPar7"); another index gives 0 / does nothing.
    std::int32_t GetWizardParIntValue(int Index) const;
    void SetWizardParIntValue(int Index, std::int32_t Value);
    // In the unit of the generator's parameter Index; without a registered
    // generator of this curve's type the raw value passes unchanged.
    double GetWizardParSIValue(int Index) const;
    void SetWizardParSIValue(int Index, double Value);
    bool GetDownloaded() const;
    void SetDownloaded(bool v);
    std::int32_t GetCurveType() const { return static_cast<std::int32_t>(static_cast<std::uint32_t>(GetObjType()) >> 8); }
    // X distance of neighbouring points; fewer than 2 points raise "Invalid curve".
    double GetCurveResolution() const;
    MyAnsiString GetWizardCaption() const;
    MyAnsiString GetYDimUnitCaption(TUnitSystem US) const;
    std::int32_t GetManualWizardType() const;
    bool GetIsManualType() const { return GetWizardType() == GetManualWizardType(); }
    void ChangeToManual();

    // Set points (the valid range is 0..NoOfSetPoints - 1 by the header).
    std::int32_t GetDataInt(int Index) const;
    void SetDataInt(int Index, std::int32_t Value);
    double GetDataSI(int Index) const;
    void SetDataSI(int Index, double Value);
    void AddNewIntData(std::int32_t Value);
    void AddNewSIData(double Value);
    // Appends many SI values at once (one modified mark).
    void AddNewSIData(const std::vector<double>& Values);
    // ClearDataArray followed by AddNewSIData(Values); a value beyond the
    // raw range raises and leaves the curve as it was.
    void ReplaceSIData(const std::vector<double>& Values);
    // The same for Count points all at Value (converted once).
    void ReplaceSIData(std::int32_t Count, double Value);
    void InsertNewIntData(int Index, std::int32_t Value);
    void InsertNewSIData(int Index, double Value);
    void RemoveDataAtIndex(int Index);
    void ClearDataArray();
    std::int32_t GetStartPointInt() const;
    std::int32_t GetEndPointInt() const;
    void GetMaxMin(double& MaxValue, double& MinValue) const;
    MyAnsiString GetDataString(int Index, TUnitSystem US) const;

    // Building.
    void InitCurve(TCurveWizard& AWizard, std::int32_t ACurveID, std::int32_t ANoOfSetPoints, std::int32_t AXYDimCode,
                   std::int32_t AXDimUUID, std::int32_t AYDimUUID, bool CalcNew);
    void InitJoinCurve(const TCurve& SourceCurve, std::int32_t NoOfSetPointsProposal, double NewXLength);

    // Interpolation over the SI X axis.
    double GetInterpolatedValue(double ActualX) const;
    std::int32_t GetInterpolatedIntValue(double ActualX) const;

    // The drive's info block (70 bytes) and data block.
    std::array<std::uint8_t, InfoBlockSize> InfoBlock() const;
    std::vector<std::uint8_t> DataBlock() const;
    // Appends the raw export block to an existing text file; raises
    // EInOutError when it cannot be opened for appending or written.
    void WriteRawDataToFile(const MyAnsiString& FileName) const;
    // The export lines (without the leading empty line's break handling).
    std::vector<MyAnsiString> RawDataLines() const;

    TSLDictionary& Info() const { return *FInfo; }
    // The set points as the storage-language array that is saved and sent,
    // brought up to date with the points first. Read it again after the
    // points change; change the points through the curve only.
    const TSLArray& Data() const;

    bool FDeleteRequest = false;
    TObject* FCurveSrv = nullptr; // owning curve service, set by it

private:
    struct TOpenKey {};
    TCurve(TOpenKey, TModelManager* AModels);
    void InitInfo();
    std::int32_t Int(const char* Name) const;
    void SetInt(const char* Name, std::int64_t Value);
    const TDeviceUnit& XUnit() const;
    const TDeviceUnit& YUnit() const;
    const TDeviceUnit& WizardParUnit(int Index, bool& Found) const;
    void CheckIndex(int Index, const char* Method) const;
    std::int32_t ToRaw(const TDeviceUnit& Unit, double Value) const;
    // Number of points in the array (not by the header).
    int PointCount() const;
    // Raw value of point Index, 0 <= Index < PointCount().
    std::int32_t RawPoint(int Index) const;
    // Takes the points of an opened array; keeps them in it when one is not
    // a 32-bit integer only that array holds.
    void TakePoints();
    // Converts Values to raw integers appended to Out; raises (Out as it was)
    // when one is beyond the raw range.
    void AppendRaw(const std::vector<double>& Values, std::vector<std::int32_t>& Out) const;
    // The points changed as a whole: the array follows now when somebody
    // else holds it, else when it is asked for.
    void PointsReplaced();
    // Brings the array up to date with FPoints, reusing the point objects
    // that only the array holds.
    void SyncData() const;

    TRef<TSLDictionary> FInfo;
    TRef<TSLArray> FData; // the points as saved and sent
    std::vector<std::int32_t> FPoints; // the points, while FFlat
    // False while an opened array holds what FPoints cannot (values of other
    // types or ranges, shared elements): the points then stay in FData only.
    bool FFlat = true;
    mutable bool FDataStale = false; // FData lags behind FPoints
    const TCurveUnits* FUnits = nullptr;
};

} // namespace vo
