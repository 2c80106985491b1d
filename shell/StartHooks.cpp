#include "shell/StartHooks.h"

namespace vo {

TShellStartHooks& ShellStartHooks() {
    static TShellStartHooks hooks;
    return hooks;
}

} // namespace vo
