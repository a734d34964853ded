#include "dialogs/BrowserDialog.hpp"

#include "Main/Globals.hpp"
#include "Main/Guard.hpp"
#include "Main/ShellCommands.hpp"
#include "controllers/BrowserController.hpp"
#include "dialogs/AutoSubmitPage.hpp"
#include "dialogs/DialogSupport.hpp"
#include "dialogs/LibpartNameDialogs.hpp"
#include "ostrel/Text.hpp"
#include "transfer/ClipboardMessage.hpp"

namespace tarvel::dialogs {
namespace {

// Where the Cancel button lies: out of sight while browsing, under the bar while
// downloading; centred on the width.
constexpr short HiddenCancelY = -50;
constexpr short ShownCancelY = 450;
constexpr short CancelHalfWidth = 50;
// The text and the bar keep this margin on either side.
constexpr short BarMargins = 100;

// The bar runs to 120: 44 when a message is taken, then the reported percent plus 45.
constexpr std::int32_t BarMax = 120;
constexpr std::int32_t BarStart = 44;
constexpr std::int32_t BarOffset = 45;
constexpr std::int16_t StartPercent = 1;

}  // namespace

DGBrowserDialog::DGBrowserDialog(BrowserController& owner)
    : DialogX(ResourceId, &dialogCache),
      dialogCache(ImagesFolderUtf8()),
      controller(&owner),
      downloadFinished(false),
      cancelled(false),
      cancelButton(GetPanel(), ids::Browser::Cancel, &dialogCache),
      browser(GetPanel(), ids::Browser::Page),
      messageText(GetPanel(), ids::Browser::Message, &dialogCache),
      progressBar(GetPanel(), ids::Browser::Bar, &dialogCache),
      shownPercent(0),
      targetPercent(0)
{
    messageText->Show();
    controller->SetView(this);
    GetPanel().EnableIdleEvent(false);
    InitializeControls();
}

DGBrowserDialog::~DGBrowserDialog()
{
    // No worker may call this view once it is gone.
    if (controller->View() == this)
        controller->SetView(nullptr);
}

void DGBrowserDialog::InitializeControls()
{
    // Nothing thrown in a handler may reach the host.
    onIdle = [this] { RunGuarded([this] { OnIdle(); }); };
    onResized = [this] { RunGuarded([this] { OnResize(); }); };
    // Every close is accepted. One that is not an acceptance (the close box, or the
    // name declined) lets the running download go, so nothing is made of it.
    onCloseRequested = [this](bool accepted, bool) {
        if (!accepted)
            RunGuarded([this] { controller->CancelDownload(); });
        return true;
    };
    cancelButton.onClick = [this] { RunGuarded([this] { OnCancel(); }); };

    cancelButton->SetPosition(static_cast<short>(GetPanel().GetClientWidth() / 2 - CancelHalfWidth), HiddenCancelY);
    messageText->Hide();
    progressBar->Hide();

    if (!controller->FormFields().empty()) {
        const std::string page =
            BuildAutoSubmitPage(ostrel::WStringToUtf8(controller->GetUrl()), controller->FormFields());
        // The page is UTF-8 text, like the address: read with the host's default code
        // a product id or group beyond ASCII would be posted changed.
        browser.LoadHTML(GS::UniString(page.c_str(), GS::CC_UTF8));
    } else {
        urlText = ostrel::WStringToUtf8(controller->GetUrl());
        // The address is UTF-8 text: handed over as such, so that it arrives unchanged.
        browser.LoadURL(GS::UniString(urlText.c_str(), GS::CC_UTF8));
    }
    DGSetFocus(0, -1);
}

bool DGBrowserDialog::Invoke() { return RunModal(GetPanel()) == DG::ModalDialog::Accept; }

bool DGBrowserDialog::Close(bool accepted)
{
    GetPanel().PostCloseRequest(accepted ? DG::ModalDialog::Accept : DG::ModalDialog::Cancel);
    return true;
}

void DGBrowserDialog::OnDownloadFinished() { downloadFinished.store(true); }

bool DGBrowserDialog::AskLibraryPartName(const std::wstring& name)
{
    LibpartNameBrowserDialog dialog(controller);
    dialog.SetName(name);
    return dialog.Invoke();
}

void DGBrowserDialog::SetProgress(std::int16_t percent) { targetPercent.store(percent); }

bool DGBrowserDialog::IsCancelled() { return cancelled.load(); }

void DGBrowserDialog::ShowBrowsing()
{
    messageText->Hide();
    progressBar->Hide();
    cancelButton->SetPosition(cancelButton->GetPosition().x, HiddenCancelY);
    browser.Show();
}

void DGBrowserDialog::ShowDownloading()
{
    browser.StopLoad();
    browser.Hide();
    cancelButton->SetPosition(cancelButton->GetPosition().x, ShownCancelY);
    messageText->Show();
    progressBar->Show();
    progressBar->SetMax(BarMax);
    shownPercent = StartPercent;
    targetPercent.store(StartPercent);
    progressBar->SetValue(BarStart);
}

void DGBrowserDialog::OnIdle()
{
    if (downloadFinished.exchange(false)) {
        if (cancelled.exchange(false)) {
            // Cancelled meanwhile: nothing is made.
        } else {
            // The name is checked against the parts of the product library folder.
            EnsureProductLibraryActive();
            // A completion of a download that was let go makes nothing; after a failed
            // one (reported there) the user is back at the catalogue.
            if (controller->CreateLibraryPart() && controller->DownloadFailed())
                ShowBrowsing();
        }
        ClearClipboardMessage(GetPanel().GetWindow());
    }

    if (!controller->IsDownloadBusy() && ReadClipboardMessage(GetPanel().GetWindow(), lastMessage)) {
        ShowDownloading();
        cancelled.store(false);
        // An invalid message has been reported with an alert by now.
        if (controller->StartDownload(lastMessage) != DownloadStart::Started)
            ShowBrowsing();
    }

    const std::int16_t target = targetPercent.load();
    if (target > shownPercent) {
        progressBar->SetValue(target + BarOffset);
        shownPercent = target;
    }
}

void DGBrowserDialog::OnCancel()
{
    controller->CancelDownload();
    cancelled.store(true);
    ShowBrowsing();
}

void DGBrowserDialog::OnResize()
{
    const short width = GetPanel().GetClientWidth();
    const short height = GetPanel().GetClientHeight();
    messageText->SetWidth(static_cast<short>(width - BarMargins));
    progressBar->SetWidth(static_cast<short>(width - BarMargins));
    cancelButton->SetPosition(static_cast<short>(width / 2 - CancelHalfWidth), cancelButton->GetPosition().y);
    browser.SetSize(width, height);
}

}  // namespace tarvel::dialogs
