#include "storagelib/SL20Dbg.h"

#include <string>

#include "platform/Exception.h"

namespace vo {

void TDbgInfo::NotImplemented(const char* Method) const {
    throw Exception(std::string(ClassName()) + "." + Method + ": method not implemented");
}

int32_t TDbgInfo::GetTokPos() const { NotImplemented("GetTokPos"); }
void TDbgInfo::SetTokPos(int32_t) { NotImplemented("SetTokPos"); }
int32_t TDbgInfo::GetTokLength() const { NotImplemented("GetTokLength"); }
void TDbgInfo::SetTokLength(int32_t) { NotImplemented("SetTokLength"); }
int32_t TDbgInfo::GetTokLine() const { NotImplemented("GetTokLine"); }
void TDbgInfo::SetTokLine(int32_t) { NotImplemented("SetTokLine"); }
bool TDbgInfo::GetBreakpoint() const { NotImplemented("GetBreakpoint"); }
void TDbgInfo::SetBreakpoint(bool) { NotImplemented("SetBreakpoint"); }
uint16_t TDbgInfo::GetStorageID() const { NotImplemented("GetStorageID"); }
void TDbgInfo::SetStorageID(uint16_t) { NotImplemented("SetStorageID"); }

} // namespace vo
