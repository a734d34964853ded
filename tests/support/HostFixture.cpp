#include "HostFixture.hpp"

#include <boost/filesystem/operations.hpp>

namespace tarvel::testing {

void HostFixture::SetUp()
{
    boost::filesystem::create_directories(SpecialFolder());
    boost::filesystem::create_directories(AddOnFolder());
    standin::HostOptions options;
    options.specialLocation = SpecialFolder().string();
    options.addOnFile = (AddOnFolder() / "Tarvel.apx").string();
    AdjustOptions(options);
    previousHandler_ = standin::dg::SetRefusalHandler(
        [](const std::string& message) { ADD_FAILURE() << "the stand-in refused: " << message; });
    session_ = std::make_unique<tools::HostSession>(std::move(options));
}

void HostFixture::TearDown()
{
    session_.reset();
    standin::dg::SetRefusalHandler(std::move(previousHandler_));
}

void HostFixture::AddDialogModule(GSResModule module, const std::vector<std::string>& dialogs) const
{
    const boost::filesystem::path folder = temp_.Path() / ("module" + std::to_string(module));
    boost::filesystem::create_directories(folder / "dialogs");
    for (std::size_t i = 0; i < dialogs.size(); ++i)
        WriteFile(folder / "dialogs" / ("dialog" + std::to_string(i) + ".json"), dialogs[i]);
    standin::dg::AddResourceModule(module, folder.string());
}

}  // namespace tarvel::testing
