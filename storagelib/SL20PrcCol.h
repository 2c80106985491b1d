#pragma once
// Built-in composite procedures of the "System" dictionary (the ones the
// interpreter's own work and its tests need; the rest of the composite and
// string family joins them here).
#include "storagelib/SL20Prc.h"

namespace vo {

VO_SL_PROCEDURE(TSLCreateDictProcedure);  // "cdict" /key1 value1 ... /keyN valueN n -> dict
VO_SL_PROCEDURE(TSLCreateArrayProcedure); // "carr"  x1 ... xN n -> array

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

// "count" array -> n; dict -> n
class TSLCountProcedure : public TSLPolymorphProcedure {
    VO_REFOBJ_CLASS(TSLCountProcedure, TSLPolymorphProcedure)
public:
    TSLCountProcedure() = default;
    void ExecuteCollection(TSLContext* Context);

protected:
    void RegisterProcedures() override;
};

} // namespace vo
