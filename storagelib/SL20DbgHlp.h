#pragma once
// Helpers that turn a value's debug record into the file-and-line part of
// script and reader error messages. All of them accept values without a record
// (and nil).
#include <cstdint>
#include <functional>

#include "storagelib/SL20Bas.h"

namespace vo {

// The debug record of Obj; nil for nil and for a value without one.
TDbgInfo* GetDbgInfo(const TSLObject* Obj);
// The record's line as decimal text; empty when there is no record.
MyAnsiString GetDbgLine(const TSLObject* Obj);
// The file name (without folder) of the stored object the record's storage id
// belongs to; empty when Obj is nil, has no record, or the id names no stored
// object.
MyAnsiString GetDbgFile(const TSLObject* Obj);

// The storage manager's table of stored-object names by storage id. The
// storage manager installs its lookup; without one no id has a name.
using TStorageNameLookup = std::function<MyAnsiString(uint16_t StorageID)>;
void SetStorageNameLookup(TStorageNameLookup Lookup);

} // namespace vo
