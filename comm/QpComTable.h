#pragma once
// The command table's save telegram has the layout of the curve commands and
// is sent through TCurvePattern (command 0x94, sub 0x08); these are its record
// names.
#include "comm/QpCurve.h"

namespace vo {

using TComTableData = TCurveData;
using TComTableRecord = TCurveRecord;

} // namespace vo
