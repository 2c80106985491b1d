#pragma once
// The 19 telegram pattern classes, registered with a client in their fixed
// order so that their pattern ids are 1 to 19:
//   1 TLoginPattern      2 TGetWordPattern     3 TSetWordPattern
//   4 TGetBlockPattern   5 TSetBlockPattern    6 TSimplePattern
//   7 TAddrActionPattern 8 TGetStringPattern   9 TSetStringPattern
//  10 TCustomPattern    11 TFindInfoPattern   12 TGetStatusPattern
//  13 TSetBitPattern    14 TInstancePattern   15 TCopyBlockPattern
//  16 TGetFirstEmptyPattern 17 TEraseMemPattern 18 TCurvePattern
//  19 TByteActionPattern
#include "comm/OvraClnt.h"

#include <array>

namespace vo {

// The classes in registration order (index + 1 = pattern id).
std::array<TOvraPatternClass*, 19> OvraPatternClasses();

// Registers the 19 classes with Client in that order. The client must hold no
// classes yet (the ids would differ); otherwise raises
// "RegisterOvraPatterns: the client holds <n> pattern classes already".
void RegisterOvraPatterns(TOvraClient& Client);

} // namespace vo
