// tarvel-host: the stand-in host application with the add-on loaded into it. It
// starts the loopback online services and the stand-in host on a data root, loads the
// add-on's library file at run time as the host does, and drives it step by step:
// exports, function table, environment check, registration, initialisation, a menu
// command, clean-up and unload. It exits 0 only when every step went as it should.
//
//   tarvel-host [--out DIR] [--addon FILE]
//     --out DIR     the data root and everything the run leaves (default ./tarvel-run)
//     --addon FILE  the add-on's library file (default: the one built with the runner)
#include "CatalogueContent.hpp"
#include "CatalogueServer.hpp"
#include "Road.hpp"
#include "standin/AddOn.hpp"
#include "standin/CoreModules.hpp"
#include "standin/Dialogs.hpp"
#include "standin/Host.hpp"
#include "standin/Win.hpp"

#include <boost/filesystem/operations.hpp>

#include <dlfcn.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <string>

namespace {

namespace fs = boost::filesystem;
using namespace HostInterface;
using tarvel::runner::Road;
using tarvel::runner::StepFailed;

// A folder the runner made holds this file; only such a folder is emptied for a new run.
constexpr const char* kMarker = ".tarvel-run";

struct Options {
    fs::path out = "tarvel-run";
    std::string addOn = TARVEL_ADDON_FILE;
};

int Usage()
{
    std::cerr << "usage: tarvel-host [--out DIR] [--addon FILE]\n";
    return 2;
}

std::optional<Options> ParseOptions(int argc, char** argv)
{
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--out" && i + 1 < argc) {
            options.out = argv[++i];
        } else if (arg == "--addon" && i + 1 < argc) {
            options.addOn = argv[++i];
        } else {
            return std::nullopt;
        }
    }
    return options;
}

// An empty folder for the run: a new one, or one an earlier run left. Anything else
// is the user's and stays as it is.
bool PrepareOutput(const fs::path& out)
{
    boost::system::error_code error;
    if (fs::exists(out, error)) {
        if (!fs::is_directory(out, error)) {
            std::cerr << "tarvel-host: " << out.string() << " is not a folder\n";
            return false;
        }
        if (!fs::is_empty(out, error) && !fs::exists(out / kMarker, error)) {
            std::cerr << "tarvel-host: " << out.string()
                      << " holds files of another program; give an empty or new folder with --out\n";
            return false;
        }
        for (fs::directory_iterator it(out), end; it != end; ++it)
            fs::remove_all(it->path());
    }
    fs::create_directories(out);
    std::ofstream(fs::path(out / kMarker).string()) << "made by tarvel-host; emptied by its next run\n";
    return true;
}

std::string Hex(GSErrCode code)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(code));
    return text;
}

std::string Utf8(const std::u16string& units) { return GS::UniString(units).ToUtf8(); }

bool LibraryMapped(const std::string& file)
{
    void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle == nullptr)
        return false;
    dlclose(handle);
    return true;
}

// The host and the add-on it runs, ended in the host's order: the add-on is cleaned up
// and unloaded before the host stops.
struct Session {
    std::optional<standin::services::CatalogueServer> services;
    std::unique_ptr<standin::Host> host;
    std::unique_ptr<standin::AddOnLoader> addOn;
    std::size_t reportSeen = 0;
    std::size_t escapedSeen = 0;
    std::size_t dialogStepsSeen = 0;
    std::vector<std::string> refusals;
    std::size_t refusalsSeen = 0;
    fs::path pictures;
    int pictureCount = 0;

    Session()
    {
        standin::dg::SetRefusalHandler([this](const std::string& message) { refusals.push_back(message); });
    }

    ~Session()
    {
        if (addOn && addOn->LastStep() == standin::AddOnLoader::Step::Started) {
            try {
                addOn->Stop();
            } catch (const std::exception& e) {
                std::cerr << "tarvel-host: " << e.what() << '\n';
            }
        }
        addOn.reset();
        host.reset();
        services.reset();
        standin::dg::SetRefusalHandler({});
    }

    // The next picture's path: numbered in the order the dialogs appeared.
    std::string NextPicture(const std::string& name)
    {
        char number[8];
        std::snprintf(number, sizeof number, "%02d ", ++pictureCount);
        return (pictures / (number + name + ".png")).string();
    }

    // What the user saw (dialogs, alerts) and the report lines since the last look;
    // a refusal of the dialog manager fails the step.
    void AfterStep(Road& road)
    {
        if (host) {
            const auto steps = standin::dg::Steps();
            for (; dialogStepsSeen < steps.size(); ++dialogStepsSeen)
                road.Say("user: " + steps[dialogStepsSeen]);
        }
        PrintReport(road);
        if (refusals.size() > refusalsSeen) {
            const std::string first = refusals[refusalsSeen];
            refusalsSeen = refusals.size();
            throw StepFailed("the dialog manager refused: " + first);
        }
    }

    standin::RegistrationModule& Registrations() { return host->Module<standin::RegistrationModule>(); }

    // The Session Report lines that came since the last look.
    void PrintReport(Road& road)
    {
        if (!host)
            return;
        const auto entries = host->Module<standin::ReportModule>().Entries();
        for (; reportSeen < entries.size(); ++reportSeen) {
            const auto& entry = entries[reportSeen];
            road.Say(std::string(entry.alert ? "Session Report (alert): " : "Session Report: ") + Utf8(entry.text));
        }
    }
    // An exception that left one of the add-on's handlers fails the step.
    void CheckHandlers()
    {
        const auto escaped = Registrations().EscapedExceptions();
        if (escaped.size() > escapedSeen) {
            escapedSeen = escaped.size();
            throw StepFailed("an exception left the add-on: " + escaped.back());
        }
    }
    // A menu command as the user chooses it; the add-on must answer 0.
    void ChooseMenu(std::int16_t menu)
    {
        const auto answer = Registrations().ChooseMenu(menu);
        if (!answer)
            throw StepFailed("menu " + std::to_string(menu) + " has no command handler");
        CheckHandlers();
        if (*answer != 0)
            throw StepFailed("the command answered " + Hex(*answer));
    }
};

void RunRoad(Road& road, Session& session, const Options& options)
{
    road.afterStep = [&] { session.AfterStep(road); };
    session.pictures = fs::absolute(options.out) / "pictures";

    road.Step("start the loopback online services (repository, update server, catalogue pages)", [&] {
        session.services.emplace();
        standin::services::AddStandardCatalogue(*session.services);
        const std::string base = session.services->Url("");
        // The add-on reads where its servers are when it first needs them.
        setenv("TARVEL_REPOSITORY_SERVER", base.c_str(), 1);
        setenv("TARVEL_UPDATE_SERVER", base.c_str(), 1);
        road.Say("at " + base);
    });

    road.Step("start the stand-in host", [&] {
        standin::HostOptions hostOptions;
        hostOptions.specialLocation = fs::absolute(options.out).string();
        hostOptions.addOnFile = options.addOn;
        session.host = std::make_unique<standin::Host>(hostOptions);
        road.Say("data root " + (fs::absolute(options.out) / "Tarvel" / "daVED" / "ArchiCAD").string());
    });

    road.Step("load the add-on's library file", [&] {
        session.addOn = std::make_unique<standin::AddOnLoader>(*session.host, options.addOn);
        road.Say(options.addOn);
    });

    road.Step("read its exports", [&] {
        session.addOn->ReadExports();
        road.Say("format word 0x001C0001, interface level 28000, four entry points");
    });

    road.Step("hand it the function table", [&] { session.addOn->Install(); });

    road.Step("environment check", [&] {
        if (session.addOn->Identify() != IdentifyLoad)
            throw StepFailed("the add-on declined to run in this host");
        const auto& environment = session.addOn->Environment();
        road.Say(environment.addOnName.ToUtf8() + ": " + environment.addOnDescription.ToUtf8());
    });

    road.Step("interface registration", [&] {
        if (const GSErrCode code = session.addOn->Register(); code != 0)
            throw StepFailed("the registration answered " + Hex(code));
        for (const auto& menu : session.Registrations().Menus())
            for (const auto& item : menu.items)
                road.Say("menu " + std::to_string(menu.menuList) + ": " +
                         (menu.title.empty() ? "" : Utf8(menu.title) + " > ") + Utf8(item.text));
    });

    road.Step("initialisation; the user answers the update alert with \"Later\"", [&] {
        standin::dg::AnswerAlert(1);
        if (const GSErrCode code = session.addOn->Start(); code != 0)
            throw StepFailed("the initialisation answered " + Hex(code));
        for (const auto& palette : session.Registrations().Palettes())
            road.Say("palette window " + Hex(palette.referenceId) + " {" + palette.guid.ToString() + "}, flags " +
                     std::to_string(palette.flags));
        if (const auto mask = session.Registrations().ProjectEventMask())
            road.Say("project events of mask " + std::to_string(*mask));
        if (session.Registrations().WatchesSelection())
            road.Say("selection changes");
        if (standin::dg::PendingAlertAnswers() != 0) {
            standin::dg::ClearScript();
            throw StepFailed("no update alert came");
        }
    });

    road.Step("the user chooses \"Show toolbar\"", [&] {
        constexpr short kToolbar = 32401;
        session.ChooseMenu(32500);
        const auto palette = standin::dg::FindPanel(kToolbar);
        if (!palette || !palette->visible)
            throw StepFailed("no palette is shown");
        road.Say("the palette \"" + palette->title + "\" with " + std::to_string(palette->items.size()) +
                 " items, its clipboard watcher running: " + std::to_string(standin::win::LiveThreads()) + " thread(s)");
        fs::create_directories(session.pictures);
        const std::string picture = session.NextPicture("Toolbar palette");
        if (!standin::dg::WritePng(kToolbar, picture))
            throw StepFailed("no picture of the palette was written");
        road.Say("picture " + picture);
    });

    road.Step("the user chooses About, looks at it and closes it", [&] {
        fs::create_directories(session.pictures);
        const std::string picture = session.NextPicture("About");
        constexpr short kAbout = 32504;
        standin::dg::User(kAbout).Picture(picture).Click(1);
        session.ChooseMenu(32506);
        if (standin::dg::PendingActions(kAbout) != 0) {
            standin::dg::ClearScript();
            throw StepFailed("the About dialog did not appear");
        }
        if (!fs::exists(picture))
            throw StepFailed("no picture of the About dialog was written");
    });

    road.Step("the user chooses Help", [&] {
        standin::win::ClearShellLog();
        session.ChooseMenu(32505);
        const auto opened = standin::win::ShellLog();
        if (opened.empty())
            throw StepFailed("nothing was opened");
        road.Say("the system opens " + opened.back().file);
    });

    road.Step("the project is closed: a project event closes the palette", [&] {
        const auto answer = session.Registrations().FireProjectEvent(ProjectClose);
        session.CheckHandlers();
        if (!answer)
            throw StepFailed("the add-on does not hear the project closing");
        const auto palette = standin::dg::FindPanel(32401);
        if (palette && palette->visible)
            throw StepFailed("the palette is still shown");
        road.Say("the palette is hidden");
    });

    road.Step("clean-up", [&] {
        if (const GSErrCode code = session.addOn->Stop(); code != 0)
            throw StepFailed("the clean-up answered " + Hex(code));
        if (const int threads = standin::win::LiveThreads(); threads != 0)
            throw StepFailed(std::to_string(threads) + " thread(s) of the add-on still run after the clean-up");
        road.Say("no thread of the add-on runs");
    });

    road.Step("unload", [&] {
        session.addOn->Unload();
        if (LibraryMapped(options.addOn))
            throw StepFailed("the library file is still loaded");
        if (const int threads = standin::win::LiveThreads(); threads != 0)
            throw StepFailed(std::to_string(threads) + " thread(s) of the add-on still run");
        road.Say("the library file is gone from the process");
    });
}

}  // namespace

int main(int argc, char** argv)
{
    const std::optional<Options> options = ParseOptions(argc, argv);
    if (!options)
        return Usage();
    if (!PrepareOutput(options->out))
        return 2;

    const auto start = std::chrono::steady_clock::now();
    Road road(std::cout);
    {
        Session session;
        RunRoad(road, session, *options);
    }
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    if (!road.Completed()) {
        std::cout << "road failed at step " << road.Steps() << ": " << road.FailedStep() << " (" << ms << " ms)\n";
        return 1;
    }
    std::cout << "road completed: " << road.Steps() << " steps in " << ms << " ms; output in "
              << fs::absolute(options->out).string() << "\n";
    return 0;
}
