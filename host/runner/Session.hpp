// The host and the add-on it runs, with what the runner tells of them: the user's
// actions and dialogs, the Session Report, pictures, and what the road made.
#pragma once

#include "CatalogueServer.hpp"
#include "Output.hpp"
#include "Road.hpp"
#include "standin/AddOn.hpp"
#include "standin/Host.hpp"

#include <boost/filesystem/path.hpp>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace tarvel::runner {

using Clock = std::chrono::steady_clock;

struct Options {
    boost::filesystem::path out = "tarvel-run";
    std::string addOn;
    // The host-contract details too (export table, registrations, resource and item ids).
    bool verbose = false;
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
    // `interrupted`: the signal that asks the road to end (Ctrl-C, SIGTERM), 0 for none.
    Session(Road& road, const Options& options, RunFolder& folder, const std::atomic<int>& interrupted);
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
    // A host-contract detail: printed only with --verbose.
    void Detail(const std::string& line);
    void Flush();
    // A stage of the running step, after what led to it.
    void Stage(const std::string& name);
    // After each step: what it caused; a refusal of the dialog manager, an alert or an
    // exception that left the add-on fails it, named by the first of them.
    void AfterStep();
    // Called at the start of each step.
    void BeforeStep();

    // Whether the running step has met a cause of failure (a refusal, an alert, a
    // cause the road noted). The user's scripted actions then end: the dialogs they
    // are in are closed, so that nobody waits for what will not come.
    bool GivingUp();
    // Whether the running step has met a cause of failure, without giving up (the
    // dialogs may be over), and whether the user gave the step up.
    bool HasCause();
    bool GaveUp() const { return gaveUp_; }
    // A cause of failure the road saw itself (a page that did not load).
    void NoteCause(const std::string& cause);
    // What the running step may fail of without the add-on saying so (a data sheet
    // that is none): when the add-on reports an error in the step, it comes first.
    void Suspect(const std::string& cause);
    // How the transcript names an item the user acts on ("OK", "the palette's
    // \"Add library\" button"); by its number otherwise.
    void Label(short resourceId, short item, const std::string& label);
    // An action of the road's own that only marks a stage: told only with --verbose.
    const std::string& Quiet(const std::string& action);

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
    // A dialog manager's step in plain words.
    std::string Plain(const std::string& step);
    std::size_t ReportSize();
    // Refusals of the loopback services since the last look, and the interruption.
    void CheckServices();
    void CheckInterrupted();
    // The add-on's paths are written with backslashes: in the transcript the run's
    // folder has one separator.
    std::string OneSeparator(std::string text) const;

    RunFolder& folder_;
    const std::atomic<int>& interrupted_;
    bool interruptionNoted_ = false;
    std::size_t requestsSeen_ = 0;
    std::set<std::size_t> refusalsNoted_;
    std::string suspect_;
    // The label of the item last clicked in each dialog.
    std::map<short, std::string> lastClicked_;

    std::size_t reportSeen_ = 0;
    std::size_t escapedSeen_ = 0;
    std::size_t dialogStepsSeen_ = 0;
    std::map<std::pair<short, short>, std::string> labels_;
    std::set<std::string> quiet_;
    // The step's causes of failure in the order they came: refusals (the dialog
    // manager refuses on whatever thread made the call), the Session Report's alerts,
    // the road's own notes.
    struct Cause {
        std::string text;
        // The Session Report's size when it came: an alert at a lower index came first.
        std::size_t reportAt;
        bool alert;
    };
    // Adds a cause, once.
    void AddCause(Cause cause);
    std::mutex causesMutex_;
    std::vector<Cause> causes_;
    bool gaveUp_ = false;
    std::chrono::milliseconds patienceBefore_{0};
    std::vector<std::string> pictures_;
};

}  // namespace tarvel::runner
