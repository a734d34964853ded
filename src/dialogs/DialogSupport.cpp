#include "dialogs/DialogSupport.hpp"

#include <algorithm>
#include <vector>

namespace tarvel::dialogs {
namespace {

// The user-interface thread's: no lock.
struct Running {
    std::vector<DG::ModalDialog*> dialogs;
    bool ended = false;
};

Running& State()
{
    static Running running;
    return running;
}

}  // namespace

DG::ModalDialog::ModalResponse RunModal(DG::ModalDialog& dialog)
{
    Running& running = State();
    if (running.ended)
        return DG::ModalDialog::Cancel;
    running.dialogs.push_back(&dialog);
    struct Done {
        Running& running;
        DG::ModalDialog& dialog;
        ~Done() { std::erase(running.dialogs, &dialog); }
    } done{running, dialog};
    return dialog.Invoke();
}

void EndRunningDialogs()
{
    Running& running = State();
    running.ended = true;
    const std::vector<DG::ModalDialog*> dialogs(running.dialogs.rbegin(), running.dialogs.rend());
    for (DG::ModalDialog* dialog : dialogs)
        dialog->PostCloseRequest(DG::ModalDialog::Cancel);
}

void AllowDialogs() { State().ended = false; }

bool DialogsEnded() { return State().ended; }

}  // namespace tarvel::dialogs
