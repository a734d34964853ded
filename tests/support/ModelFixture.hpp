// A test inside the stand-in host with its library-part store, tools and placed
// elements; the host can be restarted on the same folders to see what it reads back.
#pragma once

#include "HostSession.hpp"
#include "TempDir.hpp"
#include "standin/Base.hpp"
#include "standin/Elements.hpp"
#include "standin/LibParts.hpp"

#include <boost/filesystem/operations.hpp>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace tarvel::testing {

class ModelFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        boost::filesystem::create_directories(LibraryFolder());
        boost::filesystem::create_directories(temp_.Path() / "addon");
        handlesAtStart_ = standin::base::LiveHandles();
        Start();
    }

    void TearDown() override
    {
        session_.reset();
        standin::base::ResetMemoryFailures();
        standin::base::FailFileOpen(0);
        standin::base::ForceFoldersNotWriteable(false);
    }

    // (Re)starts the host with these active libraries.
    void Start(std::vector<std::string> libraries = {})
    {
        session_.reset();
        standin::HostOptions options;
        options.specialLocation = SpecialFolder().string();
        options.addOnFile = (temp_.Path() / "addon" / "Tarvel.apx").string();
        options.activeLibraries = std::move(libraries);
        session_ = std::make_unique<tools::HostSession>(std::move(options));
    }

    standin::Host& Host() { return session_->Host(); }
    standin::LibPartModule& Store() { return Host().Module<standin::LibPartModule>(); }
    standin::ToolModule& Tools() { return Host().Module<standin::ToolModule>(); }
    standin::ElementModule& Elements() { return Host().Module<standin::ElementModule>(); }
    standin::ReportModule& Report() { return session_->Report(); }
    std::vector<std::string> ReportLines() { return session_->Report().Lines(); }

    const TempDir& Temp() const { return temp_; }
    boost::filesystem::path SpecialFolder() const { return temp_.Path() / "special"; }
    boost::filesystem::path LibraryFolder() const
    {
        return SpecialFolder() / "Tarvel" / "daVED" / "ArchiCAD" / "Tarvel Library";
    }
    // The library folder as the add-on names it: the special location and backslashed pieces.
    std::string LibraryText() const
    {
        return SpecialFolder().string() + "\\Tarvel\\daVED\\ArchiCAD\\Tarvel Library";
    }
    // Handles allocated since the test began and not released.
    std::int64_t LeakedHandles() const { return standin::base::LiveHandles() - handlesAtStart_; }

private:
    TempDir temp_;
    std::int64_t handlesAtStart_ = 0;
    std::unique_ptr<tools::HostSession> session_;
};

}  // namespace tarvel::testing
