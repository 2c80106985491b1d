#pragma once
// TObject: the common polymorphic root of the objects that the program-wide
// directories and the model tree point at without owning them (registered
// services, the data of a model node, a view factory, a view's per-node context,
// the object an inspector edits). Holders keep plain non-owning pointers and
// reach the concrete type with dynamic_cast.

namespace vo {

class TObject {
public:
    TObject() = default;
    TObject(const TObject&) = default;
    TObject& operator=(const TObject&) = default;
    virtual ~TObject() = default;
};

} // namespace vo
