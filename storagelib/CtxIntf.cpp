#include "storagelib/CtxIntf.h"

namespace vo {

void TContextInterface::RaiseStandardException(std::string_view Msg) {
    PushString(Msg);
    ExecuteName("raisese");
}

void ReleaseToAutoFree(std::unique_ptr<TScriptTaskInterface> Task) {
    if (!Task) return;
    Task->SetAutoFree(true);
    // A running task frees itself when it finishes; one that does not run has
    // nothing left to do and goes now.
    if (Task->GetRunning()) (void)Task.release();
}

} // namespace vo
