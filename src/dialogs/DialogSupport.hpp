// What every dialog of the add-on needs alike.
#pragma once

#include "DG.hpp"

namespace tarvel::dialogs {

// Every modal dialog of the add-on runs through here, so that the clean-up can end
// the ones that run. Answers the dialog's response; Cancel at once, without a loop,
// once the clean-up has ended the dialogs. User-interface thread only.
DG::ModalDialog::ModalResponse RunModal(DG::ModalDialog& dialog);
// The clean-up: each running dialog is asked to close with Cancel, the top-most first;
// each loop ends when the code that runs it gets back to it. No dialog runs after this
// until AllowDialogs.
void EndRunningDialogs();
// A new start of the add-on: dialogs run again.
void AllowDialogs();
// The clean-up has ended the dialogs: code that comes back from one does no more.
bool DialogsEnded();

}  // namespace tarvel::dialogs
