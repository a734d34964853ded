// The loopback catalogue's pages as the browser stand-in shows them, read by the
// add-on's own message, download and data-sheet code: the catalogue page, the product
// pages and their messages, and the configurator's handler page.
#include "BrowserEngine.hpp"
#include "CatalogueContent.hpp"
#include "TransferFixture.hpp"
#include "dialogs/AutoSubmitPage.hpp"
#include "libparts/ConfiguratorParams.hpp"
#include "libparts/ProductDataSheet.hpp"
#include "ostrel/Text.hpp"
#include "transfer/ClipboardMessage.hpp"
#include "transfer/Download.hpp"

#include <httplib.h>
#include <pugixml.hpp>

#include <fstream>
#include <iterator>

namespace tarvel::testing {
namespace {

using namespace std::chrono_literals;
using standin::browser::BrowserEngine;
using standin::browser::LoadState;
using Rows = std::vector<std::pair<std::string, std::string>>;

// What a product's artifacts say once downloaded.
struct Delivered {
    std::string catalogName;
    std::vector<std::string> fileTypes;
    Rows configuration;  // of the CAD data
    std::wstring name, productId, group, modelFile, section, culture;
    std::string subtype;
    double holeWidth = 0, holeHeight = 0;
};

class Catalogue : public TransferFixture {
protected:
    void SetUp() override
    {
        TransferFixture::SetUp();
        ASSERT_TRUE(standin::win::ClearClipboard());
        server.emplace();
        standin::services::AddCatalogue(*server, catalogue());
    }
    void TearDown() override
    {
        engine.reset();
        server.reset();
        TransferFixture::TearDown();
    }
    // The content served; tests change it before SetUp serves it.
    virtual standin::services::StandardCatalogue catalogue()
    {
        return standin::services::MakeStandardCatalogue(*server);
    }

    void Show(const std::string& url)
    {
        engine->LoadURL(url);
        ASSERT_EQ(engine->WaitForLoad(10s), LoadState::Done) << engine->Error();
    }
    void Follow(const std::string& id)
    {
        ASSERT_EQ(engine->FollowLink(id), "");
        ASSERT_EQ(engine->WaitForLoad(10s), LoadState::Done) << engine->Error();
    }

    // Presses "add to project" and takes the message as the add-on does: from the
    // clipboard, decoded, parsed, its artifacts downloaded and read.
    Delivered AddToProject()
    {
        Delivered delivered;
        EXPECT_EQ(engine->Press("add-to-project"), "");
        std::string payload;
        EXPECT_TRUE(ReadClipboardMessage(nullptr, payload));
        CatalogueArtifacts artifacts;
        EXPECT_TRUE(ParseArtifactsMessage(Base64Decode(payload), artifacts, delivered.catalogName));
        delivered.fileTypes = artifacts.fileTypes;
        RecordingView view;
        artifacts.view = &view;
        DownloadJob job(artifacts);
        EXPECT_EQ(RunArtifactsDownload(job), DownloadEnd::Finished);
        const auto done = job.FinishedArtifacts();
        if (!done)
            return delivered;
        for (std::size_t i = 0; i < done->fileTypes.size(); ++i) {
            const std::string& path = done->localPaths[i];
            if (done->fileTypes[i] == kCadFile) {
                pugi::xml_document cad;
                EXPECT_TRUE(cad.load_file(ostrel::Utf8StringToPath(path).c_str())) << path;
                for (const auto& node : cad.select_nodes("/geom/tvConfiguration/configParams/configPos"))
                    delivered.configuration.emplace_back(node.node().attribute("name").value(),
                                                         node.node().attribute("value").value());
            } else if (done->fileTypes[i] == kProductDataSheet) {
                std::string holeType;
                std::vector<ParamGroup> groups;
                EXPECT_TRUE(ParseProductDataSheet(path, delivered.name, delivered.subtype, delivered.productId,
                                                  delivered.group, delivered.modelFile, delivered.section,
                                                  delivered.culture, holeType, delivered.holeWidth,
                                                  delivered.holeHeight, groups));
            }
        }
        return delivered;
    }

    std::optional<CatalogueServer> server;
    std::optional<BrowserEngine> engine{std::in_place};
};

TEST_F(Catalogue, ACataloguePageLeadsToAProductWhoseMessageDeliversIt)
{
    Show(server->Url("/catalogue/doors-classic/?target_system=archicad"));
    EXPECT_EQ(engine->Title(), "Classic Doors");
    EXPECT_EQ(engine->ElementIds(), (std::vector<std::string>{"products", "product-D-1", "product-D-2", "product-C-1"}));
    Follow("product-D-1");
    EXPECT_EQ(engine->Url(), server->Url("/catalogue/doors-classic/products/D-1.html"));
    EXPECT_EQ(engine->Title(), "Classic Door - Classic Doors");
    EXPECT_EQ(engine->FindElement("add-to-project")->Attribute("onclick"),
              "navigator.clipboard.writeText(this.dataset.clipboard)");

    const Delivered door = AddToProject();
    EXPECT_EQ(door.catalogName, "doors-classic");
    EXPECT_EQ(door.fileTypes, (std::vector<std::string>{kSemaphoreFile, kCadFile, kAttributeFile, kProductDataSheet}));
    EXPECT_EQ(server->CallCount("/catalogue/doors-classic/callback"), 1);
    // The semaphore was not ready at first.
    EXPECT_EQ(server->CallCount("/catalogue/doors-classic/products/D-1/ready"), 2);
    EXPECT_EQ(door.configuration, (Rows{{"width", "900"}, {"height", "2100"}, {"leaf", "oak veneer"}}));
    EXPECT_EQ(door.name, L"Classic Door");
    EXPECT_EQ(door.subtype, "{11E85B84-8DD1-491B-A2FE-337454A91545}");
    EXPECT_EQ(door.productId, L"D-1");
    EXPECT_EQ(door.group, L"Doors");
    EXPECT_EQ(door.modelFile, L"classic-door.tvm");
    EXPECT_EQ(door.section, L"12");
    EXPECT_EQ(door.culture, L"en-GB");
    EXPECT_EQ(door.holeWidth, 900);
    EXPECT_EQ(door.holeHeight, 2100);

    // Back to the catalogue and on to the object, which names no subtype.
    Follow("catalogue");
    EXPECT_EQ(engine->Url(), server->Url("/catalogue/doors-classic/"));
    Follow("product-C-1");
    const Delivered cabinet = AddToProject();
    EXPECT_EQ(cabinet.name, L"Hall Cabinet");
    EXPECT_EQ(cabinet.subtype, "");
    EXPECT_EQ(cabinet.configuration, (Rows{{"width", "160"}, {"doors", "2"}}));
}

TEST_F(Catalogue, EveryLibraryHasItsPagesAndEveryProductItsArtifacts)
{
    const auto content = catalogue();
    for (const auto* customers : {&content.customers, &content.nordicCustomers}) {
        for (const auto& customer : *customers) {
            for (const auto& library : customer.libraries) {
                Show(library.baseUrl + "?target_system=archicad");
                for (const auto& product : content.products.at(library.id)) {
                    SCOPED_TRACE(library.id + " " + product.id);
                    Show(library.baseUrl);
                    Follow("product-" + product.id);
                    const Delivered delivered = AddToProject();
                    EXPECT_EQ(delivered.catalogName, library.id);
                    EXPECT_EQ(delivered.fileTypes.size(), 4u);
                    EXPECT_EQ(delivered.name, ostrel::Utf8ToWString(product.name));
                    EXPECT_EQ(delivered.subtype, product.subtypeGid);
                    EXPECT_FALSE(delivered.configuration.empty());
                }
            }
        }
    }
}

// The form "Modify product" posts for a placed product with this configuration.
Rows ModifyFields(const std::string& productId, const Rows& configuration, bool cultureAndSection)
{
    std::string xml = "<StartOptions><gui><common><guiLanguage value=\"en-GB\" /><action value=\"show\" />"
                      "<startType value=\"5\" /></common><part nLang=\"en-GB\" model=\"classic-door.tvm\">"
                      "<paramList order=\"false\">";
    for (const auto& [name, value] : configuration)
        xml += "<param name=\"" + XmlEscape(name) + "\" value=\"" + XmlEscape(value) + "\" />";
    xml += "</paramList></part></gui></StartOptions>";
    Rows fields{{"Vindle", "2"},          {"XMLEncoding", "Base64"}, {"QnADisplayType", "0"},
                {"XmlContent", Base64Encode(xml)}, {"target_system", "archicad"}, {"ArtikelNr", productId},
                {"pgid", "Doors & Frames"}};
    if (cultureAndSection) {
        fields.emplace_back("cul", "fr-FR");
        fields.emplace_back("mandant", "44");
    }
    return fields;
}

// The user's own CAD data and data sheet served as a product's artifacts: the data
// sheet's product id names the product, taking the place of the one that had it.
class OwnArtifacts : public Catalogue {
protected:
    standin::services::StandardCatalogue catalogue() override
    {
        auto content = Catalogue::catalogue();
        std::ifstream in(std::string(TARVEL_EXAMPLES_DIR) + "/cabinet.xml", std::ios::binary);
        const std::string cad((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        productId = standin::services::UseOwnArtifacts(content, "doors-classic", "D-1", cad, kSheet);
        return content;
    }

    static constexpr const char* kSheet =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<ProductDataSheet target=\"ARCHICAD\"><AdditionalInformation>"
        "<Parameter id=\"archicad_productattr\" value=\"My Door\"/>"
        "<Parameter id=\"archicad_subtype_gid\" value=\"{11E85B84-8DD1-491B-A2FE-337454A91545}\"/>"
        "<Parameter id=\"catalog_productid\" value=\"D-2\"/>"
        "<Parameter id=\"catalog_productgroup\" value=\"Mine\"/>"
        "</AdditionalInformation></ProductDataSheet>";
    std::string productId;
};

TEST_F(OwnArtifacts, TheProductDeliversTheUsersFilesUnderTheDataSheetsProductId)
{
    EXPECT_EQ(productId, "D-2");
    Show(server->Url("/catalogue/doors-classic/"));
    EXPECT_EQ(engine->ElementIds(), (std::vector<std::string>{"products", "product-D-2", "product-C-1"}));
    Follow("product-D-2");
    const Delivered mine = AddToProject();
    EXPECT_EQ(mine.name, L"My Door");
    EXPECT_EQ(mine.productId, L"D-2");
    EXPECT_EQ(mine.group, L"Mine");
    EXPECT_EQ(mine.configuration, (Rows{{"width", "160"}, {"doors", "2"}}));

    // The configurator knows it by that id and answers with the same files.
    engine->LoadHTML(dialogs::BuildAutoSubmitPage(server->Url("/catalogue/doors-classic/tvHandler.aspx"),
                                                  ModifyFields("D-2", {{"doors", "3"}}, false)));
    ASSERT_EQ(engine->WaitForLoad(10s), LoadState::Done) << engine->Error();
    const Delivered configured = AddToProject();
    EXPECT_EQ(configured.name, L"My Door");
    EXPECT_EQ(configured.configuration, (Rows{{"width", "160"}, {"doors", "3"}}));
}

TEST(OwnArtifactsOf, AProductTheCatalogueLacksIsRefused)
{
    CatalogueServer server;
    auto content = standin::services::MakeStandardCatalogue(server);
    EXPECT_THROW(standin::services::UseOwnArtifacts(content, "nowhere", "D-1", "<geom/>", ""), std::invalid_argument);
    EXPECT_THROW(standin::services::UseOwnArtifacts(content, "doors-classic", "X-1", "<geom/>", ""),
                 std::invalid_argument);
    // A data sheet without a product id keeps the product's own.
    EXPECT_EQ(standin::services::UseOwnArtifacts(content, "doors-classic", "D-1", "", "<ProductDataSheet/>"), "D-1");
}

// The runner's judgement of a user's data sheet against the add-on's own reading of the
// same bytes: what the add-on cannot read is named, and the name the runner gives the
// product is the one the add-on reads.
class UsersDataSheet : public HostFixture {
protected:
    static std::string Utf16(const std::string& ascii, bool little)
    {
        std::string out;
        for (char c : ascii)
            out += little ? std::string{c, '\0'} : std::string{'\0', c};
        return out;
    }
};

TEST_F(UsersDataSheet, IsJudgedAsTheAddOnReadsIt)
{
    const auto sheet = [](const std::string& name) {
        return "<ProductDataSheet target=\"ARCHICAD\"><AdditionalInformation><Parameter id=\"archicad_productattr\" "
               "value=\"" +
               name + "\"/></AdditionalInformation></ProductDataSheet>";
    };
    const std::string marked16 = "\xFF\xFE" + Utf16(sheet("Door"), true);
    struct Case {
        const char* what;
        std::string bytes;
        bool addOnReads;
        const char* problem;  // the start of what the runner says; empty: nothing
        std::string name;     // the product name both read
    } cases[] = {
        {"UTF-8", "<?xml version=\"1.0\" encoding=\"utf-8\"?>" + sheet("T\xC3\xBCr"), true, "", "T\xC3\xBCr"},
        {"UTF-8 with its mark", "\xEF\xBB\xBF" + sheet("T\xC3\xBCr"), true, "", "T\xC3\xBCr"},
        {"Latin-1, declared", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>" + sheet("T\xFCr"), true, "",
         "T\xC3\xBCr"},
        {"Latin-1, undeclared", sheet("T\xFCr"), true, "", "T\xC3\xBCr"},
        {"UTF-16 with its mark", marked16, true, "", "Door"},
        {"UTF-16 big-endian with its mark", "\xFE\xFF" + Utf16(sheet("Door"), false), true, "", "Door"},
        {"UTF-16 without its mark", Utf16(sheet("Door"), true), false, "it is UTF-16 without a byte-order mark", ""},
        {"UTF-16 big-endian without its mark", Utf16(sheet("Door"), false), false,
         "it is UTF-16 without a byte-order mark", ""},
        {"UTF-16 cut within a unit", marked16.substr(0, marked16.size() - 1), false, "it is UTF-16 cut off", ""},
        {"a picture", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16), false, "it is no well-formed XML", ""},
        {"cut short", sheet("Door").substr(0, 40), false, "it is no well-formed XML", ""},
        {"another root", "<Sheet/>", true, "its root element is <Sheet>", ""},
        {"another target", "<ProductDataSheet target=\"REVIT\"/>", true, "its <ProductDataSheet> has the target", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto path = Temp().Path() / "sheet.xml";
        WriteFile(path, c.bytes);
        std::wstring name, id, group, model, section, culture;
        std::string subtype, holeType;
        double width = 0, height = 0;
        std::vector<ParamGroup> groups;
        EXPECT_EQ(ParseProductDataSheet(path.string(), name, subtype, id, group, model, section, culture, holeType,
                                        width, height, groups),
                  c.addOnReads);
        const std::string problem = standin::services::DataSheetProblem(c.bytes);
        EXPECT_EQ(problem.substr(0, std::string(c.problem).size()), c.problem) << problem;
        EXPECT_EQ(problem.empty(), std::string(c.problem).empty()) << problem;
        EXPECT_EQ(standin::services::DataSheetValue(c.bytes, "archicad_productattr"), c.name);
        EXPECT_EQ(ostrel::WStringToUtf8(name), c.name);
    }
}

// Pages go out as they are, whatever the client accepts: compressing a page of a large
// configuration would take the web library seconds.
TEST_F(Catalogue, AnswersUncompressedWhateverTheClientAccepts)
{
    httplib::Client client("127.0.0.1", server->Port());
    client.set_decompress(false);
    const httplib::Headers accepts{{"Accept-Encoding", "br, gzip, deflate"}};
    for (const auto& [path, status] : {std::pair{"/catalogue/doors-classic/products/D-1.html", 200},
                                       std::pair{"/catalogue/doors-classic/products/D-1/model.xml", 200},
                                       std::pair{"/catalogue/doors-classic/products/X-9.html", 404},
                                       std::pair{"/catalogue/doors-classic/tvHandler.aspx", 405}}) {
        const auto answer = client.Get(path, accepts);
        ASSERT_TRUE(answer) << path;
        EXPECT_EQ(answer->status, status) << path;
        EXPECT_FALSE(answer->has_header("Content-Encoding")) << path;
        EXPECT_EQ(answer->get_header_value_count("Content-Type"), 1u) << path;
        EXPECT_EQ(answer->get_header_value("Content-Length"), std::to_string(answer->body.size())) << path;
    }
    const auto page = client.Get("/catalogue/doors-classic/products/D-1.html", accepts);
    ASSERT_TRUE(page);
    EXPECT_EQ(page->get_header_value("Content-Type"), "text/html; charset=utf-8");
    EXPECT_NE(page->body.find("id=\"add-to-project\""), std::string::npos);
}

// The configurator's bound is above the form of start options as large as the largest
// CAD data the add-on downloads: in Base64, where about one character in 32 is a '+'
// or '/' that the form encodes in three bytes.
TEST(ConfiguratorBound, TakesTheFormOfTheLargestCadData)
{
    const std::uint64_t base64 = (Deployment{}.maxZipBytes + 2) / 3 * 4;
    EXPECT_GE(standin::services::kLargestForm, base64 + base64 / 16);
}

class Configurator : public Catalogue {
protected:
    standin::services::StandardCatalogue catalogue() override
    {
        auto content = Catalogue::catalogue();
        // The user makes the door wider in the configurator.
        content.configuratorChoice = [](const std::string& productId, Rows& rows) {
            for (auto& [name, value] : rows)
                if (productId == "D-1" && name == "width")
                    value = "1400";
        };
        return content;
    }

    void Post(const Rows& fields)
    {
        engine->LoadHTML(dialogs::BuildAutoSubmitPage(server->Url("/catalogue/doors-classic/tvHandler.aspx"), fields));
        ASSERT_EQ(engine->WaitForLoad(10s), LoadState::Done) << engine->Error();
    }
};

TEST_F(Configurator, AnswersAPostedConfigurationWithItsProductPage)
{
    const Rows placed{{"width", "900"}, {"height", "2100"}, {"leaf", "oak \"natural\" & <oiled>"}};
    for (bool cultureAndSection : {true, false}) {
        SCOPED_TRACE(cultureAndSection ? "nine fields" : "seven fields");
        const Rows fields = ModifyFields("D-1", placed, cultureAndSection);
        Post(fields);
        EXPECT_EQ(engine->Title(), "Classic Door - Classic Doors");
        const auto requests = server->Requests();
        ASSERT_FALSE(requests.empty());
        EXPECT_EQ(requests.back().method, "POST");
        EXPECT_EQ(requests.back().path, "/catalogue/doors-classic/tvHandler.aspx");
        EXPECT_EQ(standin::services::FormFields(requests.back().body), fields);

        const Delivered door = AddToProject();
        EXPECT_EQ(door.catalogName, "doors-classic");
        EXPECT_EQ(door.configuration, (Rows{{"width", "1400"}, placed[1], placed[2]}));
        EXPECT_EQ(door.productId, L"D-1");
        EXPECT_EQ(door.group, L"Doors & Frames");
        EXPECT_EQ(door.culture, cultureAndSection ? L"fr-FR" : L"en-GB");
        EXPECT_EQ(door.section, cultureAndSection ? L"44" : L"12");
        EXPECT_EQ(door.name, L"Classic Door");
    }
    // Each post is a configuration of its own.
    EXPECT_EQ(server->CallCount("/catalogue/doors-classic/configured/1/model.xml"), 1);
    EXPECT_EQ(server->CallCount("/catalogue/doors-classic/configured/2/model.xml"), 1);
}

TEST_F(Configurator, RefusesWhatIsNoConfiguratorForm)
{
    auto form = [](const Rows& fields) {
        std::string body;
        for (const auto& [name, value] : fields)
            body += (body.empty() ? "" : "&") + standin::browser::FormUrlEncode(name) + "=" +
                    standin::browser::FormUrlEncode(value);
        return body;
    };
    Rows unknown = ModifyFields("X-9", {}, true);
    Rows broken = ModifyFields("D-1", {}, true);
    broken[3].second = "!!!!";
    Rows noXml = ModifyFields("D-1", {}, true);
    noXml.erase(noXml.begin() + 3);
    // The start options with this value of a width row, as bytes.
    const auto withValue = [](const std::string& value) {
        Rows fields = ModifyFields("D-1", {}, false);
        std::string xml = Base64Decode(fields[3].second);
        xml.insert(xml.find("</paramList>"), "<param name=\"width\" value=\"" + value + "\" />");
        fields[3].second = Base64Encode(xml);
        return fields;
    };
    Rows illFormed = ModifyFields("D-1", {}, false);
    illFormed[3].second = Base64Encode("<StartOptions><gui><part model=\"m\"></gui></StartOptions>");
    struct Case {
        const char* what;
        const char* contentType;
        std::string body;
        int status;
    } cases[] = {
        {"a plain text form", "text/plain", "Vindle=2", 415},
        {"no configuration", "application/x-www-form-urlencoded", form(noXml), 400},
        {"configuration that is no Base64", "application/x-www-form-urlencoded", form(broken), 400},
        {"an unknown product", "application/x-www-form-urlencoded", form(unknown), 404},
        {"ill-formed XML", "application/x-www-form-urlencoded", form(illFormed), 400},
        {"a Latin-1 byte", "application/x-www-form-urlencoded", form(withValue("Oberfl\xE4" "che")), 400},
        {"a NUL byte", "application/x-www-form-urlencoded", form(withValue(std::string("1\0" "2", 3))), 400},
        {"a control byte", "application/x-www-form-urlencoded", form(withValue("a\x13" "b")), 400},
        {"an encoded surrogate", "application/x-www-form-urlencoded", form(withValue("\xED\xA0\xBD")), 400},
        {"an overlong form", "application/x-www-form-urlencoded", form(withValue("\xC0\xAF")), 400},
        {"a sequence cut short", "application/x-www-form-urlencoded", form(withValue("\xE2\x82")), 400},
        {"UTF-8 beyond ASCII", "application/x-www-form-urlencoded",
         form(withValue("\xC3\xA9 \xE2\x82\xAC \xC5\x81 Oberfl\xC3\xA4" "che \xF0\x9F\x98\x80")), 200},
        {"the configurator's form", "application/x-www-form-urlencoded", form(ModifyFields("D-1", {}, false)), 200},
        // Far beyond the web library's own bound for forms (8 KB).
        {"a configuration of 12 KB", "application/x-www-form-urlencoded",
         form(withValue(std::string(6 * 1024, 'x') + std::string(6 * 1024, 'y'))), 200},
        {"a form beyond the server's bound", "application/x-www-form-urlencoded", std::string(256 * 1024 + 1, 'x'),
         413},
    };
    server->SetLargestForm(256 * 1024);
    httplib::Client client("127.0.0.1", server->Port());
    for (const Case& c : cases) {
        const auto answer = client.Post("/catalogue/doors-classic/tvHandler.aspx", c.body, c.contentType);
        ASSERT_TRUE(answer) << c.what;
        EXPECT_EQ(answer->status, c.status) << c.what;
    }
    // A refusal is recorded with its status and what it said, for the runner to name.
    const auto requests = server->Requests();
    ASSERT_GE(requests.size(), 2u);
    EXPECT_EQ(requests.back().status, 413);
    EXPECT_NE(requests.back().answer.find("larger than 256 KB"), std::string::npos) << requests.back().answer;
    EXPECT_EQ(requests[requests.size() - 2].status, 200);
    EXPECT_EQ(requests.front().status, 415);
    EXPECT_NE(requests.front().answer.find("application/x-www-form-urlencoded"), std::string::npos);
    // The latest requests alone, without their bodies, as the runner looks at them.
    const auto latest = server->Requests(requests.size() - 2, false);
    ASSERT_EQ(latest.size(), 2u);
    EXPECT_EQ(latest[0].status, 200);
    EXPECT_EQ(latest[1].status, 413);
    EXPECT_EQ(latest[1].path, "/catalogue/doors-classic/tvHandler.aspx");
    EXPECT_TRUE(latest[0].body.empty());
    const auto get = client.Get("/catalogue/doors-classic/tvHandler.aspx");
    ASSERT_TRUE(get);
    EXPECT_EQ(get->status, 405);
}

}  // namespace
}  // namespace tarvel::testing
