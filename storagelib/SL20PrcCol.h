#pragma once
// Built-in composite and string procedures of the "System" dictionary:
// building, reading and changing arrays, dictionaries and records, and
// working on 8-bit strings. Positions count from 0; containers hold the
// objects themselves, so "get" gives the very object a container holds.
#include "storagelib/SL20Prc.h"

namespace vo {

// ---------------------------------------------------------------- building composites

VO_SL_PROCEDURE(TSLCreateDictProcedure); // "cdict" /key1 value1 ... /keyN valueN n -> dict
VO_SL_PROCEDURE(TSLCreateArrayProcedure); // "carr"  x1 ... xN n -> array
VO_SL_PROCEDURE(TSLCreateRecordProcedure); // "crec"  /key1 value1 ... /keyN valueN n recdef -> record
VO_SL_PROCEDURE(TSLGetCompositeIdentProcedure); // "getident" composite -> /name

// ---------------------------------------------------------------- reading and changing composites

// "get" array i -> x; coll /key -> x
class TSLGetProcedure : public TSLPolymorphProcedure {
    VO_REFOBJ_CLASS(TSLGetProcedure, TSLPolymorphProcedure)
public:
    TSLGetProcedure() = default;
    void ExecuteArray(TSLContext* Context);
    void ExecuteNamedCollection(TSLContext* Context);

protected:
    void RegisterProcedures() override;
};

// "put" array i x ->; dict /key x ->; record /key x ->
class TSLPutProcedure : public TSLPolymorphProcedure {
    VO_REFOBJ_CLASS(TSLPutProcedure, TSLPolymorphProcedure)
public:
    TSLPutProcedure() = default;
    void ExecuteArray(TSLContext* Context);
    void ExecuteNamedCollection(TSLContext* Context);

protected:
    void RegisterProcedures() override;
};

VO_SL_PROCEDURE(TSLPutsProcedure); // "puts" dict /key x ->

// "del" array i ->; dict key -> (key a name or a string)
class TSLDelProcedure : public TSLPolymorphProcedure {
    VO_REFOBJ_CLASS(TSLDelProcedure, TSLPolymorphProcedure)
public:
    TSLDelProcedure() = default;
    void ExecuteArray(TSLContext* Context);
    void ExecuteDictionary(TSLContext* Context);

protected:
    void RegisterProcedures() override;
};

VO_SL_PROCEDURE(TSLInsertProcedure); // "ins" array i x ->

// "count" array -> n; dict -> n
class TSLCountProcedure : public TSLPolymorphProcedure {
    VO_REFOBJ_CLASS(TSLCountProcedure, TSLPolymorphProcedure)
public:
    TSLCountProcedure() = default;
    void ExecuteCollection(TSLContext* Context);

protected:
    void RegisterProcedures() override;
};

VO_SL_PROCEDURE(TSLGetSubArrProcedure); // "getsubarr" array start count -> part
VO_SL_PROCEDURE(TSLPutSubArrProcedure); // "putsubarr" target start source -> target

// ---------------------------------------------------------------- strings

VO_SL_PROCEDURE(TSLLengthProcedure); // "length"    string -> n
VO_SL_PROCEDURE(TSLGetSubStrProcedure); // "getsubstr" string start count -> part
VO_SL_PROCEDURE(TSLPutSubStrProcedure); // "putsubstr" target start source -> target (changed in place)
VO_SL_PROCEDURE(TSLSearchProcedure); // "search"    string pattern -> pre match post true | false
VO_SL_PROCEDURE(TSLUppercaseProcedure); // "uppercase" string -> string'
VO_SL_PROCEDURE(TSLChrProcedure); // "chr"       n -> string
VO_SL_PROCEDURE(TSLOrdProcedure); // "ord"       string -> n

// The part of Text that "getsubstr" takes: Count characters from the 0-based
// Start; a start before the text is taken as 0 (the count is not reduced), a
// start past the end or a negative count give the empty text.
MyAnsiString SLSubString(std::string_view Text, int64_t Start, int64_t Count);

} // namespace vo
