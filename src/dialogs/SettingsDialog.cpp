#include "dialogs/SettingsDialog.hpp"

#include "Main/Globals.hpp"
#include "Main/Guard.hpp"
#include "controllers/UpdateController/UpdateController.hpp"
#include "dialogs/DialogSupport.hpp"
#include "ostrel/interop/Interop.hpp"

namespace tarvel::dialogs {
namespace {

// STRS 17770/2: "Date and time of last check: %s".
constexpr std::int16_t LastCheckList = 17770;
constexpr std::int16_t LastCheckIndex = 2;

constexpr const char* Yes = "yes";
constexpr const char* No = "no";

}  // namespace

std::string LastCheckText(const std::string& format, const std::string& value, std::size_t maxBytes)
{
    std::string text = format;
    if (const std::size_t at = text.find("%s"); at != std::string::npos)
        text.replace(at, 2, value);
    if (text.size() > maxBytes) {
        std::size_t cut = maxBytes;
        // Back to the first byte of the sequence the cut falls into.
        while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
            --cut;
        text.resize(cut);
    }
    return text;
}

SettingsDialog::SettingsDialog(SettingsController& owner)
    : DialogX(ResourceId, &dialogCache),
      dialogCache(ImagesFolderUtf8()),
      controller(&owner),
      okButton(GetPanel(), ids::Settings::Ok, &dialogCache),
      cancelButton(GetPanel(), ids::Settings::Cancel, &dialogCache),
      autoUpdateCheck(GetPanel(), ids::Settings::AutoUpdate, &dialogCache),
      lastCheckText(GetPanel(), ids::Settings::LastCheck, &dialogCache),
      updateNowButton(GetPanel(), ids::Settings::UpdateNow, &dialogCache)
{
    controller->view = this;
    InitializeControls();
}

SettingsDialog::~SettingsDialog()
{
    if (controller->view == this)
        controller->view = nullptr;
}

void SettingsDialog::InitializeControls()
{
    // Nothing thrown in a handler may reach the host; a failed OK leaves the dialog open.
    okButton.onClick = Guarded([this] { controller->ApplySettings(); });
    cancelButton.onClick = Guarded([this] { Close(false); });
    updateNowButton.onClick = Guarded([this] { OnUpdateNow(); });

    std::string enabled;
    if (controller->GetAttribute(autoUpdateEnabledName, enabled)) {
        autoUpdateCheck->SetState(enabled == Yes);
    } else {
        controller->SetAttribute(updateElementName, autoUpdateEnabledName, Yes);
        autoUpdateCheck->SetState(true);
    }

    std::string lastCheck;
    controller->GetAttribute(lastUpdateCheckName, lastCheck);
    const std::string text = LastCheckText(
        ostrel::ac::interop::LoadResourceStringUtf8(LastCheckList, LastCheckIndex), lastCheck, MaxLastCheckBytes);
    // A byte that is no UTF-8 (a damaged file) shows as U+FFFD.
    lastCheckText.SetText(ostrel::ac::interop::ToWString(GS::UniString(text.c_str(), GS::CC_UTF8)));

    DGSetFocus(0, -1);
}

bool SettingsDialog::Invoke() { return RunModal(GetPanel()) == DG::ModalDialog::Accept; }

void SettingsDialog::Close(bool accepted)
{
    GetPanel().PostCloseRequest(accepted ? DG::ModalDialog::Accept : DG::ModalDialog::Cancel);
}

void SettingsDialog::CollectSettings(std::vector<SettingChange>& changes)
{
    changes.clear();
    changes.push_back(SettingChange{updateElementName, autoUpdateEnabledName, autoUpdateCheck->IsChecked() ? Yes : No});
}

void SettingsDialog::OnUpdateNow() { DownloadAndRunInstaller(); }

}  // namespace tarvel::dialogs
