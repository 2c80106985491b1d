#pragma once
// The questions of a configuration import:
// - the configuration password: the "Switch User" dialog captioned by the
//   question, with its information text and the user level fixed; OK gives
//   the typed password, Cancel refuses;
// - the message after an import with warnings: the "Import Log" dialog with
//   its details button captioned by the caller; true when the user asks to
//   see the warnings.
#include "devices/ConfXfer.h"

class QWidget;

namespace vo {

bool AskConfigPassword(const TConfigPasswordQuestion& Q, MyAnsiString& Password, QWidget* Parent = nullptr);
bool AskShowImportWarnings(const MyAnsiString& Text, const MyAnsiString& ShowButton, QWidget* Parent = nullptr);

// Makes the two the configuration transfers' questions.
void InstallConfigTransferDialogs(QWidget* Parent = nullptr);

} // namespace vo
