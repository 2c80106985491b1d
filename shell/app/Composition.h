#pragma once
// The program's one place where the parts of every folder join the start-up:
// fills the composition root's hooks (devices/VelInit.h) and the shell's
// start hooks (shell/StartHooks.h). Call once before the main form's
// FormCreate.
namespace vo {

void InstallProgramParts();

} // namespace vo
