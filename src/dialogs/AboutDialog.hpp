// The About window: the product line, the add-on's version, the maker's contact
// block, and four texts that open the maker's and the product's web pages, the
// support site and a mail to the maker.
#pragma once

#include "DialogIds.hpp"
#include "ostrel/ApplicationContent.hpp"
#include "ostrel/dgx/Controls.hpp"
#include "ostrel/dgx/Panels.hpp"

#include <boost/noncopyable.hpp>

namespace tarvel::dialogs {

class AboutDialog : public ostrel::ac::dgx::DialogX<DG::ModalDialog>, boost::noncopyable {
public:
    static constexpr short ResourceId = ids::About::Dialog;

    AboutDialog();
    ~AboutDialog() override;

    void InitializeControls() override;

    // Runs the modal loop; true when the dialog was closed with acceptance.
    bool Invoke();
    void OnClose(bool accepted);

    void OnMakerWebLink();
    void OnMailLink();
    void OnProductWebLink();
    void OnSupportLink();

private:
    ostrel::ApplicationContentCache dialogCache;
    ostrel::ac::dgx::ButtonX closeButton;
    ostrel::ac::dgx::LeftTextX versionText;
    ostrel::ac::dgx::LeftTextX makerWebLink;
    ostrel::ac::dgx::LeftTextX mailLink;
    ostrel::ac::dgx::LeftTextX productWebLink;
    ostrel::ac::dgx::LeftTextX supportLink;
};

}  // namespace tarvel::dialogs
