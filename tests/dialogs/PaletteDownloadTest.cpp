// The palette's download road: a message the clipboard watcher finds while the
// palette shows goes through the progress and name dialogs to a saved part, run by
// the scripted user against the loopback catalogue.
#include "MisbehavingServer.hpp"
#include "PaletteFixture.hpp"

#include "standin/Elements.hpp"
#include "standin/LibParts.hpp"
#include "standin/Win.hpp"
#include "transfer/ClipboardMessage.hpp"
#include "transfer/Http.hpp"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace tarvel::testing {
namespace {

using namespace std::chrono_literals;

class PaletteDownloadTest : public PaletteFixture {
protected:
    void SetUp() override
    {
        PaletteFixture::SetUp();
        ServeDoorProduct();
        StoreLibraries({});
    }

    // Shows the palette with its watcher, as the shell does.
    void ShowWatchingPalette()
    {
        OpenPalette();
        Palette().StartClipboardWatcher();
    }
    bool PartSaved(const std::string& name) { return Store().FindByName(name).has_value(); }
    standin::LibPartModule& Store() { return Host().Module<standin::LibPartModule>(); }
    static long Count(const std::string& step)
    {
        const auto steps = dg::Steps();
        return std::count(steps.begin(), steps.end(), step);
    }
    // The door's message with its own semaphore and CAD data paths.
    std::string DoorJson(const std::string& semaphore, const std::string& cad)
    {
        std::string json = ProductJson("doors-classic", semaphore);
        const std::string standard = Server().Url("/products/door/model.xml");
        json.replace(json.find(standard), standard.size(), Server().Url(cad));
        return json;
    }
};

// A product the test holds back: its semaphore answers "not ready" and its CAD data
// does not come until the test opens the gates; the destructor opens them, so that no
// transfer is left waiting.
class GatedProduct {
public:
    GatedProduct(CatalogueServer& server, const std::string& prefix) : gates_(std::make_shared<Gates>())
    {
        server.AddHandler(prefix + "/ready", [gates = gates_](const standin::services::RecordedRequest&) {
            std::lock_guard lock(gates->mutex);
            return gates->ready ? CatalogueServer::Answer{200, "text/plain", "ready"}
                                : CatalogueServer::Answer{404, "text/html", "<p>not yet</p>"};
        });
        const std::string model = ReadFile(boost::filesystem::path(TARVEL_EXAMPLES_DIR) / "table.xml");
        server.AddHandler(prefix + "/model.xml", [gates = gates_, model](const standin::services::RecordedRequest&) {
            std::unique_lock lock(gates->mutex);
            gates->changed.wait_for(lock, std::chrono::seconds(30), [&] { return gates->cadData; });
            return CatalogueServer::Answer{200, "application/xml", model};
        });
    }
    ~GatedProduct() { LetCadDataGo(); }
    GatedProduct(const GatedProduct&) = delete;
    GatedProduct& operator=(const GatedProduct&) = delete;

    void MakeReady() { Open(&Gates::ready); }
    void LetCadDataGo() { Open(&Gates::cadData); }

private:
    struct Gates {
        std::mutex mutex;
        std::condition_variable changed;
        bool ready = false;
        bool cadData = false;
    };
    void Open(bool Gates::*gate)
    {
        {
            std::lock_guard lock(gates_->mutex);
            (*gates_).*gate = true;
        }
        gates_->changed.notify_all();
    }
    std::shared_ptr<Gates> gates_;
};

TEST_F(PaletteDownloadTest, AMessageFoundByTheWatcherBecomesASavedPartThroughTheProgressAndNameDialogs)
{
    ShowWatchingPalette();
    std::string proposed;
    dg::User(ids::LibpartName::Dialog)
        .Do("read the proposed name",
            [&] { proposed = dg::FindItem(ids::LibpartName::Dialog, ids::LibpartName::Edit)->text; })
        .Type(ids::LibpartName::Edit, "Palette Door")
        .Click(ids::LibpartName::Ok);
    ASSERT_TRUE(standin::win::SetClipboardBytes(Message(ProductJson("doors-classic"))));
    ASSERT_TRUE(dg::RunUntil("the part is saved", [&] { return PartSaved("Palette Door"); }, 20s))
        << ::testing::PrintToString(Report().Lines());

    // The progress dialog showed the download to its end and closed by itself; then
    // the name dialog proposed the product's name.
    EXPECT_EQ(Count("open " + Named(ids::Progress::Dialog)), 1);
    EXPECT_EQ(Count("close " + Named(ids::Progress::Dialog) + " (accepted)"), 1);
    EXPECT_EQ(dg::FindItem(ids::Progress::Dialog, ids::Progress::Bar)->value, 104);
    EXPECT_EQ(proposed, "Classic Door10");
    EXPECT_EQ(Count("close " + Named(ids::LibpartName::Dialog) + " (accepted)"), 1);
    // The part is the door's, its tool switched to it.
    const auto part = Store().FindByName(std::string("Palette Door"));
    EXPECT_EQ(part->Parameter("tv_catalog_productid")->text, u"D-1");
    EXPECT_EQ(Host().Module<standin::ToolModule>().ActiveTool(), HostInterface::ElemDoor);
    // The catalogue's library became active: stored, and its button is on the palette.
    // Stored as the repository has it: not in the menu.
    pugi::xml_document settings;
    ASSERT_TRUE(settings.load_string(SettingsText().c_str()));
    const pugi::xml_node stored =
        settings.select_node("/Settings/ActiveLibraries/Library[@id='doors-classic']").node();
    ASSERT_TRUE(stored);
    EXPECT_STREQ(stored.attribute("is_in_menu").value(), "false");
    dg::PumpEvents(50ms);
    const auto buttons = Buttons();
    ASSERT_EQ(buttons.size(), 6u);
    dg::User(ids::Toolbar::Dialog).Hover(buttons[4].id);
    Act();
    EXPECT_EQ(dg::LastToolTip(), "Classic Doors");
    // The message is gone, nothing was reported, and no host call came from another thread.
    EXPECT_FALSE(standin::win::ClipboardText().has_value() && !standin::win::ClipboardText()->empty());
    EXPECT_TRUE(Report().Lines().empty()) << ::testing::PrintToString(Report().Lines());
    EXPECT_TRUE(Host().CallsOffUiThread().empty());
    EXPECT_TRUE(toolbarController.IsIdle());
}

// Progress reported while the progress dialog shows goes to that dialog: after the
// user's Cancel it does not open again for the download it showed, and the next
// product has its own dialog, once.
TEST_F(PaletteDownloadTest, ProgressDuringTheDialogThenCancelThenTheNextProductOpensTheDialogOncePerProduct)
{
    // The held-back transfer must not be cut off as stalled while the user looks.
    Deployment patient = CurrentDeployment();
    patient.stallTime = std::chrono::seconds(60);
    const ScopedDeployment deployment(patient);
    GatedProduct first(Server(), "/first");
    GatedProduct next(Server(), "/next");
    ShowWatchingPalette();

    dg::User(ids::Progress::Dialog)
        .Do("the first product's semaphore turns ready", [&] { first.MakeReady(); })
        .Wait("the bar shows the first report, 25 %",
              [] { return dg::FindItem(ids::Progress::Dialog, ids::Progress::Bar)->value == 25 + 4; })
        .Click(ids::Progress::Cancel);
    ASSERT_TRUE(standin::win::SetClipboardBytes(Message(DoorJson("/first/ready", "/first/model.xml"))));
    ASSERT_TRUE(dg::RunUntil("the download is cancelled",
                             [&] { return Count("close " + Named(ids::Progress::Dialog) + " (cancelled)") == 1; }));
    first.LetCadDataGo();
    ASSERT_TRUE(dg::RunUntil("the cancelled worker ends", [] { return standin::win::LiveThreads() == 1; }, 10s));
    EXPECT_EQ(Count("open " + Named(ids::Progress::Dialog)), 1);

    dg::User(ids::Progress::Dialog).Do("the next product's semaphore turns ready", [&] {
        next.MakeReady();
        next.LetCadDataGo();
    });
    dg::User(ids::LibpartName::Dialog).Type(ids::LibpartName::Edit, "Next Door").Click(ids::LibpartName::Ok);
    ASSERT_TRUE(standin::win::SetClipboardBytes(Message(DoorJson("/next/ready", "/next/model.xml"))));
    ASSERT_TRUE(dg::RunUntil("the next part is saved", [&] { return PartSaved("Next Door"); }, 20s))
        << ::testing::PrintToString(Report().Lines());
    EXPECT_EQ(Count("open " + Named(ids::Progress::Dialog)), 2);
    EXPECT_EQ(Count("close " + Named(ids::Progress::Dialog) + " (cancelled)"), 1);
    EXPECT_EQ(Count("close " + Named(ids::Progress::Dialog) + " (accepted)"), 1);
    EXPECT_EQ(Store().Parts().size(), 1u);
}

// A report of 0 is no start: only a positive one makes the download pending, and the
// next idle event shows the progress dialog.
TEST_F(PaletteDownloadTest, OnlyAPositiveReportOpensTheProgressDialog)
{
    OpenPalette();
    const struct {
        std::int16_t percent;
        long opens;
    } cases[] = {{0, 0}, {1, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.percent);
        const long before = Count("open " + Named(ids::Progress::Dialog));
        if (c.opens > 0)
            dg::User(ids::Progress::Dialog).Click(ids::Progress::Cancel);
        long opened = -1;
        // The palette has an idle event between the two steps.
        dg::User(ids::Toolbar::Dialog)
            .Do("the download reports", [&] { Palette().SetProgress(c.percent); })
            .Do("count the progress dialogs", [&] { opened = Count("open " + Named(ids::Progress::Dialog)) - before; });
        Act();
        EXPECT_EQ(opened, c.opens);
    }
}

// Creation failing on the palette's road is reported; the controller is free again.
TEST_F(PaletteDownloadTest, AFailedCreationIsReportedWithAnAlert)
{
    // CAD data too short to be any: the creation answers 0.
    Server().AddFile("/short/model.xml", "<x/>", "application/xml");
    ShowWatchingPalette();
    dg::User(ids::LibpartName::Dialog).Click(ids::LibpartName::Ok);
    ASSERT_TRUE(standin::win::SetClipboardBytes(Message(DoorJson("/products/door/ready", "/short/model.xml"))));
    ASSERT_TRUE(dg::RunUntil("the name is accepted and the controller is idle again", [&] {
        return Count("close " + Named(ids::LibpartName::Dialog) + " (accepted)") == 1 && toolbarController.IsIdle();
    }, 20s));
    EXPECT_EQ(Report().Alerts(), std::vector<std::string>{"Error while creating library part!"});
    EXPECT_TRUE(Store().Parts().empty());
}

// Cancel, or the window's close box: the download is let go, nothing is created, and
// the next product goes through as usual.
TEST_F(PaletteDownloadTest, ACancelledDownloadCreatesNothingAndTheNextProductStillWorks)
{
    ShowWatchingPalette();
    const struct {
        const char* how;
        bool closeBox;
    } cases[] = {{"Cancel", false}, {"the close box", true}};
    int parts = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.how);
        const long cancelledBefore = Count("close " + Named(ids::Progress::Dialog) + " (cancelled)");
        if (c.closeBox)
            dg::User(ids::Progress::Dialog).CloseBox();
        else
            dg::User(ids::Progress::Dialog).Click(ids::Progress::Cancel);
        // A new payload each time: the watcher keeps the last one it took.
        const std::string never = ProductJson("doors-classic", "/products/door/never") + std::string(parts, ' ');
        ASSERT_TRUE(standin::win::SetClipboardBytes(Message(never)));
        ASSERT_TRUE(dg::RunUntil("the download is cancelled", [&] {
            return Count("close " + Named(ids::Progress::Dialog) + " (cancelled)") == cancelledBefore + 1;
        }));
        // The cancelled download's worker ends; the controller is free at once.
        EXPECT_TRUE(toolbarController.IsIdle());
        EXPECT_TRUE(dg::RunUntil("the worker ends", [] { return standin::win::LiveThreads() == 1; }));
        EXPECT_FALSE(standin::win::ClipboardText().has_value() && !standin::win::ClipboardText()->empty());

        const long namesBefore = Count("open " + Named(ids::LibpartName::Dialog));
        dg::User(ids::LibpartName::Dialog)
            .Type(ids::LibpartName::Edit, "Door " + std::to_string(parts))
            .Click(ids::LibpartName::Ok);
        const std::string ready = ProductJson("doors-classic") + std::string(parts, ' ');
        ASSERT_TRUE(standin::win::SetClipboardBytes(Message(ready)));
        const std::string name = "Door " + std::to_string(parts);
        ASSERT_TRUE(dg::RunUntil("the next part is saved", [&] { return PartSaved(name); }, 20s))
            << ::testing::PrintToString(Report().Lines());
        ++parts;
        EXPECT_EQ(Store().Parts().size(), static_cast<std::size_t>(parts));
        EXPECT_EQ(Count("open " + Named(ids::LibpartName::Dialog)), namesBefore + 1);
    }
    // The ready products may complete before their progress dialog shows (then none
    // opens for them); the cancelled ones had theirs.
    EXPECT_EQ(Count("close " + Named(ids::Progress::Dialog) + " (cancelled)"), 2);
    EXPECT_GE(Count("open " + Named(ids::Progress::Dialog)), 2);
    EXPECT_LE(Count("close " + Named(ids::Progress::Dialog) + " (accepted)"), 2);
}

// The palette sees no idle event while a modal dialog of its own runs: the download
// completes meanwhile, and the part is made at the next idle event without the
// progress dialog.
TEST_F(PaletteDownloadTest, ACompletionBeforeTheProgressDialogShowsIsNotLost)
{
    ShowWatchingPalette();
    dg::User(ids::Toolbar::Dialog).Click(ids::Toolbar::About);
    dg::User(ids::About::Dialog)
        .Do("put the product on the clipboard",
            [&] { ASSERT_TRUE(standin::win::SetClipboardBytes(Message(ProductJson("doors-classic")))); })
        .Wait("the download has ended",
              [&] {
                  return Server().CallCount("/products/door/sheet.xml") == 1 && standin::win::LiveThreads() == 1;
              },
              10s)
        .Click(ids::About::Close);
    dg::User(ids::LibpartName::Dialog).Click(ids::LibpartName::Ok);
    ASSERT_TRUE(dg::RunUntil("the part is saved", [&] { return PartSaved("Classic Door10"); }, 20s))
        << ::testing::PrintToString(Report().Lines());
    EXPECT_EQ(Count("open " + Named(ids::Progress::Dialog)), 0);
    EXPECT_TRUE(toolbarController.IsIdle());
}

// The watcher takes the palette's product and, while it checks the library list, the
// user opens a library's browser dialog and adds another product there: each part is
// made from its own product's files, the palette's after the dialog has closed.
TEST_F(PaletteDownloadTest, APaletteProductAndABrowserDialogsProductEachBecomeTheirOwnPart)
{
    StoreLibraries({{"doors-classic", "Classic Doors", "", Server().Url("/catalogue/doors-classic/")}});
    std::string profiles;
    ASSERT_TRUE(HttpGetToString(Server().Url(standin::services::kProfilesPath).c_str(), profiles));
    struct Gate {
        std::mutex mutex;
        std::condition_variable changed;
        bool open = false;
    };
    auto gate = std::make_shared<Gate>();
    Server().AddHandler(standin::services::kProfilesPath, [gate, profiles](const standin::services::RecordedRequest&) {
        std::unique_lock lock(gate->mutex);
        gate->changed.wait_for(lock, std::chrono::seconds(30), [&] { return gate->open; });
        return CatalogueServer::Answer{200, "application/json", profiles};
    });
    const auto openGate = [gate] {
        {
            std::lock_guard lock(gate->mutex);
            gate->open = true;
        }
        gate->changed.notify_all();
    };
    ShowWatchingPalette();
    const int asked = Server().CallCount(standin::services::kProfilesPath);
    ASSERT_TRUE(standin::win::SetClipboardBytes(Message(ProductJson("doors-classic"))));
    ASSERT_TRUE(dg::RunUntil("the watcher checks the library list",
                             [&] { return Server().CallCount(standin::services::kProfilesPath) > asked; }));

    std::chrono::steady_clock::time_point answered;
    dg::User(ids::Browser::Dialog)
        .Then(dg::WaitForPage(ids::Browser::Dialog, ids::Browser::Page))
        .Do("the library list answers the watcher", [&] {
            openGate();
            answered = std::chrono::steady_clock::now();
        })
        .Wait("the watcher could have started its download",
              [&] { return std::chrono::steady_clock::now() - answered > std::chrono::seconds(1); })
        .Then(dg::FollowLink(ids::Browser::Page, "product-C-1"))
        .Then(dg::WaitForPage(ids::Browser::Dialog, ids::Browser::Page))
        .Then(dg::PressElement(ids::Browser::Page, "add-to-project"));
    std::vector<std::string> proposed;
    // While the browser dialog is open, the palette's download has not begun.
    std::vector<int> doorRequests;
    const auto readName = [&] {
        proposed.push_back(dg::FindItem(ids::LibpartName::Dialog, ids::LibpartName::Edit)->text);
        doorRequests.push_back(Server().CallCount("/products/door/ready"));
    };
    dg::User(ids::LibpartName::Dialog)
        .Do("read the proposed name", readName)
        .Click(ids::LibpartName::Ok)
        .Do("read the proposed name", readName)
        .Click(ids::LibpartName::Ok);
    const auto buttons = Buttons();
    ASSERT_EQ(buttons.size(), 6u);
    dg::User(ids::Toolbar::Dialog).Click(buttons[4].id);
    ASSERT_TRUE(dg::RunUntil("both parts are saved", [&] { return Store().Parts().size() == 2; }, 30s))
        << ::testing::PrintToString(Report().Lines());

    EXPECT_EQ(proposed, (std::vector<std::string>{"Hall Cabinet10", "Classic Door10"}));
    ASSERT_EQ(doorRequests.size(), 2u);
    EXPECT_EQ(doorRequests[0], 0);
    EXPECT_GT(doorRequests[1], 0);
    const auto cabinet = Store().FindByName(std::string("Hall Cabinet10"));
    const auto door = Store().FindByName(std::string("Classic Door10"));
    ASSERT_TRUE(cabinet && door);
    EXPECT_EQ(cabinet->Parameter("tv_catalog_productid")->text, u"C-1");
    EXPECT_EQ(door->Parameter("tv_catalog_productid")->text, u"D-1");
    EXPECT_NE(door->Script(HostInterface::Sect3DScript), cabinet->Script(HostInterface::Sect3DScript));
    EXPECT_TRUE(Report().Alerts().empty()) << ::testing::PrintToString(Report().Alerts());
    EXPECT_TRUE(toolbarController.IsIdle());
}

TEST_F(PaletteDownloadTest, TheWatchersAlertsReachTheReportOnTheUserInterfaceThread)
{
    ShowWatchingPalette();
    ASSERT_TRUE(standin::win::SetClipboardBytes(Message(ProductJson("nowhere"))));
    ASSERT_TRUE(dg::RunUntil("the alert", [&] { return !Report().Alerts().empty(); }));
    EXPECT_EQ(Report().Alerts(), std::vector<std::string>{kUnknownCatalogue});
    for (const auto& entry : Report().Entries())
        EXPECT_EQ(entry.thread, std::this_thread::get_id());
    EXPECT_TRUE(Host().CallsOffUiThread().empty());
    EXPECT_EQ(Count("open " + Named(ids::Progress::Dialog)), 0);
}

// The user cancels a download whose CAD data stalls or never ends and at once copies
// the next product, with files of the same names: the cancelled one cleans up only
// what it made, and the next one becomes its part.
TEST_F(PaletteDownloadTest, AfterACancelledStalledOrEndlessDownloadTheNextProductBecomesItsPart)
{
    Deployment patient = CurrentDeployment();
    patient.stallTime = 600s;
    patient.maxZipBytes = std::uint64_t{1} << 40;
    const ScopedDeployment scoped(patient);
    MisbehavingServer misbehaving;
    Server().AddSemaphore("/products/door/now", 0);
    ShowWatchingPalette();
    int round = 0;
    for (const auto way : {MisbehavingServer::Way::StallAfterHeaders, MisbehavingServer::Way::EndlessChunked}) {
        const char* what = MisbehavingServer::Name(way);
        const std::string name = std::string("Door after ") + what;
        std::string first = ProductJson("doors-classic", "/products/door/now");
        const std::string model = Server().Url("/products/door/model.xml");
        first.replace(first.find(model), model.size(), misbehaving.Url(way, "model.xml"));
        const int requests = misbehaving.Requests();
        const long cancelled = Count("close " + Named(ids::Progress::Dialog) + " (cancelled)");
        dg::User(ids::Progress::Dialog)
            .Wait("the first product's CAD data is asked for", [&] { return misbehaving.Requests() > requests; })
            .Click(ids::Progress::Cancel);
        dg::User(ids::LibpartName::Dialog).Type(ids::LibpartName::Edit, name).Click(ids::LibpartName::Ok);
        ASSERT_TRUE(standin::win::SetClipboardBytes(Message(first))) << what;
        ASSERT_TRUE(dg::RunUntil("the cancel",
                                 [&] { return Count("close " + Named(ids::Progress::Dialog) + " (cancelled)") == cancelled + 1; }))
            << what;
        ASSERT_TRUE(standin::win::SetClipboardBytes(
            Message(ProductJson("doors-classic", "/products/door/now") + std::string(++round, ' '))))
            << what;
        ASSERT_TRUE(dg::RunUntil("the next part is saved", [&] { return PartSaved(name); }, 20s))
            << what << ::testing::PrintToString(Report().Lines());
        EXPECT_EQ(Store().FindByName(name)->Parameter("tv_catalog_productid")->text, u"D-1") << what;
        EXPECT_TRUE(Report().Lines().empty()) << what << ::testing::PrintToString(Report().Lines());
    }
    EXPECT_EQ(Store().Parts().size(), 2u);
    EXPECT_TRUE(toolbarController.IsIdle());
}

}  // namespace
}  // namespace tarvel::testing
