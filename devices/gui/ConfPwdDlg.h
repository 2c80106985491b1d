#pragma once
// The configuration password question of an import: the "Switch User"
// dialog captioned by the question, with its information text and the user
// level fixed; OK gives the typed password, Cancel refuses.
#include "devices/ConfXfer.h"

class QWidget;

namespace vo {

bool AskConfigPassword(const TConfigPasswordQuestion& Q, MyAnsiString& Password, QWidget* Parent = nullptr);

// Makes AskConfigPassword the configuration transfers' password question.
void InstallConfigPasswordDialog(QWidget* Parent = nullptr);

} // namespace vo
