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
// curve information (hook InitCurveManager). Once per process; file errors
// are shown to the user and start-up goes on.
void InitCurveManager(const MyAnsiString& TypesFile = CurveTypesFile, const MyAnsiString& InfoFile = CurveInfoFile);

} // namespace vo
