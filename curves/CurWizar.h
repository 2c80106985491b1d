#pragma once
// Curve generators ("wizards"): each turns a few parameters entered by the
// user into the set points of a curve. TCurveWizard reads a generator's entry
// from the curve types file, converts and range-checks the parameters,
// derives the information values shown to the user and proposes a number of
// set points; the subclasses compute the profiles. All quantities inside a
// generator are SI values; conversions happen at the edit texts and in the
// curve. GUI thread only.
#include <cstdint>
#include <memory>
#include <vector>

#include "kernel/Object.h"
#include "platform/AnsiString.h"

namespace vo {

class TCurve;
class TDeviceUnit;
class TSLDictionary;
class TUnitService;

// Where curves and generators find device units by UUID (the owning curve
// service's unit service).
class TCurveUnits {
public:
    virtual ~TCurveUnits() = default;
    // Null when there is no unit with that UUID.
    virtual const TDeviceUnit* GetUnitWithUUID(std::int32_t UUID) const = 0;
};

// The units of a device's unit service.
class TUnitServiceUnits : public TCurveUnits {
public:
    explicit TUnitServiceUnits(const TUnitService& AService) : FService(AService) {}
    const TDeviceUnit* GetUnitWithUUID(std::int32_t UUID) const override;

private:
    const TUnitService& FService;
};

// The unit with UUID, or the identity unit when there is none.
const TDeviceUnit& CurveUnit(const TCurveUnits* Units, std::int32_t UUID);
// Rounded to the nearest integer, a half to the even neighbour.
double Nearest(double Value);

struct TWizardPar {
    MyAnsiString Name;
    MyAnsiString Caption;
    std::int32_t ParUUID = 0;
    double Value = 0.0; // SI, set by DataCheck
    double DefaultValue = 0.0;
    double MinValue = 0.0;
    double MaxValue = 0.0;
};

struct TInfoValue {
    MyAnsiString Name;
    MyAnsiString Caption;
    std::int32_t ParUUID = 0;
    double Value = 0.0; // SI, set by DataCheck
};

class TCurveWizard : public TObject {
public:
    // Reads the entry named WizardName from the "WizardTypeArray" of the
    // stored object FileName; errors are shown to the user and leave the
    // generator as far as it was built (without parameters when the entry is
    // missing). The generator keeps WizardName as its name in any case.
    TCurveWizard(const MyAnsiString& FileName, const MyAnsiString& WizardName);
    // The same from a curve types dictionary read once for all generators
    // (null: the file could not be read; the generator has no entry).
    TCurveWizard(const TSLDictionary* File, const MyAnsiString& WizardName);
    // The same from a curve types dictionary already read (errors pass on).
    void LoadEntry(const TSLDictionary& File, const MyAnsiString& WizardName);

    virtual const char* ClassName() const { return "TCurveWizard"; }

    // Reads ParTexts (one text per parameter, in the user's unit system),
    // range-checks them, derives the information values, FXLength and the
    // proposed number of points (capped by MaxNumOfPoints). Any error is shown
    // in an error box and gives false.
    virtual bool DataCheck(const std::vector<MyAnsiString>& FParEditList, const TCurveUnits* UnitService,
                           std::int32_t MaxNumOfPoints);
    // Empties the curve's set points and appends NoOfSetPoints SI values
    // computed from the parameters of the last successful check.
    virtual void CalcSetpoints(std::int32_t NoOfSetPoints, TCurve& Curve);
    virtual std::int32_t GetWizardType() const = 0;

    // The set points CalcSetpoints appends, as SI values.
    std::vector<double> CalcSIPoints(std::int32_t NoOfSetPoints) const;
    void CalcSIPoints(std::int32_t NoOfSetPoints, std::vector<double>& Out) const;

    int GetNoOfWizardPars() const noexcept { return static_cast<int>(FWizardParameters.size()); }
    int GetNoOfInfoValues() const noexcept { return static_cast<int>(FInfoValues.size()); }
    MyAnsiString GetParCaption(int i) const;
    MyAnsiString GetInfoValueCaption(int i) const;
    std::int32_t GetParUUID(int i) const;
    std::int32_t GetInfoValueUUID(int i) const;
    double GetParDefaultValue(int i) const;
    double GetParSIValue(int i) const;
    double GetInfoSIValue(int i) const;
    const TWizardPar* GetPar(int i) const;

    std::int32_t FWizardType = 0;
    MyAnsiString FWizardName;
    MyAnsiString FWizardCaption;
    std::vector<TWizardPar> FWizardParameters;
    std::vector<TInfoValue> FInfoValues;
    double FXLength = 0.0;
    std::int32_t FNoOfSetPointsProposal = 0;

protected:
    // The common check: each text to raw in the user's unit system, to SI,
    // within the limits; stored as the parameter's Value. Raises.
    void CheckParameters(const std::vector<MyAnsiString>& Texts, const TCurveUnits* Units);
    // The generator's own check after the common one. Raises.
    virtual void Check(const TCurveUnits* Units, std::int32_t MaxNumOfPoints);
    // Appends N SI points to Out (N >= 1).
    virtual void CalcPoints(std::int32_t N, std::vector<double>& Out) const;

    // Value of parameter i (0 when it does not exist).
    double P(int i) const { return GetParSIValue(i); }
    void SetInfo(int i, double Value);
    // One point per millisecond of Duration, at least 2, at most Max.
    static std::int32_t Proposal(double Duration, std::int32_t Max);
    // Raises when a value of the check is not finite.
    static void RequireFinite(std::initializer_list<double> Values);
};

// Sine stroke over time.
class TSineWizard : public TCurveWizard {
public:
    using TCurveWizard::TCurveWizard;
    const char* ClassName() const override { return "TSineWizard"; }
    std::int32_t GetWizardType() const override { return 769; }

protected:
    void Check(const TCurveUnits* Units, std::int32_t Max) override;
    void CalcPoints(std::int32_t N, std::vector<double>& Out) const override;
    double StartPoint = 0, EndPoint = 0;
};

// Sine stroke over master position.
class TSinPosIncWizard : public TSineWizard {
public:
    using TSineWizard::TSineWizard;
    const char* ClassName() const override { return "TSinPosIncWizard"; }
    std::int32_t GetWizardType() const override { return 4865; }

protected:
    void Check(const TCurveUnits* Units, std::int32_t Max) override;
};

// Point to point with velocity and acceleration limits, over time.
class TPToPWizard : public TCurveWizard {
public:
    using TCurveWizard::TCurveWizard;
    const char* ClassName() const override { return "TPToPWizard"; }
    std::int32_t GetWizardType() const override { return 1025; }

protected:
    void Check(const TCurveUnits* Units, std::int32_t Max) override;
    void CalcPoints(std::int32_t N, std::vector<double>& Out) const override;
    double StartPoint = 0, EndPoint = 0, MaxVel = 0, StartAcc = 0, EndDec = 0;
    double s_a = 0, v_c = 0, t_a = 0, t_c = 0, T = 0;
};

// Minimum jerk over four equal phases, over time.
class TMinJerkWizard : public TCurveWizard {
public:
    using TCurveWizard::TCurveWizard;
    const char* ClassName() const override { return "TMinJerkWizard"; }
    std::int32_t GetWizardType() const override { return 1281; }

protected:
    void Check(const TCurveUnits* Units, std::int32_t Max) override;
    void CalcPoints(std::int32_t N, std::vector<double>& Out) const override;
    double StartPoint = 0, EndPoint = 0, CurveLength = 0;
};

// Minimum jerk over master position.
class TMinJerkPosIncWizard : public TMinJerkWizard {
public:
    using TMinJerkWizard::TMinJerkWizard;
    const char* ClassName() const override { return "TMinJerkPosIncWizard"; }
    std::int32_t GetWizardType() const override { return 5377; }

protected:
    void Check(const TCurveUnits* Units, std::int32_t Max) override;
};

// Jerk-limited move over time (seven phases).
class TLimitJerkWizard : public TCurveWizard {
public:
    using TCurveWizard::TCurveWizard;
    const char* ClassName() const override { return "TLimitJerkWizard"; }
    std::int32_t GetWizardType() const override { return 1793; }

    double StartPoint = 0, EndPoint = 0, v_Max = 0, a_Acc = 0, a_Dec = 0, r = 0;
    double S = 0, Sgn = 1, a_n = 0, a_x = 0, v_G1 = 0, v_G2 = 0, v_G3 = 0, v_Limit1 = 0, v_Limit2 = 0, v_G = 0,
           v_P = 0, s_Acc = 0, s_Dec = 0, s_Con = 0, a_G = 0, a_P1 = 0, a_P2 = 0, t1 = 0, t2 = 0, t3 = 0, t4 = 0,
           t5 = 0, t6 = 0, t7 = 0, CurveLength = 0;

protected:
    void Check(const TCurveUnits* Units, std::int32_t Max) override;
    void CalcPoints(std::int32_t N, std::vector<double>& Out) const override;
};

// Standstill over time: every point at the standstill position.
class TStandstillWizard : public TCurveWizard {
public:
    using TCurveWizard::TCurveWizard;
    const char* ClassName() const override { return "TStandstillWizard"; }
    std::int32_t GetWizardType() const override { return 513; }
    // Every point is the same: converted once.
    void CalcSetpoints(std::int32_t NoOfSetPoints, TCurve& Curve) override;

protected:
    void Check(const TCurveUnits* Units, std::int32_t Max) override;
    void CalcPoints(std::int32_t N, std::vector<double>& Out) const override;
    double StandstillPoint = 0;
};

// Standstill over master position.
class TStandstillPosIncWizard : public TStandstillWizard {
public:
    using TStandstillWizard::TStandstillWizard;
    const char* ClassName() const override { return "TStandstillPosIncWizard"; }
    std::int32_t GetWizardType() const override { return 4609; }

protected:
    void Check(const TCurveUnits* Units, std::int32_t Max) override;
};

// An empty curve of a given length over time, for manual entry or for
// values read from a file.
class TManualWizard : public TCurveWizard {
public:
    using TCurveWizard::TCurveWizard;
    const char* ClassName() const override { return "TManualWizard"; }
    std::int32_t GetWizardType() const override { return 257; }
    void CalcSetpoints(std::int32_t NoOfSetPoints, TCurve& Curve) override;

protected:
    void Check(const TCurveUnits* Units, std::int32_t Max) override;
    void CalcPoints(std::int32_t N, std::vector<double>& Out) const override;
};

// An empty curve over master position.
class TManualPosIncWizard : public TManualWizard {
public:
    using TManualWizard::TManualWizard;
    const char* ClassName() const override { return "TManualPosIncWizard"; }
    std::int32_t GetWizardType() const override { return 4353; }
};

// Acceleration, constant and deceleration lengths over master position.
class TVALengthPosIncWizard : public TCurveWizard {
public:
    using TCurveWizard::TCurveWizard;
    const char* ClassName() const override { return "TVALengthPosIncWizard"; }
    std::int32_t GetWizardType() const override { return 5121; }

protected:
    void Check(const TCurveUnits* Units, std::int32_t Max) override;
    void CalcPoints(std::int32_t N, std::vector<double>& Out) const override;
    double NomEncSpeed = 0, StartPoint = 0, EndPoint = 0, AccLength = 0, ProportionalLength = 0, DecLength = 0;
};

// Conveyor-synchronous cam over master position.
class TConvSyncPosIncWizard : public TCurveWizard {
public:
    using TCurveWizard::TCurveWizard;
    const char* ClassName() const override { return "TConvSyncPosIncWizard"; }
    std::int32_t GetWizardType() const override { return 5633; }

protected:
    void Check(const TCurveUnits* Units, std::int32_t Max) override;
    void CalcPoints(std::int32_t N, std::vector<double>& Out) const override;
    double NomEncSpeed = 0, ConvVelocity = 0, StartPoint = 0, EndPoint = 0, AccStroke = 0, DecStroke = 0;
    double CamLength = 0;
};

} // namespace vo
