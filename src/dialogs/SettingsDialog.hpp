// The Settings window: switches the automatic update check at start-up, shows when
// the last check was, and downloads and starts the installer at once. It is the
// view of a SettingsController, which reads and writes Settings.xml.
#pragma once

#include "DialogIds.hpp"
#include "controllers/SettingsController.hpp"
#include "ostrel/ApplicationContent.hpp"
#include "ostrel/dgx/Controls.hpp"
#include "ostrel/dgx/Panels.hpp"

#include <boost/noncopyable.hpp>

#include <string>
#include <vector>

namespace tarvel::dialogs {

class SettingsDialog : public ostrel::ac::dgx::DialogX<DG::ModalDialog>,
                       boost::noncopyable,
                       public ISettingsView {
public:
    static constexpr short ResourceId = ids::Settings::Dialog;
    // The longest last-check text, in UTF-8 bytes.
    static constexpr std::size_t MaxLastCheckBytes = 99;

    // Becomes the controller's view; reading the settings may write
    // AutoUpdateEnabled = "yes" when the file has no such setting.
    explicit SettingsDialog(SettingsController& controller);
    ~SettingsDialog() override;

    void InitializeControls() override;

    // Runs the modal loop; true when the dialog was closed with acceptance (OK).
    bool Invoke();
    void Close(bool accepted) override;
    // The one change the dialog offers: AutoUpdateEnabled of Update, "yes" or "no".
    void CollectSettings(std::vector<SettingChange>& changes) override;
    // Downloads and starts the installer; the dialog stays open.
    void OnUpdateNow();

private:
    ostrel::ApplicationContentCache dialogCache;
    SettingsController* controller;
    ostrel::ac::dgx::ButtonX okButton;
    ostrel::ac::dgx::ButtonX cancelButton;
    ostrel::ac::dgx::CheckBoxX autoUpdateCheck;
    ostrel::ac::dgx::LeftTextX lastCheckText;
    ostrel::ac::dgx::ButtonX updateNowButton;
};

// The resource's last-check text with the value in place of its "%s", cut to at most
// `maxBytes` bytes at the start of a UTF-8 sequence, so that no character is split.
std::string LastCheckText(const std::string& format, const std::string& value, std::size_t maxBytes);

}  // namespace tarvel::dialogs
