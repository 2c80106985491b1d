#pragma once
// Script tasks for tests: announces the script runtime's task factory to a
// storage manager, so that services under test can run archived scripts
// through TStorageManager::CreateScriptTask as the program does.
#include <memory>

#include "storagelib/SL20Sto.h"
#include "storagelib/ScrTask.h"

namespace vo::test {

inline void InstallScriptTasks(TStorageManager& Manager) {
    Manager.AnnounceScriptTaskFactory(std::make_unique<TScriptTaskFactory>());
}

} // namespace vo::test
