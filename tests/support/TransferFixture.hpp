// The stand-in host with the add-on's data folders and short transfer limits, and a
// view that records what a download tells it: for the tests of catalogue exchange.
#pragma once

#include "CatalogueServer.hpp"
#include "HostFixture.hpp"
#include "Main/Globals.hpp"
#include "ostrel/Text.hpp"
#include "standin/Win.hpp"
#include "transfer/Artifacts.hpp"
#include "transfer/Deployment.hpp"
#include "transfer/Http.hpp"

#include <boost/filesystem/operations.hpp>

#include <atomic>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tarvel::testing {

using standin::services::CatalogueServer;
using standin::services::SilentListener;
using standin::services::UnusedPort;

// Short limits: nothing in a test waits for the deployment's real periods.
inline Deployment TestDeployment()
{
    Deployment deployment;
    deployment.connectTimeout = std::chrono::milliseconds(500);
    deployment.stallTime = std::chrono::seconds(1);
    deployment.stallBytesPerSecond = 1;
    deployment.semaphorePollPeriod = std::chrono::milliseconds(10);
    return deployment;
}

// The stand-in host with the data folders made and the test limits in force.
class TransferFixture : public HostFixture {
protected:
    void SetUp() override
    {
        HostFixture::SetUp();
        deployment_.emplace(TestDeployment());
        InitializeAddOnGlobals();
        // Lines of bounds an earlier test passed and did not write are not this test's.
        TakeBoundFailures();
    }
    void TearDown() override
    {
        EXPECT_TRUE(standin::win::WaitForAllThreads());
        TakeBoundFailures();
        deployment_.reset();
        HostFixture::TearDown();
    }

    boost::filesystem::path TempFolder() const { return SpecialFolder() / "Tarvel" / "daVED" / "ArchiCAD" / "Temp"; }
    // The path text the add-on gives for a file in Temp.
    std::string TempPathText(const std::string& name) const
    {
        return SpecialFolder().string() + "\\Tarvel\\daVED\\ArchiCAD\\Temp\\" + name;
    }

private:
    std::optional<ScopedDeployment> deployment_;
};

// A view that records what the worker tells it; safe from any thread.
class RecordingView : public ITokenAndArtifactsView {
public:
    bool Close(bool) override { return true; }
    void OnDownloadFinished() override
    {
        std::lock_guard lock(mutex_);
        ++finished_;
    }
    bool AskLibraryPartName(const std::wstring&) override { return true; }
    void SetProgress(std::int16_t percent) override
    {
        std::lock_guard lock(mutex_);
        progress_.push_back(percent);
        if (cancelAtProgress_ && percent == *cancelAtProgress_)
            cancelled_ = true;
    }
    bool IsCancelled() override
    {
        std::lock_guard lock(mutex_);
        ++cancelQuestions_;
        return cancelled_;
    }

    void SetCancelled(bool cancelled)
    {
        std::lock_guard lock(mutex_);
        cancelled_ = cancelled;
    }
    // Cancels as soon as this progress value arrives.
    void CancelAtProgress(std::int16_t percent)
    {
        std::lock_guard lock(mutex_);
        cancelAtProgress_ = percent;
    }
    std::vector<std::int16_t> Progress() const
    {
        std::lock_guard lock(mutex_);
        return progress_;
    }
    int Finished() const
    {
        std::lock_guard lock(mutex_);
        return finished_;
    }
    int CancelQuestions() const
    {
        std::lock_guard lock(mutex_);
        return cancelQuestions_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::int16_t> progress_;
    int finished_ = 0;
    int cancelQuestions_ = 0;
    bool cancelled_ = false;
    std::optional<std::int16_t> cancelAtProgress_;
};

inline CatalogueArtifacts MakeArtifacts(const std::vector<std::pair<std::string, std::string>>& typeAndUrl,
                                        ITokenAndArtifactsView* view)
{
    CatalogueArtifacts artifacts;
    for (const auto& [type, url] : typeAndUrl) {
        artifacts.fileTypes.push_back(type);
        artifacts.sourceUrls.push_back(url);
        artifacts.localPaths.emplace_back();
    }
    artifacts.view = view;
    return artifacts;
}

}  // namespace tarvel::testing
