#pragma once
// One recorded oscilloscope channel: the raw 32-bit samples as the drive
// delivered them and what turns each into a physical value (type code,
// scale, offset, bit mask, unit) with the time base of the row.
#include <cstdint>
#include <span>

#include "diagnostics/DArray.h"
#include "diagnostics/osOscSet.h"
#include "diagnostics/osSample.h"
#include "platform/AnsiString.h"

namespace vo {

class TSLDictionary;

class TChanData {
public:
    TChanData();
    ~TChanData();
    TChanData(const TChanData&) = delete;
    TChanData& operator=(const TChanData&) = delete;

    // At least 1 ("TChanData.SetNumberOfValues: NumOfValues must be
    // positiv."); new samples are 0.
    void SetNumberOfValues(int Value);
    int GetNumberOfValues() const noexcept { return DataArray.GetColCount(); }

    // Stores raw sample Index ("TChanData.SetData + index out of bound." at or
    // beyond the number of values).
    void SetData(int Index, std::int32_t Value) {
        if (static_cast<unsigned>(Index) < static_cast<unsigned>(DataArray.GetColCount()) &&
            DataArray.GetRowCount() > 0) [[likely]] {
            DataArray.Data()[Index] = Value;
            return;
        }
        if (Index >= DataArray.GetColCount()) IndexOutOfBound();
        DataArray.SetValue(Index, 0, Value); // raises the array's index error
    }
    // The physical value of sample Index, rounded to single precision as
    // from extended arithmetic. A type without a conversion is reported once
    // in a message box and gives 0.
    [[gnu::always_inline]] double GetData(int Index) const {
        using enum ossample::TRawKind;
        // All that does not depend on Index first, ahead of every branch, so
        // that a loop over the samples does it once.
        const double scale = FVarScale, offset = FVarOffset;
        const ossample::TDoubleDecides decides(scale, offset);
        const std::int32_t* data = DataArray.Data();
        const bool inside = (static_cast<unsigned>(Index) < static_cast<unsigned>(DataArray.GetColCount())) &
            (DataArray.GetRowCount() > 0);
        const std::int32_t type = FVarType;
        if (!inside || static_cast<unsigned>(type) > osvt::FloatIEEE754 || ((LinearTypes >> type) & 1u) == 0) [[unlikely]]
            return GetDataOther(Index);
        const std::int32_t raw = data[Index];
        switch (type) {
        case osvt::SInt16:
            return ossample::Sample<rkSInt16>(raw, scale, offset, decides);
        case osvt::SInt8:
            return ossample::Sample<rkSInt8>(raw, scale, offset, decides);
        case osvt::UInt32:
        case osvt::UInt48: // the low four bytes of the sample
            return ossample::Sample<rkUInt32>(raw, scale, offset, decides);
        case osvt::VelFloat:
            return ossample::Sample<rkVelFloat>(raw, scale, offset, decides);
        case osvt::FloatIEEE754:
            return ossample::Sample<rkIeee>(raw, scale, offset, decides);
        default: // UInt16, SInt32, SInt48, UInt8
            return ossample::Sample<rkSInt32>(raw, scale, offset, decides);
        }
    }
    // The physical values of samples First, First + 1, ... into Out, each
    // bit for bit what GetData gives, converted block by block so that
    // several samples go at once. A range beyond the channel raises the
    // array's index error with Out untouched.
    void GetDataRange(int First, std::span<double> Out) const;
    // Largest and smallest physical value (without the single rounding).
    // Values that are not finite are passed over; none finite gives 0 and 0.
    // Bit types give 1 and 0; a type without a conversion is reported and
    // leaves both alone.
    void GetMaxMin(double& Max, double& Min) const;

    // Adds "DataArray", the physical values as doubles (replacing one there).
    void ExportData(TSLDictionary* Dict) const;
    // Takes the values of "DataArray" back into raw samples by the channel's
    // type, scale and offset (set them first). Refused as a whole, with the
    // channel unchanged, when an element is not a number or does not encode.
    void ImportData(const TSLDictionary* Dict);

    // The drive's packed float of a raw sample.
    static double IntToVelFloat(std::int32_t Raw) noexcept;

    bool FChannelOn = false;
    TDataArray DataArray; // one row, column i = sample i
    std::int32_t FBuffStartAddr = 0;
    MyAnsiString FVarCap;
    double FVarScale = 1.0;
    double FVarOffset = 0.0;
    std::int32_t FVarType = osvt::UInt16;
    TUnitStr FVarUnit;
    std::int32_t FBitValue = 0; // bit mask of a BOOL16 channel
    std::int32_t FVarSize = 0;
    double FTimePerIndex = 1.0; // seconds between two samples
    double FStartTime = 0.0; // seconds of sample 0 relative to the trigger

private:
    // Products and sums are formed in the widest floating type at hand.
    using TExtended = long double;

    // Whether the conversion keeps the order of the samples' values, so that
    // the extreme samples give the extreme values.
    bool MonotonicConversion() const noexcept;

    // The type codes GetData converts with scale and offset in line, as bits.
    static constexpr std::uint32_t LinearTypes = 1u << osvt::SInt16 | 1u << osvt::UInt16 | 1u << osvt::SInt32 |
        1u << osvt::UInt32 | 1u << osvt::SInt48 | 1u << osvt::UInt48 | 1u << osvt::VelFloat | 1u << osvt::SInt8 |
        1u << osvt::UInt8 | 1u << osvt::FloatIEEE754;
    // GetData of the other types and of a sample outside the store.
    [[gnu::cold, gnu::noinline]] double GetDataOther(int Index) const;
    // Reports a type without a conversion (once) and gives 0.
    [[gnu::cold]] double UnknownType() const noexcept;
    // The raw sample that gives the physical value X.
    std::int32_t Encode(double X) const;
    // Shows the unknown-type message once per type.
    void ReportUnknownType(const char* Operation) const;
    [[noreturn]] static void IndexOutOfBound();

    mutable std::int32_t FReportedType = -1;
};

} // namespace vo
