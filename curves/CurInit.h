#pragma once
// Start-up of the curve subsystem's program-wide objects, for the composition
// root's hooks.
#include "platform/AnsiString.h"

namespace vo {

inline constexpr const char* CurveTypesFile = "archive://Archives\\CurveCreator\\CurveTypes.stx";
inline constexpr const char* CurveInfoFile = "archive://Archives\\CurveCreator\\CurveInfo.stx";

// The object container manager and the data object registry with the curve
// class (hook InitDataObjectManagers). Once per process.
void InitDataObjectManagers();
// The curve manager with its fourteen generators, the curve types and the
// curve information from the archived files (hook InitCurveManager).
void InitCurveManager();
// As InitCurveManager, when the curve manager is first asked for.
void DeferCurveManager();
// The same from other files; a new manager replaces the one before. File
// errors are shown to the user and start-up goes on.
void LoadCurveManager(const MyAnsiString& TypesFile, const MyAnsiString& InfoFile);

} // namespace vo
