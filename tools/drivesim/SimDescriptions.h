#pragma once
// The drive's parameter table from the program's module descriptions (.IN2):
// every "ParameterArray" record whose device UPID lies below 0xFFFF and whose
// type has a width becomes a parameter of the drive, holding its "DefValue"
// in RAM and ROM (little-endian; texts NUL-padded to their "MaxSize"), writable as the write bits of its "AddrUsage" say and
// writable while the firmware runs only with the Live bit (0x0100).
//
// The reader knows just enough of the text notation for the descriptions:
// dictionaries, arrays, records with a definition ("[D:Type /Key default
// ...]") or a reference to an earlier one ("@Type") followed by an array of
// values in key order, strings, numbers, Booleans and "%" comments.
#include "tools/drivesim/SimDrive.h"

#include <string>
#include <string_view>
#include <vector>

namespace vo {

struct SimDescribedParameter {
    std::string type; // the record's type name
    uint16_t upid = 0; // the device UPID
    uint8_t size = 0; // bytes: 1, 2 or 4 for numbers, "MaxSize" for texts
    bool text = false; // "String" or "CapDir"
    int64_t defValue = 0;
    std::string defText; // the default of a text
    uint16_t addrUsage = 0;
};

// The parameters of a description text; throws vo::Exception on text it
// cannot read.
std::vector<SimDescribedParameter> SimReadDescribedParameters(std::string_view text);
// The bytes a described parameter holds at start: exactly size bytes.
SimBytes SimDescribedValue(const SimDescribedParameter& p);
// Adds them to the drive (a UPID already there is replaced).
void SimApplyDescription(SimDrive& drive, const std::string& path);

} // namespace vo
