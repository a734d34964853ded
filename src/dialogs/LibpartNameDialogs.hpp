// The two twin dialogs in which the user confirms or changes the name of a library
// part about to be created: one for the browser dialog's road, writing the name into
// its BrowserController, one for the toolbar palette's road, writing it into the
// ToolbarController. Each lives for one question: built, given the proposed name,
// run once, destroyed.
//
// OK removes the blanks around the name and replaces the characters a file name cannot
// hold (as the name proposal does) and shows the result in the edit; a name that is
// empty or all blank, or that is not free (a library part of the active libraries has
// it, or a file of that name in any case is in the product library folder), keeps the
// dialog open with an alert.
#pragma once

#include "DialogIds.hpp"
#include "ostrel/ApplicationContent.hpp"
#include "ostrel/dgx/Controls.hpp"
#include "ostrel/dgx/Panels.hpp"

#include <boost/noncopyable.hpp>

#include <string>

namespace tarvel {
class BrowserController;
class ToolbarController;
}  // namespace tarvel

namespace tarvel::dialogs {

// True when no library part of the active libraries has this name and no file of the
// product library folder has it in any case (UTF-8; a malformed sequence counts as U+FFFD).
bool IsLibraryPartNameFree(const std::string& name);

class LibpartNameDialog : public ostrel::ac::dgx::DialogX<DG::ModalDialog>, boost::noncopyable {
public:
    static constexpr short ResourceId = ids::LibpartName::Dialog;

    ~LibpartNameDialog() override;

    void InitializeControls() override;

    // The edit's text.
    void SetName(const std::wstring& name);
    // Runs the modal loop; true when a name was accepted and stored in the controller.
    bool Invoke();
    void OnOk();
    void Close(bool accepted);

protected:
    LibpartNameDialog();

    // Gives the accepted name to the controller.
    virtual void StoreName(const std::wstring& name) = 0;

private:
    ostrel::ApplicationContentCache dialogCache;
    ostrel::ac::dgx::ButtonX okButton;
    ostrel::ac::dgx::ButtonX cancelButton;
    ostrel::ac::dgx::TextEditX nameEdit;
};

// Run by the browser dialog: the accepted name goes to the controller's libPartName.
class LibpartNameBrowserDialog final : public LibpartNameDialog {
public:
    explicit LibpartNameBrowserDialog(BrowserController* controller);

private:
    void StoreName(const std::wstring& name) override;

    BrowserController* controller;
};

// Run by the toolbar palette: the accepted name goes to the controller's libPartName.
class LibpartNameToolbarDialog final : public LibpartNameDialog {
public:
    explicit LibpartNameToolbarDialog(ToolbarController* controller);

private:
    void StoreName(const std::wstring& name) override;

    ToolbarController* controller;
};

}  // namespace tarvel::dialogs
