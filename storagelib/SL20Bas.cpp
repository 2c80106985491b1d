#include "storagelib/SL20Bas.h"

#include <string>

namespace vo {

TSLObject::~TSLObject() = default;

void TSLObject::RaiseMethodNotImplementedException(const char* Method) const {
    throw Exception(std::string(ClassName()) + "." + Method + ": method not implemented");
}

void TSLObject::SetExecutable(bool) { RaiseMethodNotImplementedException("SetExecutable"); }

void TSLObject::Encode(TEncoderInterface&) { RaiseMethodNotImplementedException("Encode"); }

void TSLObject::AssignObject(const TSLObject*) { RaiseMethodNotImplementedException("AssignObject"); }

TRef<TSLObject> TSLObject::CopyRef() const { RaiseMethodNotImplementedException("CopyObject"); }

TSLObject* TSLObject::CopyObject() const {
    TRef<TSLObject> copy = CopyRef();
    copy->AutoRelease(); // the handle's reference goes to the pool
    return copy.Detach();
}

bool TSLObject::IsEqual(const TSLObject*) const { RaiseMethodNotImplementedException("IsEqual"); }

void TSLObject::Execute(TSLContext*) { RaiseMethodNotImplementedException("Execute"); }

} // namespace vo
