// The library manager: every product library the controller knows, one row each
// with its logo, a check mark for "active" and its name, between separator rows.
// The user ticks libraries; OK hands the choices to the controller.
#pragma once

#include "DialogIds.hpp"
#include "controllers/LibraryController.hpp"
#include "ostrel/ApplicationContent.hpp"
#include "ostrel/dgx/Controls.hpp"
#include "ostrel/dgx/Icons.hpp"
#include "ostrel/dgx/ListBox.hpp"
#include "ostrel/dgx/Panels.hpp"

#include <boost/noncopyable.hpp>
#include <boost/optional.hpp>
#include <glm/vec2.hpp>

#include <memory>
#include <string>
#include <vector>

namespace tarvel::dialogs {

// A library's row: no text in the logo and check-mark fields, its name in the
// third; a library without a name shows its id, so that it has a row.
std::vector<std::wstring> GetLibraryRowTexts(const std::shared_ptr<Library>& library);
// The logo from the dialog's cache, shrunk to fit the row; none when the library
// names no logo or its file cannot be read.
std::vector<std::shared_ptr<ostrel::ac::dgx::IIconOwner>> GetLibraryRowIcons(
    const std::shared_ptr<Library>& library, const boost::optional<glm::dvec2>& maxSize,
    ostrel::ApplicationContentCache* cache);

}  // namespace tarvel::dialogs

template <>
struct ostrel::ac::dgx::ListRowModel<std::shared_ptr<tarvel::Library>> {
    static std::vector<std::wstring> Texts(const std::shared_ptr<tarvel::Library>& library)
    {
        return tarvel::dialogs::GetLibraryRowTexts(library);
    }
    static std::vector<std::shared_ptr<IIconOwner>> Icons(const std::shared_ptr<tarvel::Library>& library,
                                                          const boost::optional<glm::dvec2>& maxSize,
                                                          ApplicationContentCache* cache)
    {
        return tarvel::dialogs::GetLibraryRowIcons(library, maxSize, cache);
    }
};

namespace tarvel::dialogs {

class LibraryDialog : public ostrel::ac::dgx::DialogX<DG::ModalDialog>, boost::noncopyable, public ILibraryView {
public:
    static constexpr short ResourceId = ids::Library::Dialog;
    // The tab field of the check marks.
    static constexpr short CheckColumn = 2;

    // Becomes the controller's view while it lives.
    explicit LibraryDialog(LibraryController& controller);
    ~LibraryDialog() override;

    void InitializeControls() override;
    void FillLibraryList(const std::vector<std::shared_ptr<Library>>& libraries);

    // Runs the modal loop; true when the dialog was closed with OK.
    bool Invoke();

    void Close(bool accepted) override;
    // One choice per library row, in row order, appended.
    void CollectLibraries(std::vector<LibraryChoice>& choices) override;

private:
    ostrel::ApplicationContentCache dialogCache;
    LibraryController* controller;
    ostrel::ac::dgx::ButtonX okButton;
    ostrel::ac::dgx::ButtonX cancelButton;
    ostrel::ac::dgx::SingleSelListBoxX<std::shared_ptr<Library>, 3> libraryList;
};

}  // namespace tarvel::dialogs
