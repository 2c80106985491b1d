#pragma once
// ScopedDeniedAccess: while it lives, the calling thread cannot open Path, as
// for a user without rights to a serial device. The file's mode becomes 0;
// when the tests run as root (who passes any mode) the calling thread's
// file-system user also becomes an unprivileged one, which takes root's right
// to ignore modes away from this thread only. Both are undone at the end.
#include <string>

#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vo::test {

class ScopedDeniedAccess {
public:
    explicit ScopedDeniedAccess(std::string Path) : FPath(std::move(Path)) {
        struct stat st {};
        if (::stat(FPath.c_str(), &st) != 0 || ::chmod(FPath.c_str(), 0) != 0)
            return;
        FOldMode = st.st_mode & 07777;
        FModeChanged = true;
        if (::geteuid() == 0) {
            FOldFsUid = ::setfsuid(Nobody);
            FUserChanged = true;
        }
    }
    ~ScopedDeniedAccess() {
        if (FUserChanged)
            ::setfsuid(FOldFsUid);
        if (FModeChanged)
            ::chmod(FPath.c_str(), FOldMode);
    }
    ScopedDeniedAccess(const ScopedDeniedAccess&) = delete;
    ScopedDeniedAccess& operator=(const ScopedDeniedAccess&) = delete;

    // False when access could not be taken away (the test should skip).
    bool Active() const {
        if (!FModeChanged)
            return false;
        if (::geteuid() != 0)
            return true;
        return FUserChanged && static_cast<uid_t>(::setfsuid(static_cast<uid_t>(-1))) == Nobody;
    }

private:
    static constexpr uid_t Nobody = 65534;
    std::string FPath;
    mode_t FOldMode = 0;
    uid_t FOldFsUid = 0;
    bool FModeChanged = false;
    bool FUserChanged = false;
};

} // namespace vo::test
