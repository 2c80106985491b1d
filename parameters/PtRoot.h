#pragma once
// The root of a device's parameter tree: made by the parameter service
// without a record; it holds no value, every value operation is empty.
#include "parameters/PtGen.h"

namespace vo {

class TRootDirParameter : public TGenericDirParameter {
public:
    // Image 20, visible attribute set.
    explicit TRootDirParameter(TParameterService& AOwner);

    const char* ClassName() const override { return "TRootDirParameter"; }

    void GetScaledValue(TValueRec& V, TUnitSystem US, const MyAnsiString& DisplayMode) const override;
    void SetScaledValue(const MyAnsiString&, TUnitSystem, const MyAnsiString&) override {}
    void GetDefaultStr(TValueRec& V, TUnitSystem US, const MyAnsiString& DisplayMode) const override;
    MyAnsiString GetRawDataStr(const MyAnsiString&) const override { return {}; }
    MyAnsiString GetChildValueStr(const MyAnsiString&) const override { return {}; }
    double GetBaseScaledValue() const override { return 0.0; }
    bool GetBoolValue() const override { return false; }
    void SetBoolValue(bool) override {}
    std::int64_t GetIntValue() const override { return 0; }
    double GetValue(TUnitSystem) const override { return 0.0; }
    MyAnsiString GetStrValue() const override { return {}; }
    void SetStrValue(const MyAnsiString&) override {}
    void SetDefaultValue(TUnitSystem) override {}
    std::int32_t GetAddress() const override { return 0; }
    std::int32_t GetBitAddr() const override { return 0; }
    std::int32_t GetChildValue() const override { return 0; }
    void SetIntValue(TUnitSystem, std::int64_t) override {}
};

} // namespace vo
