#include "storagelib/SL20PrcStk.h"

#include <string>

#include "storagelib/SL20Exe.h"
#include "storagelib/SL20Sto.h"

namespace vo {

void TSLPopProcedure::Execute(TSLContext* Context) { SLPopOperands(Context, 1); }

void TSLDupProcedure::Execute(TSLContext* Context) {
    TRef<TSLObject> copy = SLOperand(Context, 0)->CopyRef();
    SLPushOperand(Context, copy);
}

void TSLExchProcedure::Execute(TSLContext* Context) {
    if (TSLObjectList* a = Context->FOperandArray) {
        if (a->size() >= 2) a->back().Swap((*a)[a->size() - 2]);
        return;
    }
    TStackInterface& ops = *Context->FOperandStackInterface;
    if (ops.GetCount() < 2) return;
    TRef<TSLObject> top(ops.GetObjAtIndex(0));
    TRef<TSLObject> below(ops.GetObjAtIndex(1));
    ops.SetObjAtIndex(0, below.Get());
    ops.SetObjAtIndex(1, top.Get());
}

void TSLIndexProcedure::Execute(TSLContext* Context) {
    const int32_t n = SLLow32(SLOperandAs<TSLLongint>(Context, 0)->GetLongintValue());
    // Read before anything is popped, so that a stack that is not deep enough
    // (or a negative depth) fails in the stack access and stays as it is.
    const int count = Context->FOperandStackInterface->GetCount();
    const int depth = (n < 0 || n >= count - 1) ? count : n + 1;
    TRef<TSLObject> copy = SLOperand(Context, depth)->CopyRef();
    SLPopOperands(Context, 1);
    SLPushOperand(Context, copy);
}

void TSLAssignProcedure::Execute(TSLContext* Context) {
    TRef<TSLObject> source(SLOperand(Context, 0));
    TRef<TSLObject> target(SLOperand(Context, 1));
    target->AssignObject(source.Get());
    SLPopOperands(Context, 1); // the target stays
}

void TSLCurrentdictProcedure::Execute(TSLContext* Context) {
    SLPushOperand(Context, Context->FDictStackInterface->GetObjAtIndex(0));
}

void TSLBeginProcedure::Execute(TSLContext* Context) {
    TRef<TSLDictionary> dict(SLOperandAs<TSLDictionary>(Context, 0));
    SLPopOperands(Context, 1);
    Context->FDictStackInterface->Push(dict.Get());
}

void TSLEndProcedure::Execute(TSLContext* Context) {
    TStackInterface& dicts = *Context->FDictStackInterface;
    if (dicts.GetCount() <= 3) {
        Context->FContextInterface->RaiseStandardException("tried to delete global dictionary");
        return;
    }
    dicts.Pop(false);
}

namespace {
[[gnu::noinline]] void DefGeneral(TSLContext* Context);
} // namespace

void TSLDefProcedure::Execute(TSLContext* Context) {
    // A plain name into the top dictionary of an interpreter's context, the
    // common case, read straight from the stacks.
    if (TSLObjectList* ops = Context->FOperandArray;
        ops && ops->size() >= 2 && &Context->ClassType() == &TSLContextImplementation::ClassInfo) {
        TSLObject* key = (*ops)[ops->size() - 2].Get();
        TSLObjectList& dicts = static_cast<TSLContextImplementation*>(Context)->DictStack().Items();
        if (key && key->HasTrait(slIdent) && static_cast<const TSLIdent*>(key)->IsPlainName() && !dicts.empty()) {
            // (The stacks hold the name, the value and the dictionary until
            // the entry is set; releasing an old value runs no script.)
            // The entry takes the value's reference from the stack where it
            // can; the slot is popped after (holding nil, the value or the
            // value replaced).
            const auto* ident = static_cast<const TSLIdent*>(key);
            static_cast<TSLDictionary*>(dicts.back().Get())
                ->DefineFrom(ident->GetIdentValue(), ident->NameHash(), ops->back());
            SLPopOperands(Context, 2);
            return;
        }
    }
    DefGeneral(Context);
}

namespace {
// def apart from its common case.
[[gnu::noinline]] void DefGeneral(TSLContext* Context) {
    const auto* ident = SLOperandAs<TSLIdent>(Context, 1);
    TRef<TSLObject> value(SLOperand(Context, 0));
    const MyAnsiString& full = ident->GetIdentValue();
    TSLDictionary* target = nullptr;
    std::string_view key = full;
    if (const std::size_t colon = full.find(':'); colon != MyAnsiString::npos) {
        TSLDictionary* parent = nullptr;
        SLContextImpl(Context).Resolve(full, parent);
        if (!parent) {
            const MyAnsiString text = "namespace '" + full + "' not found";
            SLPopOperands(Context, 2);
            Context->FContextInterface->RaiseStandardException(text);
            return;
        }
        key.remove_prefix(colon + 1);
        if (const std::size_t dot = key.rfind('.'); dot != std::string_view::npos) key.remove_prefix(dot + 1);
        target = parent;
    } else {
        target = static_cast<TSLDictionary*>(Context->FDictStackInterface->GetObjAtIndex(0));
    }
    // The key points into the name operand, which stays on the stack until
    // the end.
    TRef<TSLDictionary> keep(target);
    target->Define(key, key.size() == full.size() ? ident->NameHash() : SLHashName(key), value.Get());
    SLPopOperands(Context, 2);
}
} // namespace

namespace {
// The text of a key operand: a name or a string.
MyAnsiString KeyText(const TSLObject* Key) {
    if (const auto* i = dynamic_cast<const TSLIdent*>(Key)) return i->GetIdentValue();
    if (const auto* s = dynamic_cast<const TSLString*>(Key)) return s->GetStringValue();
    throw EInvalidCast();
}
} // namespace

void TSLUndefProcedure::Execute(TSLContext* Context) {
    const MyAnsiString key = KeyText(SLOperand(Context, 0));
    TRef<TSLDictionary> dict(SLOperandAs<TSLDictionary>(Context, 1));
    if (dict->GetNameExists(key)) dict->DelObjWithName(key);
    SLPopOperands(Context, 2);
}

void TSLKnownProcedure::Execute(TSLContext* Context) {
    const auto* name = SLOperandAs<TSLIdent>(Context, 0);
    const auto* dict = SLOperandAs<TSLDictionary>(Context, 1);
    const bool known = dict->GetNameExists(name->GetIdentValue());
    SLPopOperands(Context, 2);
    SLPushOperand(Context, MakeRef<TSLBoolean>(known));
}

void TSLGKnownProcedure::Execute(TSLContext* Context) {
    const auto* name = SLOperandAs<TSLIdent>(Context, 0);
    TSLDictionary* parent = nullptr;
    const bool known = SLContextImpl(Context).Resolve(name->GetIdentValue(), parent) != nullptr;
    SLPopOperands(Context, 1);
    SLPushOperand(Context, MakeRef<TSLBoolean>(known));
}

void TSLNKnownProcedure::Execute(TSLContext* Context) {
    const auto* name = SLOperandAs<TSLString>(Context, 0);
    TSLDictionary* parent = nullptr;
    SLContextImpl(Context).Resolve(name->GetStringValue() + ":", parent);
    const bool known = parent != nullptr;
    SLPopOperands(Context, 1);
    SLPushOperand(Context, MakeRef<TSLBoolean>(known));
}

void TSLDictProcedure::Execute(TSLContext* Context) {
    const int32_t n = SLLow32(SLOperandAs<TSLLongint>(Context, 0)->GetLongintValue());
    TRef<TSLDictionary> dict = MakeRef<TSLDictionary>();
    dict->SetCapacity(n);
    SLPopOperands(Context, 1);
    SLPushOperand(Context, dict);
}

void TSLCreateNamespaceProcedure::Execute(TSLContext* Context) {
    const MyAnsiString name = SLOperandAs<TSLString>(Context, 0)->GetStringValue();
    Context->ImportDict(name, MakeRef<TSLDictionary>().Get());
    SLPopOperands(Context, 1);
}

void TSLImportProcedure::Execute(TSLContext* Context) {
    const MyAnsiString name = SLOperandAs<TSLString>(Context, 0)->GetStringValue();
    TStorageManager* manager = StorageManager();
    if (!manager) throw Exception("import: no storage manager");
    manager->ImportIntoContext(name, Context);
    SLPopOperands(Context, 1);
}

} // namespace vo
