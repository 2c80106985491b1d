#pragma once
// Built-in conversion procedures of the "System" dictionary: integers, reals,
// strings and names into each other, number tests, radix texts, filling to a
// width, and the exchange of objects for integer handles.
#include <cstdint>
#include <unordered_map>

#include "storagelib/SL20Prc.h"

namespace vo {

// "cvi" x -> n: real truncated toward zero (outside 64 bits "Invalid floating
// point operation"), integer unchanged (the same object stays), string read
// as an integer ("''%s'' is not a valid integer value").
class TSLCviProcedure : public TSLPolymorphProcedure {
    VO_REFOBJ_CLASS(TSLCviProcedure, TSLPolymorphProcedure)
public:
    TSLCviProcedure() = default;
    void ExecuteDouble(TSLContext* Context);
    void ExecuteLongint(TSLContext* Context);
    void ExecuteString(TSLContext* Context);

protected:
    void RegisterProcedures() override;
};

// "cvr" x -> r: real unchanged, integer converted whole, string read with "."
// as the decimal separator ("'%s' is not a valid floating point value").
class TSLCvrProcedure : public TSLPolymorphProcedure {
    VO_REFOBJ_CLASS(TSLCvrProcedure, TSLPolymorphProcedure)
public:
    TSLCvrProcedure() = default;
    void ExecuteDouble(TSLContext* Context);
    void ExecuteLongint(TSLContext* Context);
    void ExecuteString(TSLContext* Context);

protected:
    void RegisterProcedures() override;
};

// "cvs" x -> string: a number's text, a name's text.
class TSLCvsProcedure : public TSLPolymorphProcedure {
    VO_REFOBJ_CLASS(TSLCvsProcedure, TSLPolymorphProcedure)
public:
    TSLCvsProcedure() = default;
    void ExecuteNumber(TSLContext* Context);
    void ExecuteIdent(TSLContext* Context);

protected:
    void RegisterProcedures() override;
};

VO_SL_PROCEDURE(TSLCvnProcedure); // "cvn"   string -> /name
VO_SL_PROCEDURE(TSLChkiProcedure); // "chki"  string -> bool (would cvi accept it)
VO_SL_PROCEDURE(TSLChkrProcedure); // "chkr"  string -> bool (would cvr accept it)
VO_SL_PROCEDURE(TSLCvriProcedure); // "cvri"  string base -> n
VO_SL_PROCEDURE(TSLCvrsProcedure); // "cvrs"  n base -> string
VO_SL_PROCEDURE(TSLCvrliProcedure); // "cvrli" string -> n (35-symbol alphabet)
VO_SL_PROCEDURE(TSLCvrlsProcedure); // "cvrls" n -> string (35-symbol alphabet)
VO_SL_PROCEDURE(TSLPadProcedure); // "pad"   string width fill -> string' (filled in front)
VO_SL_PROCEDURE(TSLPadrProcedure); // "padr"  string width fill -> string' (filled behind)
VO_SL_PROCEDURE(TSLObjToIntProcedure); // "objtoint" x -> handle
VO_SL_PROCEDURE(TSLIntToObjProcedure); // "inttoobj" handle -> x

// The text of a script integer as "cvi" reads it; false when it is none.
bool SLTryStrToInt64(std::string_view Text, int64_t& Value);

// ---------------------------------------------------------------- object handles

// The objects that scripts and native methods turned into integer handles
// ("objtoint"), and back ("inttoobj"). A handle keeps its object alive; each
// "objtoint" adds one handle reference, and the object stays until every
// one is given back (native methods give theirs back when they have stored
// the object; a script's own "objtoint" keeps its object for the rest of the
// run of the program). One object has one handle at a time. Handles are
// 1 to 2^31 - 1, never reused while in use; 0 stands for nil. A handle the
// table does not know is refused.
//
// GUI thread only, like every counted object.
class TSLObjectHandles {
public:
    static const char* ClassName() noexcept { return "TSLObjectHandles"; }
    // The handle of Obj (a new one, or Obj's present one), with one more
    // handle reference; 0 for nil.
    int32_t Add(TSLObject* Obj);
    // The object of a handle (nil for 0); an unknown handle raises
    // "TSLObjectHandles.Find: unknown object handle %d".
    TSLObject* Find(int32_t Handle) const;
    // Gives one handle reference back; the last one drops the object. 0 and
    // unknown handles are ignored.
    void Release(int32_t Handle) noexcept;
    bool Known(int32_t Handle) const noexcept { return FEntries.count(Handle) != 0; }
    std::size_t Count() const noexcept { return FEntries.size(); }
    // Drops every handle (tests).
    void Clear() noexcept;

private:
    struct TEntry {
        TRef<TSLObject> Obj;
        int32_t Refs = 0;
    };
    std::unordered_map<int32_t, TEntry> FEntries;
    std::unordered_map<const TSLObject*, int32_t> FByObject;
    int32_t FNext = 1;
};

// The program-wide handle table (lives until the process ends).
TSLObjectHandles& SLObjectHandles();

} // namespace vo
