#pragma once
// Built-in stack, dictionary and name procedures of the "System" dictionary.
// Stack effects: operands -> results, the rightmost item on top.
#include "storagelib/SL20Prc.h"

namespace vo {

VO_SL_PROCEDURE(TSLPopProcedure); // "pop"          x ->
VO_SL_PROCEDURE(TSLDupProcedure); // "dup"          x -> x x' (a copy with its contents)
VO_SL_PROCEDURE(TSLExchProcedure); // "exch"         a b -> b a
VO_SL_PROCEDURE(TSLIndexProcedure); // "index"        xn ... x0 n -> xn ... x0 xn'
VO_SL_PROCEDURE(TSLAssignProcedure); // "assign"       target source -> target
VO_SL_PROCEDURE(TSLCurrentdictProcedure); // "currentdict"  -> dict
VO_SL_PROCEDURE(TSLBeginProcedure); // "begin"        dict ->
VO_SL_PROCEDURE(TSLEndProcedure); // "end"          ->
VO_SL_PROCEDURE(TSLDefProcedure); // "def"          /name value ->
VO_SL_PROCEDURE(TSLUndefProcedure); // "undef"        dict key ->
VO_SL_PROCEDURE(TSLKnownProcedure); // "known"        dict /name -> bool
VO_SL_PROCEDURE(TSLGKnownProcedure); // "gknown"       /name -> bool
VO_SL_PROCEDURE(TSLNKnownProcedure); // "nknown"       string -> bool
VO_SL_PROCEDURE(TSLDictProcedure); // "dict"         n -> dict
VO_SL_PROCEDURE(TSLCreateNamespaceProcedure); // "cnamespace" string ->
VO_SL_PROCEDURE(TSLImportProcedure); // "import"       string ->

} // namespace vo
