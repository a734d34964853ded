#pragma once

#include "HostSession.hpp"
#include "TempDir.hpp"
#include "standin/Dialogs.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tarvel::testing {

// A test running inside the stand-in host: special location 9 is a fresh
// temporary folder ("special"), the add-on file lies in "addon/Tarvel.apx". What
// the stand-in dialog manager refuses fails the test, also at the host's shutdown.
class HostFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Options for the host; tests may adjust them before SetUp runs the host.
    virtual void AdjustOptions(standin::HostOptions& options) {}

    standin::Host& Host() { return session_->Host(); }
    standin::ReportModule& Report() { return session_->Report(); }
    const TempDir& Temp() const { return temp_; }
    boost::filesystem::path SpecialFolder() const { return temp_.Path() / "special"; }
    boost::filesystem::path AddOnFolder() const { return temp_.Path() / "addon"; }
    // Registers a resource module of the test's own dialogs (one JSON text each).
    void AddDialogModule(GSResModule module, const std::vector<std::string>& dialogs) const;

private:
    TempDir temp_;
    std::unique_ptr<tools::HostSession> session_;
    standin::dg::RefusalHandler previousHandler_;
};

}  // namespace tarvel::testing
