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

}  // namespace tarvel::testing
