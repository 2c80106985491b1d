#pragma once
// The three concrete property items. Each binds a getter and a setter of the
// owning class and a selector id that is handed back to them, so that one pair
// of accessors serves every property of a class. A property without a setter is
// read-only.
#include <cstdint>
#include <functional>

#include "kernel/PropList.h"

namespace vo {

using TSetString = std::function<void(TObject* AObj, int AId, const MyAnsiString& AValue)>;
using TGetString = std::function<MyAnsiString(TObject* AObj, int AId)>;
using TSetLongint = std::function<void(TObject* AObj, int AId, std::int32_t AValue)>;
using TGetLongint = std::function<std::int32_t(TObject* AObj, int AId)>;
using TSetDouble = std::function<void(TObject* AObj, int AId, double AValue)>;
using TGetDouble = std::function<double(TObject* AObj, int AId)>;

// Accessor-bound item of value type V.
template <class TGet, class TSet>
class TBoundProperty : public TPropertyItem {
public:
    using TPropertyItem::TPropertyItem;

    void Setup(TGet GetProp, TSet SetProp, int AId) {
        FOnGetProp = std::move(GetProp);
        FOnSetProp = std::move(SetProp);
        FId = AId;
    }
    // True when no setter is bound.
    bool GetReadOnly() const override { return !FOnSetProp; }

    int Id() const noexcept { return FId; }

protected:
    void CheckWriteAccess() const;
    void CheckReadAccess() const;

    int FId = 0;
    TSet FOnSetProp;
    TGet FOnGetProp;
};

class TStringProperty : public TBoundProperty<TGetString, TSetString> {
public:
    using TBoundProperty::TBoundProperty;
    void SetValue(TObject* AObj, const MyAnsiString& AStr) override;
    MyAnsiString GetValue(TObject* AObj) const override;
    // Longest text the setter accepts; 0 = no limit.
    int MaxSize() const noexcept { return FMaxSize; }
    void SetMaxSize(int Value) noexcept { FMaxSize = Value; }

private:
    int FMaxSize = 0;
};

class TLongintProperty : public TBoundProperty<TGetLongint, TSetLongint> {
public:
    using TBoundProperty::TBoundProperty;
    void SetValue(TObject* AObj, const MyAnsiString& AStr) override;
    MyAnsiString GetValue(TObject* AObj) const override;
};

class TDoubleProperty : public TBoundProperty<TGetDouble, TSetDouble> {
public:
    using TBoundProperty::TBoundProperty;
    void SetValue(TObject* AObj, const MyAnsiString& AStr) override;
    MyAnsiString GetValue(TObject* AObj) const override;
};

// Text <-> number conversions of the property items, with "." as the decimal
// separator whatever the locale. They raise EConvertError with the messages
// "'%s' is not a valid integer value" / "'%s' is not a valid floating point value".
std::int32_t PropStrToInt(const MyAnsiString& AStr);
double PropStrToFloat(const MyAnsiString& AStr);
// General format with 15 significant digits ("1.5", "0.1", "1E20", "-2.5E-7").
MyAnsiString PropFloatToStr(double AValue);

extern template class TBoundProperty<TGetString, TSetString>;
extern template class TBoundProperty<TGetLongint, TSetLongint>;
extern template class TBoundProperty<TGetDouble, TSetDouble>;

} // namespace vo
