#pragma once
// The stack: an array whose top is its last element. All indices are stack
// indices: 0 is the top, count - 1 the bottom. It carries the interpreter's
// operand, execution and dictionary stacks.
#include <string_view>

#include "storagelib/SL20Arr.h"

namespace vo {

class TSLStack : public TSLArray {
    VO_REFOBJ_CLASS(TSLStack, TSLArray)
    VO_SL_COMPOSITE(TSLStack, 'S')
public:
    TSLStack() = default;

    TSLObject* GetObjAtIndex(int Index) const override;
    // Index = count puts the object at the bottom (so AddObject adds at the
    // bottom); otherwise replaces.
    void SetObjAtIndex(int Index, TSLObject* AObject) override;
    void DelObjAtIndex(int Index) override;
    // Inserts directly beneath the element now at Index: afterwards the new
    // element has index Index + 1 (InsObjAtIndex(0, x) puts x under the top).
    void InsObjAtIndex(int Index, TSLObject* Obj) override;
    // -1 when the object is not on the stack.
    int GetIndexOfObj(const TSLObject* Obj) const override;
    // Adds nil elements at, or removes elements from, the bottom.
    void SetCount(int Value) override;

    void Push(TSLObject* Obj) { Arr.emplace_back(Obj); }
    // With ReturnResult the top is returned, kept alive by the autorelease pool
    // until the next purge; without, it is dropped and nil returned.
    TSLObject* Pop(bool ReturnResult);
    void PushLongint(int64_t Value);
    void PushDouble(double Value);
    void PushString(std::string_view Value);
    // The top must be of the type; it is read, then popped.
    int64_t PopLongint();
    double PopDouble();
    MyAnsiString PopString();

    void InitComposite(TSLCompData* CompData) override;

protected:
    TRef<TSLCollection> CreateCopyTarget() const override;
    void InstallCopies(const MyAnsiString& Ident, TSLObjectList& Copies) override;

private:
    int Pos(int Index) const { return GetCount() - 1 - Index; }
};

} // namespace vo
