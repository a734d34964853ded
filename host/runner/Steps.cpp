#include "Steps.hpp"

#include "CatalogueContent.hpp"
#include "DialogIds.hpp"
#include "Session.hpp"
#include "standin/AddOn.hpp"
#include "standin/CoreModules.hpp"
#include "standin/Dialogs.hpp"
#include "standin/Elements.hpp"
#include "standin/LibParts.hpp"
#include "standin/Win.hpp"

#include <boost/filesystem/operations.hpp>

#include <dlfcn.h>
#include <utf8.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <iterator>
#include <memory>
#include <mutex>
#include <set>
#include <sstream>
#include <type_traits>

namespace tarvel::runner {
namespace {

namespace fs = boost::filesystem;
namespace dg = standin::dg;
using namespace std::chrono_literals;
using namespace HostInterface;

constexpr std::int16_t kShowToolbarMenu = 32500;
constexpr std::int16_t kHelpMenu = 32505;
constexpr std::int16_t kAboutMenu = 32506;

// The road's product: a door of the standard catalogue.
constexpr const char* kLibraryId = "doors-classic";
constexpr const char* kProductId = "D-1";

// How long the user waits for a page, and for the whole road through the browser.
constexpr auto kPageWait = 60s;
constexpr auto kBrowserRoad = 300s;

std::string Quote(const std::string& text) { return "\"" + text + "\""; }

// How the dialog manager's steps name one of the add-on's dialogs: "dialog 32510 \"Tarvel\"".
std::string Named(short resourceId)
{
    const ids::ListedDialog& dialog = *ids::FindDialog(resourceId);
    return (dialog.type == "palette" ? "palette " : "dialog ") + std::to_string(resourceId) + " " +
           Quote(std::string(dialog.title));
}

// A file name as text: its bytes are UTF-8, or else (an older system's name) Latin-1.
std::string TextOfFileName(const std::string& bytes)
{
    if (utf8::is_valid(bytes.begin(), bytes.end()))
        return bytes;
    std::string text;
    for (const char c : bytes)
        utf8::append(static_cast<unsigned char>(c), std::back_inserter(text));
    return text;
}

// A page's text for one line of the transcript: a page of a configuration of many
// rows would be megabytes.
std::string Shortened(const std::string& text)
{
    constexpr std::size_t kShown = 400;
    if (text.size() <= kShown)
        return text;
    std::size_t cut = kShown;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
        --cut;
    const auto more = std::count_if(text.begin() + static_cast<std::ptrdiff_t>(cut), text.end(),
                                    [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; });
    return text.substr(0, cut) + " ... (" + std::to_string(more) + " characters more)";
}

std::string ElementTypeName(std::int32_t type)
{
    switch (type) {
    case ElemWindow:
        return "window";
    case ElemDoor:
        return "door";
    case ElemObject:
        return "object";
    case ElemLamp:
        return "lamp";
    case ElemSkylight:
        return "skylight";
    default:
        return "element type " + std::to_string(type);
    }
}

bool LibraryMapped(const std::string& file)
{
    void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle == nullptr)
        return false;
    dlclose(handle);
    return true;
}

bool Logged(const std::string& step)
{
    const auto steps = dg::Steps();
    return std::find(steps.begin(), steps.end(), step) != steps.end();
}

std::size_t CountLogged(const std::string& prefix)
{
    const auto steps = dg::Steps();
    return std::count_if(steps.begin(), steps.end(), [&](const std::string& s) { return s.rfind(prefix, 0) == 0; });
}

// The palette's buttons (its user items) in their order on it: the four tools, the
// library buttons, the add-library button.
std::vector<dg::ItemInfo> PaletteButtons()
{
    std::vector<dg::ItemInfo> buttons;
    if (const auto palette = dg::FindPanel(ids::Toolbar::Dialog))
        for (const dg::ItemInfo& item : palette->items)
            if (item.kind == "useritem")
                buttons.push_back(item);
    std::stable_sort(buttons.begin(), buttons.end(), [](const dg::ItemInfo& a, const dg::ItemInfo& b) {
        return a.rect.left + a.rect.top < b.rect.left + b.rect.top;
    });
    return buttons;
}

// Takes the palette's scripted actions; a modal dialog the user opens from the
// palette runs to its end inside.
void ActOnPalette(const std::string& what, std::chrono::milliseconds timeout = 30s)
{
    if (!dg::RunUntil(what, [] { return dg::PendingActions(ids::Toolbar::Dialog) == 0; }, timeout))
        throw StepFailed("the user could not " + what);
}

// The whole text of a scripted dialog was used: the dialog appeared.
void ExpectShown(short resourceId, const std::string& what)
{
    if (dg::PendingActions(resourceId) != 0) {
        dg::ClearScript();
        throw StepFailed(what + " did not appear");
    }
}

void WritePalettePicture(Session& s, const std::string& name)
{
    const std::string picture = s.NextPicture(name);
    std::string error;
    if (!dg::WritePng(ids::Toolbar::Dialog, picture, &error))
        throw StepFailed("the picture of the palette cannot be written to " + picture + ": " + error);
    s.Say("picture " + picture);
}

// A page the browser could not load is the step's cause; the user then gives up.
bool PageFailed(Session& s)
{
    if (const auto page = dg::FindBrowserPage(ids::Browser::Dialog, ids::Browser::Page); page && page->state == "failed")
        s.NoteCause("the browser could not load a page: " + page->error);
    return s.GivingUp();
}

std::string LibraryName(const standin::services::StandardCatalogue& catalogue, const std::string& id)
{
    for (const auto* customers : {&catalogue.customers, &catalogue.nordicCustomers})
        for (const auto& customer : *customers)
            for (const auto& library : customer.libraries)
                if (library.id == id)
                    return library.names.at("en-GB");
    throw StepFailed("the catalogue has no library " + id);
}

// What the user changes in the configurator: the first number of the configuration
// grows by 100, so that the configurator answers with a new configuration.
struct ConfiguratorLog {
    std::mutex mutex;
    std::vector<std::string> changes;
};

void ChangeFirstNumber(ConfiguratorLog& log, std::vector<std::pair<std::string, std::string>>& rows)
{
    for (auto& [name, value] : rows) {
        char* end = nullptr;
        const double number = std::strtod(value.c_str(), &end);
        if (value.empty() || *end != '\0' || !std::isfinite(number))
            continue;
        std::ostringstream changed;
        changed << number + 100;
        std::lock_guard lock(log.mutex);
        log.changes.push_back(name + " from " + value + " to " + changed.str());
        value = changed.str();
        return;
    }
    std::lock_guard lock(log.mutex);
    log.changes.push_back("nothing: the configuration holds no number");
}

// One product through the browser dialog: the moments the runner times, and what
// the user was offered.
struct Delivery {
    Clock::time_point pressed, nameShown, nameAccepted, done;
    std::string proposedName;
};

// What the road shares between its steps.
struct RoadState {
    std::string libraryName;
    std::string productId;
    // What is wrong with the user's data sheet, when it is none.
    std::string dataSheetProblem;
    std::shared_ptr<ConfiguratorLog> configurator = std::make_shared<ConfiguratorLog>();
    short libraryButton = 0;
    short modifyButton = 0;
    standin::LibPart firstPart;
    standin::LibPart modifiedPart;
    GS::Guid placed;
};

// The user's part of a delivery, after the product's page is shown in the browser:
// "Add to project", the download's progress, the name dialog accepted as proposed.
void ScriptDelivery(Session& s, dg::DialogScript browser, const std::shared_ptr<Delivery>& delivery,
                    const std::string& what)
{
    browser
        .Do(s.Quiet("press \"Add to project\""),
            [&s, delivery] {
                s.Stage("the user presses \"Add to project\"");
                delivery->pressed = Clock::now();
            })
        .Then(dg::PressElement(ids::Browser::Page, "add-to-project"))
        .Wait("the download shows its progress",
              [&s] {
                  if (PageFailed(s))
                      return true;
                  const auto bar = dg::FindItem(ids::Browser::Dialog, ids::Browser::Bar);
                  return bar && bar->visible;
              },
              kPageWait)
        .Do(s.Quiet("look at the progress"),
            [&s] {
                if (PageFailed(s))
                    return;
                s.Stage("the download with its progress");
                if (const auto bar = dg::FindItem(ids::Browser::Dialog, ids::Browser::Bar); bar && bar->max > bar->min)
                    s.Say("the progress bar at " + std::to_string(100 * (bar->value - bar->min) / (bar->max - bar->min)) +
                          "%");
            })
        .Picture(s.NextPicture(what + " downloading"));
    dg::User(ids::LibpartName::Dialog)
        .Do(s.Quiet("read the proposed name"),
            [&s, delivery] {
                delivery->nameShown = Clock::now();
                if (s.GivingUp())
                    return;
                s.Stage("the name dialog");
                if (const auto name = dg::FindItem(ids::LibpartName::Dialog, ids::LibpartName::Edit))
                    delivery->proposedName = name->text;
                s.Say("it proposes " + Quote(delivery->proposedName));
            })
        .Picture(s.NextPicture(what + " name"))
        .Then(dg::Action{s.Quiet("accept the name"), [&s, delivery](dg::detail::PanelState&) {
                             // A user who has given up the step adds no product: the name
                             // dialog is closed, not accepted.
                             if (s.GivingUp()) {
                                 dg::User(ids::LibpartName::Dialog).CloseBox();
                                 return;
                             }
                             delivery->nameAccepted = Clock::now();
                             dg::User(ids::LibpartName::Dialog).Click(ids::LibpartName::Ok);
                         }});
    s.Label(ids::LibpartName::Dialog, ids::LibpartName::Ok, "\"OK\"");
}

// Whether a Session Report line tells of something of the CAD data that the part does
// not hold as written: a refused solid, a reference naming nothing, a number that is
// not plain (a missing optional value is no such thing).
bool TellsOfSomethingNotMade(const std::string& line)
{
    static const std::string import = "cad data xml import warning: ";
    return line.rfind("GDL generation warning: ", 0) == 0 ||
           (line.rfind(import, 0) == 0 && line.compare(import.size(), 6, "empty ") != 0);
}

// Runs the palette's click that opens the browser dialog, to the dialog's end; the
// delivery must have created a part.
standin::LibPart RunDelivery(Session& s, Delivery& delivery, const std::string& what)
{
    const std::size_t reportBefore = s.Get<standin::ReportModule>().Entries().size();
    const auto partsBefore = s.Get<standin::LibPartModule>().Parts().size();
    const std::size_t browsersClosed = CountLogged("close " + Named(ids::Browser::Dialog));
    ActOnPalette(what, std::chrono::duration_cast<std::chrono::milliseconds>(kBrowserRoad));
    delivery.done = Clock::now();
    // Once the name is accepted, the add-on makes and saves the part.
    const bool named = delivery.nameAccepted != Clock::time_point{};
    if (named)
        s.Stage("the part is saved");
    if (s.HasCause() && s.Get<standin::LibPartModule>().Parts().size() == partsBefore)
        throw StepFailed("the product was not added: no library part was saved");
    // A user who gave up closed what was open and left the rest of the script.
    if (!s.GaveUp()) {
        ExpectShown(ids::Browser::Dialog, "the browser dialog");
        ExpectShown(ids::LibpartName::Dialog, "the name dialog");
    }
    if (CountLogged("close " + Named(ids::Browser::Dialog)) != browsersClosed + 1 ||
        !Logged("close " + Named(ids::Browser::Dialog) + " (accepted)"))
        throw StepFailed("the browser dialog did not close with the new part");
    const auto part = s.Get<standin::LibPartModule>().FindByName(delivery.proposedName);
    if (!part || s.Get<standin::LibPartModule>().Parts().size() != partsBefore + 1)
        throw StepFailed("no library part " + Quote(delivery.proposedName) + " was saved");
    if (s.options.verbose)
        s.Say("library part " + Quote(part->NameUtf8()) + " (index " + std::to_string(part->index) + ", " +
              std::to_string(part->parameters.size()) + " parameters, " + std::to_string(part->sections.size()) +
              " sections) in " + part->file);
    else
        s.Say("the library part " + Quote(part->NameUtf8()) + " is saved in " + part->file);
    const auto entries = s.Get<standin::ReportModule>().Entries();
    for (std::size_t i = reportBefore; i < entries.size(); ++i) {
        const std::string line = GS::UniString(entries[i].text).ToUtf8();
        if (!TellsOfSomethingNotMade(line))
            continue;
        s.Say("but not as its CAD data asks: " + line);
        s.summary.push_back("the library part " + Quote(part->NameUtf8()) + " is not as its CAD data asks: " + line);
    }
    return *part;
}

// The configuration rows in which the second part differs from the first.
std::string ChangedConfiguration(const standin::LibPart& first, const standin::LibPart& second)
{
    const auto* before = first.Parameter("tv_config_params");
    const auto* after = second.Parameter("tv_config_params");
    if (before == nullptr || after == nullptr)
        return {};
    // Looked up, not searched: a configuration may have many rows.
    const auto oldRows = before->Rows();
    const std::set<std::decay_t<decltype(oldRows.front())>> old(oldRows.begin(), oldRows.end());
    std::string changes;
    for (const auto& row : after->Rows()) {
        if (row.empty() || old.count(row) != 0)
            continue;
        std::string text;
        for (const auto& cell : row)
            text += (text.empty() ? "" : " ") + GS::UniString(cell).ToUtf8();
        changes += (changes.empty() ? "" : ", ") + text;
    }
    return changes;
}

// The timing line of a delivery, from the moment the user pressed "Add to project":
// the semaphore's last answer is the ready one.
std::string TimingLine(Session& s, const std::string& what, const Delivery& delivery)
{
    std::optional<Clock::time_point> ready;
    int asked = 0;
    for (const auto& request : s.services->Requests(0, false)) {
        if (request.arrived < delivery.pressed || request.arrived > delivery.nameShown ||
            !request.path.ends_with("/ready"))
            continue;
        ready = request.arrived;
        ++asked;
    }
    if (!ready)
        return what + ": the semaphore was never asked";
    return what + ": waiting for the semaphore " + Milliseconds(*ready - delivery.pressed) + " (asked " +
           std::to_string(asked) + " times), download " + Milliseconds(delivery.nameShown - *ready) + ", name " +
           Milliseconds(delivery.nameAccepted - delivery.nameShown) + ", library-part creation " +
           Milliseconds(delivery.done - delivery.nameAccepted);
}

void StartUp(Session& s, RoadState& road)
{
    Road& r = s.road;
    r.Step("start the loopback online services (repository, update server, catalogue pages)", [&] {
        s.services.emplace();
        auto catalogue = standin::services::MakeStandardCatalogue(*s.services);
        road.libraryName = LibraryName(catalogue, kLibraryId);
        road.productId = kProductId;
        std::string kind = "a door";
        if (!s.options.cadXml.empty() || !s.options.dataSheetXml.empty()) {
            // The user's product under its own name (the data sheet's, or the file's), in
            // a library named for it.
            std::string name = standin::services::DataSheetValue(s.options.dataSheetXml, "archicad_productattr");
            for (const std::string& file : {s.options.cadFile, s.options.dataSheetFile})
                if (name.empty())
                    name = TextOfFileName(fs::path(file).stem().string());
            if (name.empty())
                name = "My object";
            const std::string library = standin::services::AddOwnLibrary(catalogue, *s.services, name);
            road.libraryName = LibraryName(catalogue, library);
            if (s.options.dataSheetXml.empty()) {
                // Plain CAD data says nothing of doors or windows: a plain object.
                road.productId = standin::services::AddOwnObject(catalogue, library, name, s.options.cadXml);
                kind = "a plain object named " + Quote(name);
            } else {
                // The catalogue's door, with what the user gives in place of its own.
                auto& products = catalogue.products.at(kLibraryId);
                const auto door = std::find_if(products.begin(), products.end(),
                                               [](const auto& product) { return product.id == kProductId; });
                catalogue.products[library].push_back(*door);
                catalogue.products[library].back().name = name;
                road.productId = standin::services::UseOwnArtifacts(catalogue, library, kProductId, s.options.cadXml,
                                                                    s.options.dataSheetXml);
                kind = "of the kind its data sheet names";
            }
            if (!s.options.cadFile.empty())
                s.Say("the product's CAD data: " + TextOfFileName(s.options.cadFile));
            if (!s.options.dataSheetFile.empty()) {
                s.Say("the product's data sheet: " + TextOfFileName(s.options.dataSheetFile));
                if (const std::string problem = standin::services::DataSheetProblem(s.options.dataSheetXml);
                    !problem.empty()) {
                    road.dataSheetProblem = "the data sheet " + TextOfFileName(s.options.dataSheetFile) +
                                            " cannot be read as a data sheet: " + problem;
                    s.Say("warning: " + road.dataSheetProblem);
                }
            }
        }
        catalogue.configuratorChoice = [log = road.configurator](const std::string&, auto& rows) {
            ChangeFirstNumber(*log, rows);
        };
        standin::services::AddCatalogue(*s.services, catalogue);
        const std::string base = s.services->Url("");
        // The add-on reads where its servers are when it first needs them.
        setenv("TARVEL_REPOSITORY_SERVER", base.c_str(), 1);
        setenv("TARVEL_UPDATE_SERVER", base.c_str(), 1);
        s.Say("at " + base + "; the road's product: " + road.productId + " of " + Quote(road.libraryName) + ", " +
              kind);
    });

    r.Step("start the stand-in host", [&] {
        standin::HostOptions hostOptions;
        hostOptions.specialLocation = fs::absolute(s.options.out).string();
        hostOptions.addOnFile = s.options.addOn;
        s.host = std::make_unique<standin::Host>(hostOptions);
        // The user waits for slow pages and downloads (sanitizer builds run slowly).
        dg::SetPatience(std::chrono::duration_cast<std::chrono::milliseconds>(kPageWait));
        s.Say("data root " + s.DataRoot().string());
    });

    r.Step("load the add-on's library file", [&] {
        s.addOn = std::make_unique<standin::AddOnLoader>(*s.host, s.options.addOn);
        s.Say(s.options.addOn);
    });

    r.Step("read its exports", [&] {
        s.addOn->ReadExports();
        s.Detail("format word 0x001C0001, interface level 28000, four entry points");
    });

    r.Step("hand it the function table", [&] { s.addOn->Install(); });

    r.Step("environment check", [&] {
        if (s.addOn->Identify() != IdentifyLoad)
            throw StepFailed("the add-on declined to run in this host");
        const auto& environment = s.addOn->Environment();
        s.Say(environment.addOnName.ToUtf8() + ": " + environment.addOnDescription.ToUtf8());
    });

    r.Step("interface registration", [&] {
        if (const GSErrCode code = s.addOn->Register(); code != 0)
            throw StepFailed("the registration answered " + Hex(code));
        for (const auto& menu : s.Registrations().Menus())
            for (const auto& item : menu.items)
                s.Say((s.options.verbose ? "menu " + std::to_string(menu.menuList) + ": " : std::string("menu: ")) +
                      (menu.title.empty() ? "" : GS::UniString(menu.title).ToUtf8() + " > ") +
                      GS::UniString(item.text).ToUtf8());
    });

    r.Step("initialisation; the user answers the update alert with \"Later\"", [&] {
        dg::AnswerAlert(1);
        if (const GSErrCode code = s.addOn->Start(); code != 0)
            throw StepFailed("the initialisation answered " + Hex(code));
        for (const auto& palette : s.Registrations().Palettes())
            s.Detail("palette window " + Hex(palette.referenceId) + " {" + palette.guid.ToString() + "}, flags " +
                     std::to_string(palette.flags));
        if (const auto mask = s.Registrations().ProjectEventMask())
            s.Detail("project events of mask " + std::to_string(*mask));
        if (!s.options.verbose)
            s.Say("it registers its toolbar palette, and listens to project events" +
                  std::string(s.Registrations().WatchesSelection() ? " and selection changes" : ""));
        else if (s.Registrations().WatchesSelection())
            s.Say("selection changes");
        if (dg::PendingAlertAnswers() != 0) {
            dg::ClearScript();
            throw StepFailed("no update alert came");
        }
    });

    r.Step("the user chooses \"Show toolbar\"", [&] {
        s.ChooseMenu(kShowToolbarMenu);
        const auto palette = dg::FindPanel(ids::Toolbar::Dialog);
        if (!palette || !palette->visible)
            throw StepFailed("no palette is shown");
        s.Say("the palette " + Quote(palette->title) + " with " + std::to_string(PaletteButtons().size()) +
              " buttons; its clipboard watcher runs (" + std::to_string(standin::win::LiveThreads()) +
              " thread of the add-on)");
        WritePalettePicture(s, "Toolbar palette");
    });

    r.Step("the user chooses About, looks at it and closes it", [&] {
        dg::User(ids::About::Dialog).Picture(s.NextPicture("About")).Click(ids::About::Close);
        s.Label(ids::About::Dialog, ids::About::Close, "\"Close\"");
        s.ChooseMenu(kAboutMenu);
        ExpectShown(ids::About::Dialog, "the About dialog");
    });

    r.Step("the user chooses Help", [&] {
        standin::win::ClearShellLog();
        s.ChooseMenu(kHelpMenu);
        const auto opened = standin::win::ShellLog();
        if (opened.empty())
            throw StepFailed("nothing was opened");
        s.Say("the system opens " + opened.back().file);
    });
}

// The library manager from the palette's add-library button: the user ticks the
// road's library and accepts; the palette gets its button.
void AddLibrary(Session& s, RoadState& road)
{
    s.road.Step("the user adds " + Quote(road.libraryName) + " with the palette's \"Add library\" button", [&] {
        const auto before = PaletteButtons();
        if (before.size() < 5)
            throw StepFailed("the palette shows " + std::to_string(before.size()) + " buttons");
        const std::string name = road.libraryName;
        // The row is found when the dialog shows; an action cannot fail the step itself.
        auto missing = std::make_shared<bool>(false);
        dg::User(ids::Library::Dialog)
            .Picture(s.NextPicture("Library manager"))
            .Then(dg::Action{"tick " + Quote(name),
                             [name, missing](dg::detail::PanelState& panel) {
                                 const auto list = dg::FindItem(ids::Library::Dialog, ids::Library::List)->list;
                                 const auto& field = list->tabFields.at(1);
                                 for (std::size_t row = 0; row < list->rows.size(); ++row)
                                     if (!list->rows[row].separator && list->rows[row].cells.at(2).text == name) {
                                         dg::ClickListRow(ids::Library::List, static_cast<short>(row + 1),
                                                          static_cast<short>((field.begin + field.end) / 2))
                                             .run(panel);
                                         return;
                                     }
                                 *missing = true;
                             }})
            .Picture(s.NextPicture("Library manager, ticked"))
            .Click(ids::Library::Ok);
        s.Label(ids::Library::Dialog, ids::Library::Ok, "\"OK\"");
        s.Label(ids::Toolbar::Dialog, before.back().id, "the palette's \"Add library\" button");
        dg::User(ids::Toolbar::Dialog).Click(before.back().id);
        ActOnPalette("press \"Add library\"");
        ExpectShown(ids::Library::Dialog, "the library manager");
        if (*missing)
            throw StepFailed("the library manager does not list " + Quote(name));
        if (!Logged("close " + Named(ids::Library::Dialog) + " (accepted)"))
            throw StepFailed("the library manager was not accepted");

        const auto after = PaletteButtons();
        if (after.size() != before.size() + 1)
            throw StepFailed("the palette has " + std::to_string(after.size()) + " buttons, not " +
                             std::to_string(before.size() + 1));
        road.modifyButton = after.front().id;
        road.libraryButton = after[after.size() - 2].id;
        s.Label(ids::Toolbar::Dialog, road.libraryButton, "the palette's " + Quote(name) + " button");
        s.Label(ids::Toolbar::Dialog, road.modifyButton, "the palette's \"Modify product\" button");
        dg::User(ids::Toolbar::Dialog).Hover(road.libraryButton);
        ActOnPalette("point at the new button");
        if (dg::LastToolTip() != name)
            throw StepFailed("the new button's tooltip is " + Quote(dg::LastToolTip()));
        WritePalettePicture(s, "Toolbar palette with the library");
    });
}

// The catalogue in the browser from the library's button, a product added to the
// project, the part saved and the tool switched.
void AddProduct(Session& s, RoadState& road)
{
    s.road.Step("the user clicks the " + Quote(road.libraryName) + " button: the catalogue in the browser", [&] {
        s.Suspect(road.dataSheetProblem);
        auto delivery = std::make_shared<Delivery>();
        const std::string productLink = "product-" + road.productId;
        auto browser = dg::User(ids::Browser::Dialog);
        browser.Then(dg::WaitForPage(ids::Browser::Dialog, ids::Browser::Page, kPageWait))
            .Do(s.Quiet("look at the catalogue"),
                [&s] {
                    if (PageFailed(s))
                        return;
                    s.Stage("the browser shows the catalogue page");
                    if (const auto page = dg::FindBrowserPage(ids::Browser::Dialog, ids::Browser::Page))
                        s.Say(Quote(page->title) + " at " + page->url + ": " + Shortened(page->text));
                })
            .Picture(s.NextPicture("Catalogue page"))
            .Then(dg::FollowLink(ids::Browser::Page, productLink))
            .Then(dg::WaitForPage(ids::Browser::Dialog, ids::Browser::Page, kPageWait))
            .Do(s.Quiet("look at the product"),
                [&s] {
                    if (PageFailed(s))
                        return;
                    s.Stage("the product's page");
                    if (const auto page = dg::FindBrowserPage(ids::Browser::Dialog, ids::Browser::Page))
                        s.Say(Quote(page->title) + ": " + Shortened(page->text));
                })
            .Picture(s.NextPicture("Product page"));
        ScriptDelivery(s, browser, delivery, "Product");
        dg::User(ids::Toolbar::Dialog).Click(road.libraryButton);
        road.firstPart = RunDelivery(s, *delivery, "click the library's button");

        const std::int32_t tool = s.Get<standin::ToolModule>().ActiveTool();
        if (tool == 0)
            throw StepFailed("no tool was switched to the new part");
        const auto defaults = s.Get<standin::ToolModule>().Defaults(tool);
        const std::int32_t index =
            tool == ElemObject || tool == ElemLamp ? defaults.objectLibIndex : defaults.openingLibIndex;
        if (index != road.firstPart.index)
            throw StepFailed("the " + ElementTypeName(tool) + " tool holds part " + std::to_string(index));
        s.Say("the " + ElementTypeName(tool) + " tool is active with the new part");
        s.summary.push_back(TimingLine(s, "the product road", *delivery));

        // The browser dialog took the message: the palette's watcher must not take
        // it again once the dialog is gone.
        const std::size_t progress = CountLogged("open " + Named(ids::Progress::Dialog));
        dg::PumpEvents(800ms);
        if (CountLogged("open " + Named(ids::Progress::Dialog)) != progress ||
            s.Get<standin::LibPartModule>().Parts().size() != 1)
            throw StepFailed("the palette downloaded the product a second time");
    });
}

// The placed product modified in the configurator: a new part, the element's part
// replaced in one undo step, then undone and done again.
void ModifyProduct(Session& s, RoadState& road)
{
    // Looked up inside the steps: after a failed start-up there is no host.
    auto elements = [&s]() -> standin::ElementModule& { return s.Get<standin::ElementModule>(); };
    auto partOfPlaced = [&] { return elements().Element(road.placed)->LibIndex(); };

    s.road.Step("the user places the product and selects it", [&] {
        const std::int32_t tool = s.Get<standin::ToolModule>().ActiveTool();
        road.placed = elements().PlacePart(tool, road.firstPart.index);
        elements().Select({road.placed});
        s.CheckHandlers();
        s.Say("a " + ElementTypeName(tool) + " of the new part, selected" +
              (s.options.verbose ? " (part " + std::to_string(partOfPlaced()) + ")" : std::string()));
        dg::PumpEvents(30ms);
        const auto modify = dg::FindItem(ids::Toolbar::Dialog, road.modifyButton);
        if (!modify || !modify->enabled)
            throw StepFailed("the palette's \"Modify product\" stays disabled");
        s.Say("the palette's \"Modify product\" is enabled");
        WritePalettePicture(s, "Toolbar palette with the product selected");
    });

    s.road.Step("the user clicks \"Modify product\": the configurator in the browser", [&] {
        s.Suspect(road.dataSheetProblem);
        auto delivery = std::make_shared<Delivery>();
        auto browser = dg::User(ids::Browser::Dialog);
        browser.Then(dg::WaitForPage(ids::Browser::Dialog, ids::Browser::Page, kPageWait))
            .Do(s.Quiet("look at the configurator's answer"),
                [&s, log = road.configurator] {
                    if (PageFailed(s))
                        return;
                    s.Stage("the configurator answers with a new configuration");
                    const auto page = dg::FindBrowserPage(ids::Browser::Dialog, ids::Browser::Page);
                    if (!page)
                        return;
                    for (const auto& request : page->requests)
                        if (request.method == "POST")
                            s.Say("posted " +
                                  std::to_string(standin::services::FormFields(request.body).size()) +
                                  " fields to " + request.url);
                    // Told only when the configurator's answer is the page shown.
                    std::lock_guard lock(log->mutex);
                    if (!log->changes.empty() && page->state == "done" && page->status == 200)
                        s.Say("in the configurator the user changed " + log->changes.back());
                    s.Say(Quote(page->title) + ": " + Shortened(page->text));
                })
            .Picture(s.NextPicture("Configurator"));
        ScriptDelivery(s, browser, delivery, "Modified product");
        dg::User(ids::Toolbar::Dialog).Click(road.modifyButton);
        road.modifiedPart = RunDelivery(s, *delivery, "click \"Modify product\"");
        s.summary.push_back(TimingLine(s, "the modify road", *delivery));
        const std::string changed = ChangedConfiguration(road.firstPart, road.modifiedPart);
        if (changed.empty()) {
            std::lock_guard lock(road.configurator->mutex);
            if (!road.configurator->changes.empty() && road.configurator->changes.back().find(" from ") != std::string::npos)
                throw StepFailed("the new part does not carry the configurator's new configuration");
        }
        s.Say("its configuration: " + (changed.empty() ? std::string("unchanged") : changed));

        s.Stage("the placed product gets the new part");
        const auto steps = elements().UndoSteps();
        if (partOfPlaced() != road.modifiedPart.index)
            throw StepFailed("the placed product still has part " + std::to_string(partOfPlaced()));
        if (steps.size() != 1)
            throw StepFailed(std::to_string(steps.size()) + " undo steps, not one");
        s.Say("the placed product has the modified product's part, in the undo step " + Quote(steps.front()) +
              (s.options.verbose ? " (part " + std::to_string(partOfPlaced()) + ")" : std::string()));
    });

    s.road.Step("the user undoes the change", [&] {
        if (!elements().Undo() || partOfPlaced() != road.firstPart.index)
            throw StepFailed("the undo did not give the product its first part back");
        s.Say("the placed product has its first part again" +
              (s.options.verbose ? " (part " + std::to_string(partOfPlaced()) + ")" : std::string()));
    });

    s.road.Step("the user redoes it", [&] {
        if (!elements().Redo() || partOfPlaced() != road.modifiedPart.index)
            throw StepFailed("the redo did not give the product its new part");
        s.Say("the placed product has the modified product's part again" +
              (s.options.verbose ? " (part " + std::to_string(partOfPlaced()) + ")" : std::string()));
    });
}

void ShutDown(Session& s)
{
    Road& r = s.road;
    r.Step("the project is closed: a project event closes the palette", [&] {
        const auto answer = s.Registrations().FireProjectEvent(ProjectClose);
        s.CheckHandlers();
        if (!answer)
            throw StepFailed("the add-on does not hear the project closing");
        const auto palette = dg::FindPanel(ids::Toolbar::Dialog);
        if (palette && palette->visible)
            throw StepFailed("the palette is still shown");
        s.Say("the palette is hidden");
    });

    r.Step("clean-up", [&] {
        if (const GSErrCode code = s.addOn->Stop(); code != 0)
            throw StepFailed("the clean-up answered " + Hex(code));
        if (const int threads = standin::win::LiveThreads(); threads != 0)
            throw StepFailed(std::to_string(threads) + " thread(s) of the add-on still run after the clean-up");
        s.Say("no thread of the add-on runs");
    });

    r.Step("unload", [&] {
        s.addOn->Unload();
        if (LibraryMapped(s.options.addOn))
            throw StepFailed("the library file is still loaded");
        if (const int threads = standin::win::LiveThreads(); threads != 0)
            throw StepFailed(std::to_string(threads) + " thread(s) of the add-on still run");
        s.Say("the library file is gone from the process");
    });
}

}  // namespace

void RunRoad(Session& s)
{
    s.road.beforeStep = [&s] { s.BeforeStep(); };
    s.road.afterStep = [&s] { s.AfterStep(); };
    RoadState road;
    StartUp(s, road);
    AddLibrary(s, road);
    AddProduct(s, road);
    ModifyProduct(s, road);
    ShutDown(s);

    if (!s.road.Completed())
        return;
    const auto parts = s.Get<standin::LibPartModule>().Parts();
    std::string names;
    for (const auto& part : parts)
        names += (names.empty() ? ": " : ", ") + Quote(part.NameUtf8());
    s.summary.insert(s.summary.begin(),
                     {std::to_string(parts.size()) + (parts.size() == 1 ? " library part" : " library parts") + " saved in " +
                          (s.DataRoot() / "Tarvel Library").string() + names,
                      std::to_string(s.Pictures().size()) + " pictures in " +
                          (fs::absolute(s.options.out) / "pictures").string(),
                      "the data root (Settings.xml, Images, Temp, the product library) in " + s.DataRoot().string()});
}

}  // namespace tarvel::runner
