#include "dialogs/ProgressDialog.hpp"

#include "Main/Globals.hpp"
#include "Main/Guard.hpp"
#include "controllers/ToolbarController.hpp"
#include "dialogs/DialogSupport.hpp"
#include "transfer/ClipboardMessage.hpp"

namespace tarvel::dialogs {
namespace {

// The bar shows 1 at the start and the reported percent plus 4 after it (5 to 104),
// so a download that reports only its start still shows a moving bar.
constexpr std::int32_t StartValue = 1;
constexpr std::int32_t ValueOffset = 4;

}  // namespace

ProgressDialog::ProgressDialog() : ProgressDialog(toolbarController) {}

ProgressDialog::ProgressDialog(ToolbarController& owner)
    : DialogX(ResourceId, &dialogCache),
      dialogCache(ImagesFolderUtf8()),
      controller(&owner),
      done(false),
      shownPercent(0),
      targetPercent(0),
      cancelButton(GetPanel(), ids::Progress::Cancel, &dialogCache),
      messageText(GetPanel(), ids::Progress::Message, &dialogCache),
      progressBar(GetPanel(), ids::Progress::Bar, &dialogCache)
{
    GetPanel().EnableIdleEvent(false);
    InitializeControls();
}

ProgressDialog::~ProgressDialog() = default;

void ProgressDialog::InitializeControls()
{
    // Nothing thrown in a handler may reach the host.
    onIdle = Guarded([this] { OnIdle(); });
    // Every close but the completion's lets the download go: Cancel, the close box.
    // The dialog closes also when that fails.
    onCloseRequested = [this](bool accepted, bool) {
        if (!accepted)
            RunGuarded([this] { LetDownloadGo(); });
        return true;
    };
    cancelButton.onClick = Guarded([this] { OnCancel(); });
    progressBar->SetValue(StartValue);
}

void ProgressDialog::BeginDownload()
{
    done.store(false);
    targetPercent.store(StartValue);
}

bool ProgressDialog::Run()
{
    shownPercent = StartValue;
    progressBar->SetValue(StartValue);
    return RunModal(GetPanel()) == DG::ModalDialog::Accept;
}

void ProgressDialog::SetPercent(std::int16_t percent) { targetPercent.store(percent); }

void ProgressDialog::SetDone() { done.store(true); }

void ProgressDialog::Close(bool accepted)
{
    GetPanel().PostCloseRequest(accepted ? DG::ModalDialog::Accept : DG::ModalDialog::Cancel);
}

void ProgressDialog::OnIdle()
{
    if (done.exchange(false))
        Close(true);
    const std::int16_t target = targetPercent.load();
    if (target > shownPercent) {
        progressBar->SetValue(target + ValueOffset);
        shownPercent = target;
    }
}

void ProgressDialog::OnCancel() { Close(false); }

void ProgressDialog::LetDownloadGo()
{
    // The watcher may take the next message at once; the running download is let go.
    controller->CancelDownload();
    ClearClipboardMessage(GetPanel().GetWindow());
}

}  // namespace tarvel::dialogs
