#include "dialogs/LibraryDialog.hpp"

#include "Main/Globals.hpp"
#include "Main/Guard.hpp"
#include "dialogs/DialogSupport.hpp"
#include "ostrel/AnyKey.hpp"
#include "ostrel/Text.hpp"

namespace tarvel::dialogs {
namespace {

constexpr short LogoColumn = 1;
constexpr short NameColumn = 3;

}  // namespace

std::vector<std::wstring> GetLibraryRowTexts(const std::shared_ptr<Library>& library)
{
    std::vector<std::wstring> texts(3);
    if (library)
        texts[NameColumn - 1] = library->name.empty() ? library->id : library->name;
    return texts;
}

std::vector<std::shared_ptr<ostrel::ac::dgx::IIconOwner>> GetLibraryRowIcons(
    const std::shared_ptr<Library>& library, const boost::optional<glm::dvec2>& maxSize,
    ostrel::ApplicationContentCache* cache)
{
    std::vector<std::shared_ptr<ostrel::ac::dgx::IIconOwner>> icons(3);
    // An empty logo names no file (the bare Images folder is not a picture).
    if (!library || library->logo.empty() || cache == nullptr)
        return icons;
    const ostrel::AnyKey size = maxSize ? ostrel::AnyKey(*maxSize) : ostrel::AnyKey();
    icons[LogoColumn - 1] = cache->Get(ostrel::WStringToUtf8(library->logo), size);
    return icons;
}

LibraryDialog::LibraryDialog(LibraryController& libraryController)
    : DialogX(ResourceId, &dialogCache),
      dialogCache(ImagesFolderUtf8()),
      controller(&libraryController),
      okButton(GetPanel(), ids::Library::Ok, &dialogCache),
      cancelButton(GetPanel(), ids::Library::Cancel, &dialogCache),
      libraryList(GetPanel(), ids::Library::List, &dialogCache)
{
    controller->view = this;
    InitializeControls();
}

LibraryDialog::~LibraryDialog()
{
    // The controller outlives the dialog: it must not call a view that is gone.
    if (controller->view == static_cast<ILibraryView*>(this))
        controller->view = nullptr;
}

void LibraryDialog::InitializeControls()
{
    // Nothing thrown in a handler may reach the host; a failed OK leaves the dialog open.
    okButton.onClick = Guarded([this] { controller->ApplyActiveLibraries(); });
    cancelButton.onClick = Guarded([this] { Close(false); });
    DG::SingleSelListBox& list = libraryList.GetItem();
    const short width = list.GetItemWidth();
    const auto logoEnd = static_cast<short>(width * 0.3);
    const auto checkEnd = static_cast<short>(width * 0.5);
    list.SetTabFieldProperties(1, 0, logoEnd, DG::ListBox::Left, DG::ListBox::EndTruncate, false, true);
    list.SetTabFieldProperties(2, logoEnd, checkEnd, DG::ListBox::Left, DG::ListBox::EndTruncate, false, true);
    list.SetTabFieldProperties(3, checkEnd, width, DG::ListBox::Left, DG::ListBox::EndTruncate, false, true);
    FillLibraryList(controller->Libraries());
    DGSetFocus(0, -1);
}

void LibraryDialog::FillLibraryList(const std::vector<std::shared_ptr<Library>>& libraries)
{
    if (libraries.empty())
        return;
    libraryList.AppendSeparator();
    DG::SingleSelListBox& list = libraryList.GetItem();
    for (const auto& library : libraries) {
        const std::size_t before = libraryList.ItemCount();
        libraryList.AppendItem(library);
        // A library that shows nothing has no row; its check mark and separator
        // would fall on the row before it.
        if (libraryList.ItemCount() == before)
            continue;
        libraryList.SetListTabItemIcon(GetPanel().GetId(), list.GetId(), list.GetItemCount(), CheckColumn,
                                       library->active ? DG::CheckedIcon : DG::UncheckedIcon);
        libraryList.AppendSeparator();
    }
}

bool LibraryDialog::Invoke() { return RunModal(GetPanel()) == DG::ModalDialog::Accept; }

void LibraryDialog::Close(bool accepted)
{
    GetPanel().PostCloseRequest(accepted ? DG::ModalDialog::Accept : DG::ModalDialog::Cancel);
}

void LibraryDialog::CollectLibraries(std::vector<LibraryChoice>& choices)
{
    DG::SingleSelListBox& list = libraryList.GetItem();
    const short rows = list.GetItemCount();
    for (short row = 1; row <= rows; ++row) {
        if (libraryList.IsSeparatorRow(row))
            continue;
        const std::shared_ptr<Library> library = libraryList.GetItem(libraryList.PositionOfRow(row));
        if (!library)
            continue;
        const bool checked = list.GetTabItemIcon(row, CheckColumn).GetResourceId() == DG::CheckedIcon;
        choices.push_back(LibraryChoice{library->id, checked});
    }
}

}  // namespace tarvel::dialogs
