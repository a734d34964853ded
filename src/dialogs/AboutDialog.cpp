#include "dialogs/AboutDialog.hpp"

#include "Main/Globals.hpp"
#include "Main/Guard.hpp"
#include "dialogs/DialogSupport.hpp"
#include "ostrel/Text.hpp"
#include "ostrel/interop/Interop.hpp"
#include "transfer/Deployment.hpp"

namespace tarvel::dialogs {
namespace {

// The maker's addresses (placeholders until the owner gives the real ones).
constexpr const char* MakerWebSite = "http://www.tarvel.example/";
constexpr const char* MakerMail = "mailto:info@tarvel.example";
constexpr const char* ProductWebSite = "https://bim.tarvel.example/";

}  // namespace

AboutDialog::AboutDialog()
    : DialogX(ResourceId, &dialogCache),
      dialogCache(ImagesFolderUtf8()),
      closeButton(GetPanel(), ids::About::Close, &dialogCache),
      versionText(GetPanel(), ids::About::Version, &dialogCache),
      makerWebLink(GetPanel(), ids::About::MakerWeb, &dialogCache),
      mailLink(GetPanel(), ids::About::Mail, &dialogCache),
      productWebLink(GetPanel(), ids::About::ProductWeb, &dialogCache),
      supportLink(GetPanel(), ids::About::Support, &dialogCache)
{
    InitializeControls();
}

AboutDialog::~AboutDialog() = default;

void AboutDialog::InitializeControls()
{
    // Nothing thrown in a handler may reach the host.
    closeButton.onClick = Guarded([this] { OnClose(false); });
    makerWebLink.onClick = Guarded([this] { OnMakerWebLink(); });
    mailLink.onClick = Guarded([this] { OnMailLink(); });
    productWebLink.onClick = Guarded([this] { OnProductWebLink(); });
    supportLink.onClick = Guarded([this] { OnSupportLink(); });
    versionText.SetText(L"Version " + ostrel::Utf8ToWString(AddOnVersionText));
    DGSetFocus(0, -1);
}

bool AboutDialog::Invoke() { return RunModal(GetPanel()) == DG::ModalDialog::Accept; }

void AboutDialog::OnClose(bool accepted)
{
    GetPanel().PostCloseRequest(accepted ? DG::ModalDialog::Accept : DG::ModalDialog::Cancel);
}

void AboutDialog::OnMakerWebLink() { ostrel::ac::interop::ShellOpen(MakerWebSite); }

void AboutDialog::OnMailLink() { ostrel::ac::interop::ShellOpen(MakerMail); }

void AboutDialog::OnProductWebLink() { ostrel::ac::interop::ShellOpen(ProductWebSite); }

void AboutDialog::OnSupportLink() { ostrel::ac::interop::ShellOpen(CurrentDeployment().supportSite); }

}  // namespace tarvel::dialogs
