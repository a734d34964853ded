// The host and the add-on it runs, with what the runner tells of them: the user's
// actions and dialogs, the Session Report, pictures, and what the road made.
#pragma once

#include "CatalogueServer.hpp"
#include "Road.hpp"
#include "standin/AddOn.hpp"
#include "standin/Host.hpp"

#include <boost/filesystem/path.hpp>

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace tarvel::runner {

using Clock = std::chrono::steady_clock;

struct Options {
    boost::filesystem::path out = "tarvel-run";
    std::string addOn;
    // The user's own artifacts for the road's product (empty: the catalogue's own).
    std::string cadFile;
    std::string cadXml;
    std::string dataSheetFile;
    std::string dataSheetXml;
};

std::string Hex(std::uint32_t code);
std::string Milliseconds(Clock::duration duration);

// Ended in the host's order: the add-on is cleaned up and unloaded before the host
// stops, the host before the services.
class Session {
public:
    Session(Road& road, const Options& options);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    Road& road;
    const Options& options;
    std::optional<standin::services::CatalogueServer> services;
    std::unique_ptr<standin::Host> host;
    std::unique_ptr<standin::AddOnLoader> addOn;

    // Prints what happened since the last look (the user's actions and dialogs, the
    // Session Report), then the line.
    void Say(const std::string& line);
    void Flush();
    // A stage of the running step, after what led to it.
    void Stage(const std::string& name);
    // After each step: what it caused; a refusal of the dialog manager or an exception
    // that left the add-on fails it.
    void AfterStep();

    // The path of the next picture, numbered in the order the dialogs appeared.
    std::string NextPicture(const std::string& name);
    const std::vector<std::string>& Pictures() const { return pictures_; }
    boost::filesystem::path DataRoot() const;

    template <class Module>
    Module& Get()
    {
        return host->Module<Module>();
    }
    standin::RegistrationModule& Registrations() { return Get<standin::RegistrationModule>(); }
    // An exception that left one of the add-on's handlers fails the step.
    void CheckHandlers();
    // A menu command as the user chooses it; the add-on must answer 0.
    void ChooseMenu(std::int16_t menu);

    // Lines of the summary at the end of the road.
    std::vector<std::string> summary;

private:
    std::vector<std::string> TakeRefusals();

    std::size_t reportSeen_ = 0;
    // The Session Report's alerts since the step began: the add-on's errors.
    std::vector<std::string> alerts_;
    std::size_t escapedSeen_ = 0;
    std::size_t dialogStepsSeen_ = 0;
    // The dialog manager refuses on whatever thread made the call.
    std::mutex refusalsMutex_;
    std::vector<std::string> refusals_;
    std::vector<std::string> pictures_;
};

}  // namespace tarvel::runner
