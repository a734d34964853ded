// Dialogs inside the stand-in host with the add-on's data folders made, and the
// pictures the tests take of them: into the test's temporary folder, or, when
// TARVEL_PICTURES is set, into that folder, to be looked at.
#pragma once

#include "HostFixture.hpp"
#include "Main/Globals.hpp"

#include <boost/filesystem/operations.hpp>

#include <cstdlib>
#include <string>

namespace tarvel::testing {

// Where a test writes a picture named `name`.
inline std::string PicturePath(const TempDir& temp, const std::string& name)
{
    if (const char* folder = std::getenv("TARVEL_PICTURES"); folder != nullptr && *folder != '\0') {
        boost::filesystem::create_directories(folder);
        return (boost::filesystem::path(folder) / name).string();
    }
    return (temp.Path() / name).string();
}

class DialogFixture : public HostFixture {
protected:
    void SetUp() override
    {
        HostFixture::SetUp();
        InitializeAddOnGlobals();
    }

    std::string PicturePath(const std::string& name) const { return testing::PicturePath(Temp(), name); }

    boost::filesystem::path DataRoot() const { return SpecialFolder() / "Tarvel" / "daVED" / "ArchiCAD"; }
};

}  // namespace tarvel::testing
