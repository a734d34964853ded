#include "dialogs/LibpartNameDialogs.hpp"

#include "Main/Globals.hpp"
#include "Main/Guard.hpp"
#include "controllers/BrowserController.hpp"
#include "controllers/ToolbarController.hpp"
#include "dialogs/DialogSupport.hpp"
#include "libparts/LibPartNames.hpp"
#include "libparts/LibPartSpec.hpp"
#include "ostrel/interop/HostApi.hpp"
#include "ostrel/interop/Interop.hpp"

namespace tarvel::dialogs {
namespace {

// STRS 17770: the name is taken (two lines), no name given.
constexpr std::int16_t NameTexts = 17770;
constexpr std::int16_t NameTakenIndex = 1;
constexpr std::int16_t NoNameIndex = 4;

void Alert(std::int16_t index)
{
    HostApi_Report(ostrel::ac::interop::ToUniString(ostrel::ac::interop::LoadResourceString(NameTexts, index)), true);
}

}  // namespace

bool IsLibraryPartNameFree(const std::string& name)
{
    return IsLibPartNameFree(ostrel::ac::interop::ToWString(GS::UniString(name.c_str(), GS::CC_UTF8)));
}

LibpartNameDialog::LibpartNameDialog()
    : DialogX(ResourceId, &dialogCache),
      dialogCache(ImagesFolderUtf8()),
      okButton(GetPanel(), ids::LibpartName::Ok, &dialogCache),
      cancelButton(GetPanel(), ids::LibpartName::Cancel, &dialogCache),
      nameEdit(GetPanel(), ids::LibpartName::Edit, &dialogCache)
{
    InitializeControls();
}

LibpartNameDialog::~LibpartNameDialog() = default;

void LibpartNameDialog::InitializeControls()
{
    // Nothing thrown in a handler may reach the host; a failed OK stores no name and
    // leaves the dialog open.
    okButton.onClick = Guarded([this] { OnOk(); });
    cancelButton.onClick = Guarded([this] { Close(false); });
    DGSetFocus(0, -1);
}

void LibpartNameDialog::SetName(const std::wstring& name) { nameEdit.SetText(name); }

bool LibpartNameDialog::Invoke() { return RunModal(GetPanel()) == DG::ModalDialog::Accept; }

void LibpartNameDialog::Close(bool accepted)
{
    GetPanel().PostCloseRequest(accepted ? DG::ModalDialog::Accept : DG::ModalDialog::Cancel);
}

void LibpartNameDialog::OnOk()
{
    const std::wstring typed = nameEdit.GetText();
    // Blanks around a name would make it a different name for the host but not for
    // its file system; control characters have no place in a file name.
    const std::wstring cleaned = CleanLibPartName(typed);
    // The name goes to the host's search as UTF-8 and is stored as it comes back, so
    // the name searched and the name stored are the same (a lone surrogate becomes U+FFFD).
    const std::string utf8 = ostrel::ac::interop::ToUniString(cleaned).ToUtf8();
    const std::wstring name = ostrel::ac::interop::ToWString(GS::UniString(utf8.c_str(), GS::CC_UTF8));
    if (name != typed)
        nameEdit.SetText(name);

    if (name.empty()) {
        Alert(NoNameIndex);
        return;
    }
    if (!IsLibraryPartNameFree(utf8)) {
        Alert(NameTakenIndex);
        return;
    }
    StoreName(name);
    Close(true);
}

LibpartNameBrowserDialog::LibpartNameBrowserDialog(BrowserController* owner) : controller(owner) {}

void LibpartNameBrowserDialog::StoreName(const std::wstring& name) { controller->SetLibPartName(name); }

LibpartNameToolbarDialog::LibpartNameToolbarDialog(ToolbarController* owner) : controller(owner) {}

void LibpartNameToolbarDialog::StoreName(const std::wstring& name) { controller->libPartName = name; }

}  // namespace tarvel::dialogs
