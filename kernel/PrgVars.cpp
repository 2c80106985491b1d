#include "kernel/PrgVars.h"

namespace vo {

namespace {
MyAnsiString& Dir() {
    static MyAnsiString dir;
    return dir;
}
} // namespace

const MyAnsiString& WorkDir() {
    return Dir();
}

void SetWorkDir(const MyAnsiString& Value) {
    MyAnsiString v = Value;
    if (!v.empty() && v.back() != '\\' && v.back() != '/')
        v += '\\';
    Dir() = std::move(v);
}

} // namespace vo
