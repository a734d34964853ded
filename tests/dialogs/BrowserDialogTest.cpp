// The browser dialog on the palette's two roads, run by the scripted user against the
// loopback catalogue: a library button opens the catalogue, the user adds a product,
// and its download, name and saved part follow; "Modify product" posts a placed
// product's configuration to its configurator and puts the new part in its place.
#include "MisbehavingServer.hpp"
#include "PaletteFixture.hpp"

#include "standin/Elements.hpp"
#include "standin/LibParts.hpp"
#include "standin/Win.hpp"
#include "Main/ModifyProduct.hpp"
#include "transfer/ClipboardMessage.hpp"

#include <boost/filesystem.hpp>

#include <algorithm>
#include <map>
#include <thread>

namespace tarvel::testing {
namespace {

using namespace std::chrono_literals;
using standin::PartParameter;

constexpr const char* WrongSelection =
    "Wrong selection! You cannot modify the selected element(s) with Tarvel Add-On.";

// What the dialog shows.
struct Look {
    bool browser = false;
    bool message = false;
    bool bar = false;
    DG::Rect cancel;
    DG::Rect messageRect;
    DG::Rect barRect;
    DG::Rect browserRect;
    std::int32_t barValue = 0;
    std::int32_t barMax = 0;
};

Look LookOfDialog()
{
    Look look;
    look.browser = dg::FindItem(ids::Browser::Dialog, ids::Browser::Page)->visible;
    look.browserRect = dg::FindItem(ids::Browser::Dialog, ids::Browser::Page)->rect;
    look.message = dg::FindItem(ids::Browser::Dialog, ids::Browser::Message)->visible;
    look.messageRect = dg::FindItem(ids::Browser::Dialog, ids::Browser::Message)->rect;
    look.bar = dg::FindItem(ids::Browser::Dialog, ids::Browser::Bar)->visible;
    look.barRect = dg::FindItem(ids::Browser::Dialog, ids::Browser::Bar)->rect;
    look.barValue = dg::FindItem(ids::Browser::Dialog, ids::Browser::Bar)->value;
    look.barMax = dg::FindItem(ids::Browser::Dialog, ids::Browser::Bar)->max;
    look.cancel = dg::FindItem(ids::Browser::Dialog, ids::Browser::Cancel)->rect;
    return look;
}

bool Browsing(const Look& look) { return look.browser && !look.message && !look.bar && look.cancel.top == -50; }
bool Downloading(const Look& look) { return !look.browser && look.message && look.bar && look.cancel.top == 450; }

PartParameter Text(const std::string& name, const std::u16string& value)
{
    PartParameter p;
    p.name = name;
    p.text = value;
    return p;
}

std::u16string Units(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

class BrowserDialogTest : public PaletteFixture {
protected:
    void SetUp() override
    {
        PaletteFixture::SetUp();
        StoreLibraries({{"doors-classic", "Classic Doors", "", LibraryUrl()}});
    }

    std::string LibraryUrl() { return Server().Url("/catalogue/doors-classic/"); }
    // The product's semaphore answers "not ready" until Release.
    void Hold(const std::string& product) { Server().AddSemaphore(SemaphorePath(product), 1000000); }
    void Release(const std::string& product) { Server().AddSemaphore(SemaphorePath(product), 0); }
    static std::string SemaphorePath(const std::string& product)
    {
        return "/catalogue/doors-classic/products/" + product + "/ready";
    }

    // The library button of the palette, the fifth button after the four tools.
    void ClickLibraryButton()
    {
        const auto buttons = Buttons();
        ASSERT_EQ(buttons.size(), 6u);
        dg::User(ids::Toolbar::Dialog).Click(buttons[4].id);
        Act();
    }
    // On the catalogue page: the product's page, then its "add to project".
    static dg::DialogScript AddProduct(dg::DialogScript script, const std::string& product)
    {
        return script.Then(dg::FollowLink(ids::Browser::Page, "product-" + product))
            .Then(dg::WaitForPage(ids::Browser::Dialog, ids::Browser::Page))
            .Then(dg::PressElement(ids::Browser::Page, "add-to-project"));
    }
    static dg::DialogScript WaitForDownloadLook(dg::DialogScript script)
    {
        return script.Wait("the download shows", [] { return Downloading(LookOfDialog()); });
    }

    standin::LibPartModule& Store() { return Host().Module<standin::LibPartModule>(); }
    standin::ElementModule& Elements() { return Host().Module<standin::ElementModule>(); }
    static long Count(const std::string& step)
    {
        const auto steps = dg::Steps();
        return std::count(steps.begin(), steps.end(), step);
    }
    // The forms posted to the library's configurator, in order.
    std::vector<std::vector<std::pair<std::string, std::string>>> ConfiguratorPosts()
    {
        std::vector<std::vector<std::pair<std::string, std::string>>> posts;
        for (const auto& request : Server().Requests())
            if (request.target == "/catalogue/doors-classic/tvHandler.aspx")
                posts.push_back(standin::services::FormFields(request.body));
        return posts;
    }
    // The palette opened and the door D-1 saved from the catalogue under the name.
    std::optional<standin::LibPart> SaveCatalogueDoor(const std::string& name)
    {
        OpenPalette();
        AddProduct(dg::User(ids::Browser::Dialog).Then(dg::WaitForPage(ids::Browser::Dialog, ids::Browser::Page)),
                   "D-1");
        dg::User(ids::LibpartName::Dialog).Type(ids::LibpartName::Edit, name).Click(ids::LibpartName::Ok);
        ClickLibraryButton();
        return Store().FindByName(name);
    }
    // A placed door of the catalogue with these stored values, selected; the palette
    // opened on that selection.
    GS::Guid PlaceSelectedProduct(const std::u16string& baseUrl, const std::u16string& culture,
                                  const std::u16string& section, const std::u16string& group = u"Doors")
    {
        const GS::Guid guid = Elements().Place(
            HostInterface::ElemDoor, 0, 1, 2,
            {Text("tv_base_url", baseUrl), Text("tv_catalog_productid", u"D-1"),
             Text("tv_catalog_productgroup", group), Text("tv_catalog_modelfile", u"classic-door.tvm"),
             Text("tv_catalog_section", section), Text("tv_catalog_culture", culture)});
        Elements().Select({guid});
        ClosePalette();
        OpenPalette();
        return guid;
    }
};

TEST_F(BrowserDialogTest, ALibraryButtonBrowsesTheCatalogueAndTheAddedProductBecomesASavedPart)
{
    OpenPalette();
    Palette().StartClipboardWatcher();
    Hold("D-1");
    std::optional<dg::BrowserPage> catalogue;
    bool watcherHeldOff = false;
    std::optional<bool> idleForInactiveApp;
    std::vector<dg::FocusRecord> focus;
    Look browsing, downloading;
    auto script = dg::User(ids::Browser::Dialog);
    script.Then(dg::WaitForPage(ids::Browser::Dialog, ids::Browser::Page)).Do("look at the catalogue", [&] {
        catalogue = dg::FindBrowserPage(ids::Browser::Dialog, ids::Browser::Page);
        watcherHeldOff = toolbarController.browserDialogOpen.load();
        idleForInactiveApp = dg::FindPanel(ids::Browser::Dialog)->idleForInactiveApp;
        focus = dg::FocusCalls();
        browsing = LookOfDialog();
    });
    AddProduct(script, "D-1");
    WaitForDownloadLook(script)
        .Do("look at the download", [&] { downloading = LookOfDialog(); })
        .Do("the product is ready", [&] { Release("D-1"); });
    std::string proposed;
    dg::User(ids::LibpartName::Dialog)
        .Do("read the proposed name",
            [&] { proposed = dg::FindItem(ids::LibpartName::Dialog, ids::LibpartName::Edit)->text; })
        .Type(ids::LibpartName::Edit, "Catalogue Door")
        .Click(ids::LibpartName::Ok);
    ClickLibraryButton();

    ASSERT_TRUE(catalogue);
    EXPECT_EQ(catalogue->url, LibraryUrl() + "?target_system=archicad");
    EXPECT_EQ(catalogue->title, "Classic Doors");
    EXPECT_TRUE(watcherHeldOff);
    EXPECT_EQ(idleForInactiveApp, false);
    EXPECT_EQ(focus, (std::vector<dg::FocusRecord>{{0, -1}}));
    EXPECT_FALSE(toolbarController.browserDialogOpen.load());
    EXPECT_TRUE(Browsing(browsing));
    EXPECT_TRUE(Downloading(downloading));
    EXPECT_EQ(downloading.barMax, 120);
    EXPECT_EQ(downloading.barValue, 44);
    EXPECT_EQ(downloading.cancel.left, 350);

    // The name dialog proposed the product's name; the part is saved, its tool chosen.
    EXPECT_EQ(proposed, "Classic Door10");
    EXPECT_EQ(Count("close " + Named(ids::Browser::Dialog) + " (accepted)"), 1);
    const auto part = Store().FindByName(std::string("Catalogue Door"));
    ASSERT_TRUE(part) << ::testing::PrintToString(Report().Lines());
    EXPECT_EQ(part->Parameter("tv_catalog_productid")->text, u"D-1");
    EXPECT_EQ(part->Parameter("tv_base_url")->text, Units(LibraryUrl()));
    EXPECT_EQ(Host().Module<standin::ToolModule>().ActiveTool(), HostInterface::ElemDoor);
    // The message was the dialog's: the palette's watcher made nothing of it.
    EXPECT_EQ(Store().Parts().size(), 1u);
    EXPECT_EQ(Count("open " + Named(ids::Progress::Dialog)), 0);
    EXPECT_TRUE(dg::RunUntil("the worker ends", [] { return standin::win::LiveThreads() == 1; }));
    EXPECT_TRUE(Report().Lines().empty()) << ::testing::PrintToString(Report().Lines());
    EXPECT_TRUE(Host().CallsOffUiThread().empty());
}

// The dialog's two looks as pictures: the page while browsing; the text and a bar
// filled to 44 of 120 while downloading, the page hidden.
TEST_F(BrowserDialogTest, PicturesOfBrowsingAndDownloading)
{
    OpenPalette();
    Hold("D-1");
    const std::string browsingPicture = (Temp().Path() / "browsing.png").string();
    const std::string downloadingPicture = (Temp().Path() / "downloading.png").string();
    int left = 0;
    int top = 0;
    auto script = dg::User(ids::Browser::Dialog);
    script.Then(dg::WaitForPage(ids::Browser::Dialog, ids::Browser::Page))
        .Do("where the client area lies", [&] {
            const dg::Picture frame = dg::RenderPanel(ids::Browser::Dialog);
            left = frame.clientLeft;
            top = frame.clientTop;
        })
        .Picture(browsingPicture);
    AddProduct(script, "D-1");
    WaitForDownloadLook(script).Picture(downloadingPicture).CloseBox();
    ClickLibraryButton();

    const dg::Picture browsing = dg::ReadPng(browsingPicture);
    const dg::Picture downloading = dg::ReadPng(downloadingPicture);
    ASSERT_FALSE(browsing.Empty());
    ASSERT_FALSE(downloading.Empty());
    auto dark = [&](const dg::Picture& picture, int x, int y, int w, int h) {
        return DarkPixels(picture, left + x, top + y, w, h);
    };
    // Browsing: the address and the catalogue's text; nothing over the page's lower part.
    EXPECT_GT(dark(browsing, 0, 0, 400, 24), 20);
    EXPECT_GT(dark(browsing, 0, 24, 400, 60), 20);
    EXPECT_EQ(dark(browsing, 0, 330, 800, 100), 0);
    // Downloading: no page, the message, the bar a little over a third filled, Cancel.
    EXPECT_EQ(dark(downloading, 0, 0, 800, 300), 0);
    EXPECT_GT(dark(downloading, 50, 340, 700, 20), 20);
    const std::uint32_t filled = downloading.At(left + 50 + 700 * 30 / 100, top + 392);
    EXPECT_GT(filled >> 8 & 0xFF, filled >> 16 & 0xFF) << std::hex << filled;
    EXPECT_EQ(downloading.At(left + 50 + 700 * 45 / 100, top + 392), 0xFFE6E6E6u);
    EXPECT_GT(dark(downloading, 350, 450, 100, 25), 5);
}

TEST_F(BrowserDialogTest, AfterACancelTheNextProductStillBecomesAPart)
{
    OpenPalette();
    Hold("D-2");
    Look cancelled;
    auto script = dg::User(ids::Browser::Dialog);
    script.Then(dg::WaitForPage(ids::Browser::Dialog, ids::Browser::Page));
    AddProduct(script, "D-2");
    WaitForDownloadLook(script)
        .Click(ids::Browser::Cancel)
        .Do("look after the cancel", [&] { cancelled = LookOfDialog(); })
        .Wait("the cancelled worker ends", [] { return standin::win::LiveThreads() == 0; })
        .Then(dg::FollowLink(ids::Browser::Page, "catalogue"))
        .Then(dg::WaitForPage(ids::Browser::Dialog, ids::Browser::Page));
    AddProduct(script, "D-1");
    dg::User(ids::LibpartName::Dialog).Type(ids::LibpartName::Edit, "Second Door").Click(ids::LibpartName::Ok);
    ClickLibraryButton();

    EXPECT_TRUE(Browsing(cancelled));
    ASSERT_EQ(Store().Parts().size(), 1u) << ::testing::PrintToString(Report().Lines());
    const auto part = Store().FindByName(std::string("Second Door"));
    ASSERT_TRUE(part);
    EXPECT_EQ(part->Parameter("tv_catalog_productid")->text, u"D-1");
    EXPECT_EQ(Count("open " + Named(ids::LibpartName::Dialog)), 1);
    EXPECT_TRUE(Report().Lines().empty()) << ::testing::PrintToString(Report().Lines());
}

// A second "add to project" while a download runs waits on the clipboard; the
// completion removes it, so it starts nothing.
TEST_F(BrowserDialogTest, AMessageDuringADownloadIsRemovedWhenTheDownloadCompletes)
{
    OpenPalette();
    ServeDoorProduct();
    Hold("D-1");
    const std::string second = Message(ProductJson("doors-classic"));
    std::optional<std::string> waiting;
    auto script = dg::User(ids::Browser::Dialog);
    script.Then(dg::WaitForPage(ids::Browser::Dialog, ids::Browser::Page));
    AddProduct(script, "D-1");
    WaitForDownloadLook(script)
        .Do("another product is added", [&] { ASSERT_TRUE(standin::win::SetClipboardBytes(second)); })
        .Do("look at the clipboard", [&] { waiting = standin::win::ClipboardText(); })
        .Do("the first product is ready", [&] { Release("D-1"); });
    dg::User(ids::LibpartName::Dialog).Click(ids::LibpartName::Ok);
    ClickLibraryButton();

    EXPECT_EQ(waiting, second);
    EXPECT_EQ(Store().Parts().size(), 1u) << ::testing::PrintToString(Report().Lines());
    EXPECT_FALSE(standin::win::ClipboardText().has_value() && !standin::win::ClipboardText()->empty());
    // The second message was never taken: its callback was not asked.
    EXPECT_EQ(Server().CallCount("/callback"), 0);
}

TEST_F(BrowserDialogTest, AnInvalidMessageIsReportedAndTheDialogBrowsesOn)
{
    OpenPalette();
    Look afterAlert;
    auto script = dg::User(ids::Browser::Dialog);
    script.Then(dg::WaitForPage(ids::Browser::Dialog, ids::Browser::Page))
        .Do("a broken message on the clipboard",
            [] {
                ASSERT_TRUE(standin::win::SetClipboardBytes(std::string(kMessageStart) + Base64Encode("not json") +
                                                            kMessageEnd));
            })
        .Wait("the alert", [&] { return !Report().Alerts().empty(); })
        .Do("look after the alert", [&] { afterAlert = LookOfDialog(); });
    AddProduct(script, "D-1");
    dg::User(ids::LibpartName::Dialog).Type(ids::LibpartName::Edit, "After Alert").Click(ids::LibpartName::Ok);
    ClickLibraryButton();

    EXPECT_EQ(Report().Alerts(), std::vector<std::string>{"ERROR: invalid token"});
    EXPECT_TRUE(Browsing(afterAlert));
    EXPECT_TRUE(Store().FindByName(std::string("After Alert")).has_value());
}

TEST_F(BrowserDialogTest, AFailedDownloadIsReportedOnceAndTheDialogBrowsesOn)
{
    OpenPalette();
    Look afterAlert;
    // The product's CAD data is not on the server: its 404 page is no artifact.
    const std::string json = "{\"Artifacts\":[{\"FileType\":\"CadFile\",\"SourceUrl\":\"" +
                             Server().Url("/catalogue/doors-classic/products/none/model.xml") + "\"}]}";
    auto script = dg::User(ids::Browser::Dialog);
    script.Then(dg::WaitForPage(ids::Browser::Dialog, ids::Browser::Page))
        .Do("a product whose CAD data is missing",
            [&] {
                ASSERT_TRUE(standin::win::SetClipboardBytes(std::string(kMessageStart) + Base64Encode(json) +
                                                            kMessageEnd));
            })
        .Wait("the alert", [&] { return !Report().Alerts().empty(); })
        .Do("look after the alert", [&] { afterAlert = LookOfDialog(); });
    AddProduct(script, "D-1");
    dg::User(ids::LibpartName::Dialog).Type(ids::LibpartName::Edit, "After Failure").Click(ids::LibpartName::Ok);
    ClickLibraryButton();

    EXPECT_EQ(Report().Alerts(), std::vector<std::string>{"Error while downloading the product! Nothing was added."});
    EXPECT_TRUE(Browsing(afterAlert));
    // Only the second product became a part; the name was asked for it alone.
    ASSERT_EQ(Store().Parts().size(), 1u);
    EXPECT_TRUE(Store().FindByName(std::string("After Failure")).has_value());
    EXPECT_EQ(Count("open " + Named(ids::LibpartName::Dialog)), 1);
}

// The window's close box during a download: the dialog closes at once, the worker
// is let go and ends, and nothing is made of the product, not even later.
TEST_F(BrowserDialogTest, ClosingTheWindowDuringADownloadCreatesNothing)
{
    OpenPalette();
    Hold("D-1");
    auto script = dg::User(ids::Browser::Dialog);
    script.Then(dg::WaitForPage(ids::Browser::Dialog, ids::Browser::Page));
    AddProduct(script, "D-1");
    WaitForDownloadLook(script).CloseBox();
    ClickLibraryButton();

    EXPECT_EQ(Count("close " + Named(ids::Browser::Dialog) + " (cancelled)"), 1);
    EXPECT_FALSE(toolbarController.browserDialogOpen.load());
    Release("D-1");
    EXPECT_TRUE(standin::win::WaitForAllThreads(5s));
    dg::PumpEvents(100ms);
    EXPECT_TRUE(Store().Parts().empty());
    EXPECT_EQ(Count("open " + Named(ids::LibpartName::Dialog)), 0);
    EXPECT_FALSE(standin::win::ClipboardText().has_value() && !standin::win::ClipboardText()->empty());
    EXPECT_TRUE(Report().Lines().empty()) << ::testing::PrintToString(Report().Lines());
}

TEST_F(BrowserDialogTest, AResizeKeepsCancelCentredAndTheBarTheWidthLessItsMargins)
{
    OpenPalette();
    Look resized;
    dg::User(ids::Browser::Dialog)
        .Then(dg::WaitForPage(ids::Browser::Dialog, ids::Browser::Page))
        .Resize(600, 400)
        .Do("look", [&] { resized = LookOfDialog(); })
        .CloseBox();
    ClickLibraryButton();

    EXPECT_EQ(resized.cancel.left, 250);
    EXPECT_EQ(resized.cancel.top, -50);
    EXPECT_EQ(resized.messageRect.GetWidth(), 500);
    EXPECT_EQ(resized.barRect.GetWidth(), 500);
    EXPECT_EQ(resized.browserRect.GetWidth(), 600);
    EXPECT_EQ(resized.browserRect.GetHeight(), 400);
}

// An address far longer than any fixed buffer loads whole.
TEST_F(BrowserDialogTest, ALongAddressLoadsWhole)
{
    const std::string path = "/catalogue/" + std::string(400, 'l') + "/";
    Server().AddFile(path, "<title>A long way</title>", "text/html");
    const std::string base = Server().Url(path);
    StoreLibraries({{"far", "Far", "", base}});
    OpenPalette();
    std::optional<dg::BrowserPage> page;
    dg::User(ids::Browser::Dialog)
        .Then(dg::WaitForPage(ids::Browser::Dialog, ids::Browser::Page))
        .Do("look", [&] { page = dg::FindBrowserPage(ids::Browser::Dialog, ids::Browser::Page); })
        .CloseBox();
    ClickLibraryButton();
    ASSERT_TRUE(page);
    EXPECT_EQ(page->url, base + "?target_system=archicad");
    EXPECT_EQ(page->title, "A long way");
}

// The placed product goes to its configurator, which hands back a product of another
// configuration; the element gets the new part in one undo step.
TEST_F(BrowserDialogTest, ModifyProductReplacesThePlacedProductWithTheReconfiguredOne)
{
    auto catalogue = Catalogue();
    catalogue.configuratorChoice = [](const std::string&, std::vector<std::pair<std::string, std::string>>& rows) {
        for (auto& [name, value] : rows)
            if (name == "width")
                value = "1400";
    };
    standin::services::AddCatalogue(Server(), catalogue);
    // The product as the catalogue road saved it, placed and selected.
    const auto placed = SaveCatalogueDoor("Placed Door");
    ASSERT_TRUE(placed) << ::testing::PrintToString(Report().Lines());
    const GS::Guid guid = Elements().PlacePart(HostInterface::ElemDoor, placed->index);
    const standin::PlacedElement before = *Elements().Element(guid);
    EXPECT_FALSE(dg::FindItem(ids::Toolbar::Dialog, ids::Toolbar::Modify)->enabled);
    Elements().Select({guid});
    ClosePalette();
    OpenPalette();
    EXPECT_TRUE(dg::FindItem(ids::Toolbar::Dialog, ids::Toolbar::Modify)->enabled);

    std::optional<dg::BrowserPage> configurator;
    dg::User(ids::Browser::Dialog)
        .Then(dg::WaitForPage(ids::Browser::Dialog, ids::Browser::Page))
        .Do("look at the configured product",
            [&] { configurator = dg::FindBrowserPage(ids::Browser::Dialog, ids::Browser::Page); })
        .Then(dg::PressElement(ids::Browser::Page, "add-to-project"));
    dg::User(ids::LibpartName::Dialog).Type(ids::LibpartName::Edit, "Wide Door").Click(ids::LibpartName::Ok);
    dg::User(ids::Toolbar::Dialog).Click(ids::Toolbar::Modify);
    Act();

    // The auto-submitting page posted the placed product's configuration.
    ASSERT_TRUE(configurator);
    EXPECT_EQ(configurator->url, LibraryUrl() + "tvHandler.aspx");
    EXPECT_EQ(configurator->title, "Classic Door - Classic Doors");
    const auto posts = ConfiguratorPosts();
    ASSERT_EQ(posts.size(), 1u);
    const auto& fields = posts[0];
    ASSERT_EQ(fields.size(), 9u);
    const std::pair<std::string, std::string> expected[] = {
        {"Vindle", "2"},       {"XMLEncoding", "Base64"}, {"QnADisplayType", "0"}, {"XmlContent", ""},
        {"target_system", "archicad"}, {"ArtikelNr", "D-1"}, {"pgid", "Doors"}, {"cul", "en-GB"}, {"mandant", "12"}};
    for (std::size_t i = 0; i < fields.size(); ++i) {
        EXPECT_EQ(fields[i].first, expected[i].first);
        if (i != 3) {
            EXPECT_EQ(fields[i].second, expected[i].second) << fields[i].first;
        }
    }
    const std::string xml = Base64Decode(fields[3].second);
    EXPECT_NE(xml.find("model=\"classic-door.tvm\""), std::string::npos) << xml;
    EXPECT_NE(xml.find("<param name=\"width\" value=\"900\" />"), std::string::npos) << xml;

    // The new part has the configurator's width; the element has the new part.
    const auto wide = Store().FindByName(std::string("Wide Door"));
    ASSERT_TRUE(wide) << ::testing::PrintToString(Report().Lines());
    const standin::PlacedElement after = *Elements().Element(guid);
    EXPECT_EQ(after.LibIndex(), wide->index);
    const auto rows = after.Parameter("tv_config_params")->Rows();
    EXPECT_NE(std::find(rows.begin(), rows.end(), std::vector<std::u16string>{u"width", u"1400"}), rows.end());
    EXPECT_EQ(Elements().UndoSteps(), std::vector<std::string>{"Tarvel Modify Element"});
    EXPECT_TRUE(Report().Lines().empty()) << ::testing::PrintToString(Report().Lines());
    // Undo gives the element its old part and parameters back.
    ASSERT_TRUE(Elements().Undo());
    const standin::PlacedElement undone = *Elements().Element(guid);
    EXPECT_EQ(undone.LibIndex(), placed->index);
    EXPECT_EQ(undone.parameters, before.parameters);
    EXPECT_FALSE(toolbarController.browserDialogOpen.load());
}

// The user selects something else while the configurator shows: the new part is
// saved, but it goes to no element but the configured one, and only while that one
// is still the selection; otherwise one alert says so.
TEST_F(BrowserDialogTest, ModifyProductReplacesOnlyTheConfiguredElementWhileItIsSelected)
{
    const auto placed = SaveCatalogueDoor("Placed Door");
    ASSERT_TRUE(placed) << ::testing::PrintToString(Report().Lines());
    constexpr const char* SelectionChanged =
        "The element you configured is no longer selected, or no longer exists: no element was changed. Its new "
        "library part is saved in the library.";
    enum class Then { KeepIt, SelectOther, SelectBoth, SelectNothing };
    const struct {
        const char* what;
        Then then;
        bool replaced;
    } cases[] = {
        {"still selected", Then::KeepIt, true},
        {"another selected", Then::SelectOther, false},
        {"both selected", Then::SelectBoth, false},
        {"nothing selected", Then::SelectNothing, false},
    };
    int n = 0;
    for (const auto& c : cases) {
        Report().Clear();
        const GS::Guid configured = Elements().PlacePart(HostInterface::ElemDoor, placed->index);
        const GS::Guid other = Elements().PlacePart(HostInterface::ElemDoor, placed->index);
        Elements().Select({configured});
        ClosePalette();
        OpenPalette();
        const std::string name = "Modified " + std::to_string(++n);
        dg::User(ids::Browser::Dialog)
            .Then(dg::WaitForPage(ids::Browser::Dialog, ids::Browser::Page))
            .Do("the user selects in the plan", [&] {
                if (c.then == Then::SelectOther)
                    Elements().Select({other});
                else if (c.then == Then::SelectBoth)
                    Elements().Select({configured, other});
                else if (c.then == Then::SelectNothing)
                    Elements().Select({});
            })
            .Then(dg::PressElement(ids::Browser::Page, "add-to-project"));
        dg::User(ids::LibpartName::Dialog).Type(ids::LibpartName::Edit, name).Click(ids::LibpartName::Ok);
        dg::User(ids::Toolbar::Dialog).Click(ids::Toolbar::Modify);
        Act();

        const auto created = Store().FindByName(name);
        ASSERT_TRUE(created) << c.what << ::testing::PrintToString(Report().Lines());
        EXPECT_EQ(Elements().Element(configured)->LibIndex(), c.replaced ? created->index : placed->index) << c.what;
        EXPECT_EQ(Elements().Element(other)->LibIndex(), placed->index) << c.what;
        EXPECT_EQ(Report().Alerts(), c.replaced ? std::vector<std::string>{} : std::vector<std::string>{SelectionChanged})
            << c.what;
    }
    EXPECT_EQ(Elements().UndoSteps(), std::vector<std::string>{"Tarvel Modify Element"});
}

// The culture and the section are posted only when longer than one byte; a visit that
// brings no product back changes nothing. The administrator's copy of the start
// options is written only for AdminMode=true.
TEST_F(BrowserDialogTest, ModifyProductPostsCultureAndSectionOnlyWhenGiven)
{
    standin::win::SetClock(1767225600 + 3723);  // 2026-01-01 01:02:03 UTC
    standin::win::SetUtcOffset(0);
    const struct {
        const char* culture;
        const char* section;
        const char* dataCfg;
        std::vector<std::string> names;
        bool adminCopy;
    } cases[] = {
        {"de-DE", "12", "AdminMode=TRUE\n",
         {"Vindle", "XMLEncoding", "QnADisplayType", "XmlContent", "target_system", "ArtikelNr", "pgid", "cul",
          "mandant"},
         false},
        {"", "A", "AdminMode=true\n",
         {"Vindle", "XMLEncoding", "QnADisplayType", "XmlContent", "target_system", "ArtikelNr", "pgid"},
         true},
    };
    const boost::filesystem::path copy = TempFolder() / "ModifyElement_20260101010203.xml";
    std::size_t posted = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.section);
        boost::filesystem::remove(copy);
        WriteFile(AddOnFolder() / "data.cfg", c.dataCfg);
        const GS::Guid guid = PlaceSelectedProduct(Units(LibraryUrl()), Units(c.culture), Units(c.section));
        dg::User(ids::Browser::Dialog).Then(dg::WaitForPage(ids::Browser::Dialog, ids::Browser::Page)).CloseBox();
        dg::User(ids::Toolbar::Dialog).Click(ids::Toolbar::Modify);
        Act();

        const auto posts = ConfiguratorPosts();
        ASSERT_EQ(posts.size(), ++posted);
        std::vector<std::string> names;
        for (const auto& [name, value] : posts.back())
            names.push_back(name);
        EXPECT_EQ(names, c.names);
        EXPECT_EQ(Elements().Element(guid)->LibIndex(), 0);
        EXPECT_TRUE(Elements().UndoSteps().empty());
        ASSERT_EQ(boost::filesystem::exists(copy), c.adminCopy);
        if (c.adminCopy) {
            EXPECT_EQ(ReadFile(copy), Base64Decode(posts.back()[3].second));
        }
    }
    EXPECT_TRUE(Report().Lines().empty()) << ::testing::PrintToString(Report().Lines());
    standin::win::SetClock(std::nullopt);
    standin::win::SetUtcOffset(std::nullopt);
}

// The form's texts arrive as the placed product holds them, beyond ASCII too (read
// as the host's default code, the page would post them changed).
TEST_F(BrowserDialogTest, ModifyProductPostsTextsBeyondAsciiUnchanged)
{
    const GS::Guid guid =
        PlaceSelectedProduct(Units(LibraryUrl()), u"de-AT", u"S\u00fcd", u"T\u00fcren & Tore \u20ac \U0001F6AA");
    dg::User(ids::Browser::Dialog).Then(dg::WaitForPage(ids::Browser::Dialog, ids::Browser::Page)).CloseBox();
    dg::User(ids::Toolbar::Dialog).Click(ids::Toolbar::Modify);
    Act();
    const auto posts = ConfiguratorPosts();
    ASSERT_EQ(posts.size(), 1u);
    const std::map<std::string, std::string> fields(posts[0].begin(), posts[0].end());
    EXPECT_EQ(fields.at("pgid"), "T\xC3\xBCren & Tore \xE2\x82\xAC \xF0\x9F\x9A\xAA");
    EXPECT_EQ(fields.at("mandant"), "S\xC3\xBC" "d");
    EXPECT_EQ(fields.at("cul"), "de-AT");
    EXPECT_EQ(fields.at("ArtikelNr"), "D-1");
    EXPECT_EQ(Elements().Element(guid)->LibIndex(), 0);
    EXPECT_TRUE(Report().Lines().empty()) << ::testing::PrintToString(Report().Lines());
}

// The check of the stored base URL, after its conversion to UTF-8.
TEST(ConfiguratorBaseUrlTest, HttpOrHttpsInAnyCaseAndUtf8)
{
    const std::pair<const char*, bool> cases[] = {
        {"https://catalogue.example/", true},
        {"http://catalogue.example/", true},
        {"HTTPS://catalogue.example/", true},
        {"Http://catalogue.example/", true},
        {"https://caf\xC3\xA9.example/", true},
        {"https://\xC5\x81odz.example/", true},
        {"ftp://catalogue.example/", false},
        {"https:/catalogue.example/", false},
        {"catalogue.example/", false},
        {"javascript:alert(1)//", false},
        {"", false},
        {"https://caf\xE9.example/", false},  // Latin-1, no UTF-8
    };
    for (const auto& [url, accepted] : cases)
        EXPECT_EQ(IsConfiguratorBaseUrl(url), accepted) << url;
}

TEST_F(BrowserDialogTest, ModifyProductRefusesABaseUrlTheConfiguratorCannotBeReachedAt)
{
    // The last one holds a lone surrogate, which names no character.
    const std::u16string urls[] = {u"ftp://catalogue.example/", u"catalogue.example/", u"javascript:alert(1)//",
                                   u"https://catalogue.example/\xD800/"};
    for (const std::u16string& url : urls) {
        SCOPED_TRACE(std::string(url.begin(), url.end()));
        const GS::Guid guid = PlaceSelectedProduct(url, u"en-GB", u"12");
        ASSERT_TRUE(dg::FindItem(ids::Toolbar::Dialog, ids::Toolbar::Modify)->enabled);
        const std::size_t alerts = Report().Alerts().size();
        dg::User(ids::Toolbar::Dialog).Click(ids::Toolbar::Modify);
        Act();
        ASSERT_EQ(Report().Alerts().size(), alerts + 1);
        EXPECT_EQ(Report().Alerts().back(), WrongSelection);
        EXPECT_EQ(Elements().Element(guid)->LibIndex(), 0);
    }
    EXPECT_EQ(Count("open " + Named(ids::Browser::Dialog)), 0);
    EXPECT_TRUE(ConfiguratorPosts().empty());
    EXPECT_FALSE(toolbarController.browserDialogOpen.load());
}

// A configuration value the start options cannot carry is no configuration to send.
TEST_F(BrowserDialogTest, ModifyProductRefusesAConfigurationValueXmlCannotCarry)
{
    PartParameter config;
    config.name = "tv_config_params";
    config.tableFlag = HostInterface::ParamIsTable;
    config.rows = 1;
    config.columns = 2;
    config.cells = {u"Width", u"900\uFFFF"};
    const GS::Guid guid = Elements().Place(
        HostInterface::ElemDoor, 0, 1, 2,
        {Text("tv_base_url", Units(LibraryUrl())), Text("tv_catalog_productid", u"D-1"), config});
    Elements().Select({guid});
    OpenPalette();
    ASSERT_TRUE(dg::FindItem(ids::Toolbar::Dialog, ids::Toolbar::Modify)->enabled);
    dg::User(ids::Toolbar::Dialog).Click(ids::Toolbar::Modify);
    Act();
    EXPECT_EQ(Report().Alerts(), std::vector<std::string>{WrongSelection});
    EXPECT_EQ(Count("open " + Named(ids::Browser::Dialog)), 0);
    EXPECT_TRUE(ConfiguratorPosts().empty());
    EXPECT_EQ(Elements().Element(guid)->LibIndex(), 0);
}

// The user cancels a download whose CAD data stalls or never ends and at once adds
// the next product, with files of the same names: the next one becomes its part.
TEST_F(BrowserDialogTest, AfterACancelledStalledOrEndlessDownloadTheNextProductBecomesItsPart)
{
    Deployment patient = CurrentDeployment();
    patient.stallTime = std::chrono::seconds(600);
    patient.maxZipBytes = std::uint64_t{1} << 40;
    const ScopedDeployment scoped(patient);
    MisbehavingServer misbehaving;
    ServeDoorProduct();
    Server().AddSemaphore("/products/door/now", 0);
    OpenPalette();
    for (const auto way : {MisbehavingServer::Way::StallAfterHeaders, MisbehavingServer::Way::EndlessChunked}) {
        const char* what = MisbehavingServer::Name(way);
        const std::string name = std::string("Door after ") + what;
        std::string first = ProductJson("doors-classic", "/products/door/now");
        const std::string model = Server().Url("/products/door/model.xml");
        first.replace(first.find(model), model.size(), misbehaving.Url(way, "model.xml"));
        const int requests = misbehaving.Requests();
        auto script = dg::User(ids::Browser::Dialog);
        script.Then(dg::WaitForPage(ids::Browser::Dialog, ids::Browser::Page))
            .Do("the page hands over the first product",
                [&] { ASSERT_TRUE(standin::win::SetClipboardBytes(Message(first))); })
            .Wait("its CAD data is asked for", [&] { return misbehaving.Requests() > requests; })
            .Click(ids::Browser::Cancel);
        AddProduct(script, "D-1");
        dg::User(ids::LibpartName::Dialog).Type(ids::LibpartName::Edit, name).Click(ids::LibpartName::Ok);
        ClickLibraryButton();

        const auto part = Store().FindByName(name);
        ASSERT_TRUE(part) << what << ::testing::PrintToString(Report().Lines());
        EXPECT_EQ(part->Parameter("tv_catalog_productid")->text, u"D-1") << what;
        EXPECT_TRUE(Report().Lines().empty()) << what << ::testing::PrintToString(Report().Lines());
    }
    EXPECT_EQ(Store().Parts().size(), 2u);
}

}  // namespace
}  // namespace tarvel::testing
