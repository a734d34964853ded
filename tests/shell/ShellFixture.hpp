// The add-on's shell loaded into the stand-in host as the host loads it (its code
// linked into the test), with a palette of the test's own that records what the shell
// asks of it, against the loopback catalogue.
#pragma once

#include "ControllerFixture.hpp"

#include "Main/EntryPoints.hpp"
#include "Main/ToolbarPalette.hpp"
#include "controllers/ToolbarController.hpp"
#include "standin/AddOn.hpp"
#include "standin/Dialogs.hpp"

#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace tarvel::testing {

// The id under which the shell registers its palette window.
constexpr std::int32_t kPaletteId = 0x0FE77916;

// The palette as the shell sees it. Like the palette dialog it is the toolbar
// controller's view, and its close request hides it and stops the watcher.
class RecordingPalette : public IToolbarPalette, public ITokenAndArtifactsView {
public:
    explicit RecordingPalette(std::vector<std::string>& log) : log_(log)
    {
        toolbarController.view = this;
        toolbarController.ReloadActiveLibraries();
    }
    ~RecordingPalette() override
    {
        ITokenAndArtifactsView* self = this;
        toolbarController.view.compare_exchange_strong(self, nullptr);
    }

    void SendCloseRequest() override
    {
        log_.push_back("close request");
        Close(true);
    }
    void HideWindow() override
    {
        log_.push_back("hide");
        visible_ = false;
    }
    void ShowWindow() override
    {
        log_.push_back("show window");
        visible_ = true;
    }
    bool IsWindowVisible() const override { return visible_; }
    void EnableItems() override { log_.push_back("enable items"); }
    void DisableItems() override { log_.push_back("disable items"); }
    bool Show() override
    {
        log_.push_back("show");
        if (throwOnShow)
            throw std::runtime_error("palette failure");
        visible_ = true;
        return true;
    }
    void StartClipboardWatcher() override
    {
        log_.push_back("watch");
        toolbarController.StartClipboardWatcher(reinterpret_cast<HWND>(this));
    }
    void StopClipboardWatcher() override
    {
        log_.push_back("stop watcher");
        toolbarController.StopClipboardWatcher();
    }
    void EnableModifyTool(bool enable) override { log_.push_back(enable ? "modify on" : "modify off"); }

    bool Close(bool accepted) override
    {
        log_.push_back(accepted ? "close" : "close (clean-up)");
        toolbarController.StopClipboardWatcher();
        visible_ = false;
        return true;
    }
    void OnDownloadFinished() override {}
    bool AskLibraryPartName(const std::wstring&) override { return false; }
    void SetProgress(std::int16_t) override {}
    bool IsCancelled() override { return false; }

    bool throwOnShow = false;

private:
    std::vector<std::string>& log_;
    bool visible_ = false;
};

class ShellFixture : public ControllerFixture {
protected:
    void SetUp() override
    {
        ControllerFixture::SetUp();
        // 2023-11-14 22:13:20 UTC
        standin::win::SetClock(1700000000);
        standin::win::SetUtcOffset(0);
        standin::win::ClearShellLog();
        // No newer version unless a test offers one: no update alert.
        Server().AddFile(standin::services::kChangelogPath, standin::services::ChangelogXml({"1.27"}),
                         "application/xml");
        SetToolbarPaletteFactory([this](const GS::Guid& guid) -> std::unique_ptr<IToolbarPalette> {
            paletteGuids.push_back(guid.ToString());
            auto palette = std::make_unique<RecordingPalette>(paletteLog);
            palette->throwOnShow = throwOnShow;
            return palette;
        });
        loader_ = NewLoader();
    }
    void TearDown() override
    {
        if (loader_ && loader_->LastStep() == standin::AddOnLoader::Step::Started)
            loader_->Stop();
        loader_.reset();
        // What the clean-up would have done for an add-on that was never cleaned up.
        DestroyToolbarDialog();
        SetToolbarPaletteFactory({});
        EXPECT_TRUE(Registrations().EscapedExceptions().empty())
            << ::testing::PrintToString(Registrations().EscapedExceptions());
        standin::win::SetClock(std::nullopt);
        standin::win::SetUtcOffset(std::nullopt);
        standin::win::ClearShellLog();
        standin::win::ClearClipboard();
        ControllerFixture::TearDown();
    }

    std::unique_ptr<standin::AddOnLoader> NewLoader()
    {
        return std::make_unique<standin::AddOnLoader>(Host(),
                                                      standin::AddOnExports{GetExportedFuncAddrs, SetImportedFuncAddrs});
    }
    standin::AddOnLoader& Loader() { return *loader_; }
    // A fresh add-on in place of the last (unloaded first).
    standin::AddOnLoader& Reload()
    {
        if (loader_->LastStep() == standin::AddOnLoader::Step::Started)
            loader_->Stop();
        loader_.reset();
        DestroyToolbarDialog();
        loader_ = NewLoader();
        return *loader_;
    }

    // Exports, table, environment check: the add-on agrees to run.
    void Identify()
    {
        Loader().ReadExports();
        Loader().Install();
        ASSERT_EQ(Loader().Identify(), HostInterface::IdentifyLoad);
    }
    // The whole start: identified, registered and initialised.
    void Start()
    {
        Identify();
        ASSERT_EQ(Loader().Register(), 0);
        ASSERT_EQ(Loader().Start(), 0);
    }

    standin::RegistrationModule& Registrations() { return Host().Module<standin::RegistrationModule>(); }
    RecordingPalette* Palette() { return static_cast<RecordingPalette*>(toolbarDialog.get()); }

    std::string LibraryFolderText() const
    {
        return SpecialFolder().string() + "\\Tarvel\\daVED\\ArchiCAD\\Tarvel Library";
    }
    int ChangelogRequests()
    {
        int n = 0;
        for (const auto& request : Server().Requests())
            n += request.target.rfind(standin::services::kChangelogPath, 0) == 0 ? 1 : 0;
        return n;
    }
    // The host calls of these slots, in order, from the given place of the call list on.
    std::vector<HostInterface::Slot> CallsOf(const std::vector<HostInterface::Slot>& slots, std::size_t from = 0)
    {
        std::vector<HostInterface::Slot> found;
        const auto calls = Host().Calls();
        for (std::size_t i = from; i < calls.size(); ++i)
            if (std::find(slots.begin(), slots.end(), calls[i].slot) != slots.end())
                found.push_back(calls[i].slot);
        return found;
    }

    std::vector<std::string> paletteLog;
    std::vector<std::string> paletteGuids;
    bool throwOnShow = false;

private:
    std::unique_ptr<standin::AddOnLoader> loader_;
};

}  // namespace tarvel::testing
