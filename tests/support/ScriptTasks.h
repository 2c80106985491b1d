#pragma once
// Script tasks for tests: announces the script runtime's task factory to a
// storage manager, so that services under test can run archived scripts
// through TStorageManager::CreateScriptTask as the program does. (A test that
// uses it links the scripting library.)
#include <memory>

#include "scripting/ScrTaImp.h"
#include "storagelib/SL20Sto.h"

namespace vo::test {

inline void InstallScriptTasks(TStorageManager& Manager) {
    Manager.AnnounceScriptTaskFactory(std::make_unique<TScriptTaskFactory>());
}

} // namespace vo::test
