#pragma once
// One recorded oscilloscope channel: the raw 32-bit samples as the drive
// delivered them and what turns each into a physical value (type code,
// scale, offset, bit mask, unit) with the time base of the row.
#include <bit>
#include <cstdint>
#include <span>

#include "diagnostics/DArray.h"
#include "diagnostics/osOscSet.h"
#include "diagnostics/osSample.h"
#include "parameters/VelFloat.h"
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
        if (static_cast<unsigned>(Index) < static_cast<unsigned>(DataArray.GetFirstRowLength())) [[likely]] {
            DataArray.Data()[Index] = Value;
            return;
        }
        if (Index >= DataArray.GetColCount()) IndexOutOfBound();
        DataArray.SetValue(Index, 0, Value); // raises the array's index error
    }
    // The physical value of sample Index, rounded to single precision. A type
    // without a conversion is reported once, in a message box that does not
    // wait for the user, and gives 0.
    // Inline and free of calls on the common paths: a caller's loop over the
    // samples keeps its sums in registers. The commonest types are tested
    // first, ahead of the jump table.
    [[gnu::always_inline]] double GetData(int Index) const {
        if (static_cast<unsigned>(Index) >= static_cast<unsigned>(DataArray.GetFirstRowLength())) [[unlikely]]
            IndexError(Index);
        const std::int32_t raw = DataArray.Data()[Index];
        const std::int32_t type = FVarType;
        TExtended x;
        if (type == osvt::SInt32) [[likely]] {
            x = raw;
        } else if (type == osvt::VelFloat) [[likely]] {
            x = VelFloatOf(raw);
        } else if (type == osvt::SInt16) [[likely]] {
            x = raw > 32767 ? raw - 65536 : raw;
        } else {
            switch (type) {
            case osvt::SInt8:
                x = raw > 127 ? raw - 256 : raw;
                break;
            case osvt::UInt32:
            case osvt::UInt48: // the low four bytes of the sample
                x = static_cast<std::uint32_t>(raw);
                break;
            case osvt::UInt16:
            case osvt::SInt48:
            case osvt::UInt8:
                x = raw;
                break;
            case osvt::FloatIEEE754:
                x = std::bit_cast<float>(raw);
                break;
            case osvt::Bool16:
                return (raw & FBitValue) != 0 ? 1.0 : 0.0;
            case osvt::Bool:
                return raw != 0 ? 1.0 : 0.0;
            default:
                [[unlikely]] return UnknownType();
            }
        }
        return static_cast<float>(x * FVarScale + FVarOffset);
    }
    // The physical values of samples First, First + 1, ... into Out, each
    // bit for bit what GetData gives, in one pass that converts in double
    // arithmetic and takes the extended form only for the rare sample whose
    // single rounding the double result cannot decide. A range beyond the
    // channel raises the array's index error with Out untouched.
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

    // A packed float's value, exact: its mantissa times the power of two its
    // exponent byte and sign give, from a table.
    [[gnu::always_inline]] static TExtended VelFloatOf(std::int32_t Raw) noexcept {
        return static_cast<TExtended>(Raw & 0xFFFF) *
            ossample::VelFloatPowers.Factor[ossample::VelFloatPowerIndex(static_cast<std::uint32_t>(Raw))];
    }
    // Reports a type without a conversion (once) and gives 0. Never throws,
    // and its message box does not wait for the user, so nothing can change
    // the channel during the call: declared pure, so that a caller's loop over
    // the samples keeps the channel's fields and its sums in registers. (Its
    // one side effect, remembering the type it reported, tolerates calls
    // being merged.)
    [[gnu::cold, gnu::pure]] double UnknownType() const noexcept;
    // The raw sample that gives the physical value X.
    std::int32_t Encode(double X) const;
    // Shows the unknown-type message once per type.
    void ReportUnknownType(const char* Operation) const;
    [[noreturn]] static void IndexOutOfBound();
    // Raises the array's index error for a sample outside the store.
    [[noreturn, gnu::cold, gnu::noinline]] void IndexError(int Index) const;

    mutable std::int32_t FReportedType = -1;
};

} // namespace vo
