// The product road without network: downloaded artifacts in the Temp folder become a
// saved library part with its tool selected, the part is placed, read back for the
// configurator, replaced by a second part as one undo step, and the undo restores it.
#include "ModelFixture.hpp"

#include "Main/Globals.hpp"
#include "db/GdlGeneration.hpp"
#include "db/TarvelDB.hpp"
#include "libparts/ConfiguratorParams.hpp"
#include "libparts/ElementReplacement.hpp"
#include "libparts/LibPartFromArtifacts.hpp"
#include "ostrel/Text.hpp"
#include "ostrel/interop/Interop.hpp"

#include <boost/filesystem/operations.hpp>

#include <cstring>
#include <functional>

namespace {

using namespace HostInterface;
using tarvel::testing::ReadFile;
using tarvel::testing::WriteFile;

const std::string kDoor = "{11E85B84-8DD1-491B-A2FE-337454A91545}";
const std::string kWindow = "{4ABD0A6E-634B-4931-B3AA-9BEE01F35CDF}";
const std::string kSkylight = "{0E0831DD-3766-4A60-BBE7-19A9537F76E3}";
const std::string kObject = "{103E8D2C-8230-42E1-9597-46F84CCE28C0}";
const std::string kNoGuid = "{00000000-0000-0000-0000-000000000000}";

std::string Sheet(const std::string& productId, const std::string& subtype = kDoor, const std::string& holeType = "")
{
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
           "<ProductDataSheet target=\"ARCHICAD\"><AdditionalInformation>" +
           (holeType.empty() ? std::string() : "<Parameter id=\"archicad_hole_type\" value=\"" + holeType + "\"/>") +
           "<Parameter id=\"archicad_productattr\" value=\"T\xc3\xbcr A/B\"/>"
           "<Parameter id=\"archicad_subtype_gid\" value=\"" +
           subtype +
           "\"/>"
           "<Parameter id=\"catalog_productid\" value=\"" +
           productId +
           "\"/>"
           "<Parameter id=\"catalog_productgroup\" value=\"doors\"/>"
           "<Parameter id=\"catalog_modelfile\" value=\"model&amp;1.xml\"/>"
           "<Parameter id=\"catalog_section\" value=\"12\"/>"
           "<Parameter id=\"catalog_culture\" value=\"de-DE\"/>"
           "<Parameter id=\"archicad_hole_width\" value=\"900\"/>"
           "<Parameter id=\"archicad_hole_height\" value=\"2100\"/>"
           "</AdditionalInformation><ParameterGroups>"
           "<ParamGroup id=\"g1\" name=\"Ma\xc3\x9f\x65\"><Parameter id=\"w\" name=\"Breite\" value=\"900 mm\"/></ParamGroup>"
           "<ParamGroup id=\"g2\"><Parameter id=\"finish\" name=\"Finish\" value=\"oak\"/>"
           "<Parameter id=\"tv_base_url\" name=\"x\" value=\"https://evil/\"/></ParamGroup>"
           "</ParameterGroups></ProductDataSheet>";
}

class EndToEndTest : public tarvel::testing::ModelFixture {
protected:
    void SetUp() override
    {
        ModelFixture::SetUp();
        tarvel::InitializeAddOnGlobals();
        temp_ = ostrel::WStringToPath(tarvel::FullDataPath(tarvel::tempFolder));
        boost::filesystem::copy_file(boost::filesystem::path(TARVEL_EXAMPLES_DIR) / "table.xml", temp_ / "model.xml",
                                     boost::filesystem::copy_options::overwrite_existing);
        WriteFile(temp_ / "model.png", std::string("\x89PNG\r\n\x1a\n-preview", 17));
        WriteFile(temp_ / "sheet.xml", Sheet("P-1"));
    }

    tarvel::CatalogueArtifacts Artifacts(const std::string& sheet = "sheet.xml")
    {
        tarvel::CatalogueArtifacts artifacts;
        artifacts.fileTypes = {"SemaphoreFile", "CadFile", "AttributeFile", "ProductDataSheet"};
        artifacts.sourceUrls = {"https://s/", "https://c/", "https://a/", "https://d/"};
        artifacts.localPaths = {"", (temp_ / "model.xml").string(), (temp_ / "attr.xml").string(),
                                sheet.empty() ? std::string() : (temp_ / sheet).string()};
        return artifacts;
    }

    boost::filesystem::path temp_;
};

TEST_F(EndToEndTest, ArtifactsBecomeAPlacedProductThatIsReplacedAndRestored)
{
    const tarvel::CatalogueArtifacts artifacts = Artifacts();
    const std::wstring name = tarvel::MakeUniqueLibraryPartName(artifacts);
    EXPECT_EQ(name, L"T\u00fcr A_B10");
    const std::int32_t index = tarvel::CreateLibraryPartFromArtifacts(artifacts, name, false, L"https://cat.example/lib/");
    ASSERT_GE(index, 1);

    // The saved part, exactly.
    const auto part = Store().FindByIndex(index);
    ASSERT_TRUE(part);
    EXPECT_EQ(boost::filesystem::path(part->file).parent_path(),
              ostrel::WStringToPath(tarvel::FullDataPath(tarvel::libraryFolder)));
    EXPECT_EQ(part->parentId, kDoor);
    EXPECT_EQ(part->typeCode, LibPartDoor);
    EXPECT_EQ(part->a, 0.9);
    EXPECT_EQ(part->b, 2.1);
    tarvel::TarvelDB database = tarvel::TarvelDB::LoadFromFile((temp_ / "model.xml").string());
    tarvel::GdlWriter writer;
    tarvel::GenerateGdlFromDatabase(database, writer);
    EXPECT_EQ(part->Script(SectMasterScript), writer.GetMasterScript() + "\n");
    EXPECT_EQ(part->Script(Sect2DScript), "mul2 1, -1\nproject2 4, 270, 2\nhotspot2 0, 0\ndel 1\n");
    EXPECT_EQ(part->Script(Sect3DScript), "rotx -90\naddx 0.450000\nmulx -1\n" + writer.GetScript() + "del 3\n\n");
    EXPECT_TRUE(part->Script(SectUIScript).starts_with(
              "UI_DIALOG ''\nUI_PAGE 1, -1, 'Ma\u00dfe'\nUI_STYLE 0, 0\nUI_OUTFIELD 'Breite:', 10, 10, 150, 19\nUI_STYLE 0, 1\n"))
        << part->Script(SectUIScript);
    EXPECT_NE(part->Script(SectUIScript).find("UI_PAGE 2, -1, 'Tarvel\u00ae Information'"), std::string::npos);
    ASSERT_NE(part->Section(SectPreviewPicture), nullptr);
    EXPECT_EQ(part->Section(SectPreviewPicture)->bytes, std::string("image/png\0", 10) + ReadFile(temp_ / "model.png"));
    EXPECT_EQ(part->Section(SectUIPicture), nullptr);  // no interface picture in the Images folder

    std::vector<std::string> names;
    for (const auto& p : part->parameters)
        names.push_back(p.name);
    EXPECT_EQ(names, (std::vector<std::string>{"finish", "tv_base_url", "tv_catalog_productid", "tv_catalog_productgroup",
                                               "tv_catalog_modelfile", "tv_catalog_section", "tv_catalog_culture",
                                               "tv_config_params"}));
    EXPECT_EQ(part->Parameter("tv_base_url")->text, u"https://cat.example/lib/");
    EXPECT_EQ(part->Parameter("tv_catalog_productid")->text, u"P-1");
    const auto* config = part->Parameter("tv_config_params");
    ASSERT_TRUE(config->IsTable());
    ASSERT_EQ(static_cast<std::size_t>(config->rows), database.configParams.size());
    EXPECT_EQ(config->columns, 2);
    EXPECT_EQ(config->Rows()[0],
              (std::vector<std::u16string>{ostrel::ac::interop::ToUniString(database.configParams[0]->name).Units(),
                                           ostrel::ac::interop::ToUniString(database.configParams[0]->value).Units()}));

    // The library folder is active and the door tool holds the part.
    EXPECT_EQ(Store().ActiveLibraries().size(), 1u);
    EXPECT_EQ(Tools().ActiveTool(), ElemDoor);
    EXPECT_EQ(Tools().Defaults(ElemDoor).openingLibIndex, index);
    EXPECT_EQ(Tools().Defaults(ElemDoor).a, 0.9);
    EXPECT_EQ(Tools().Defaults(ElemDoor).b, 2.1);

    // Placed and selected, it is read back for the configurator.
    const GS::Guid guid = Elements().PlacePart(ElemDoor, index);
    Elements().Select({guid});
    std::string url, xml, productId, group, section, culture;
    ASSERT_TRUE(tarvel::ReadSelectedProductParameters(url, xml, productId, group, section, culture));
    EXPECT_EQ(url, "https://cat.example/lib/");
    EXPECT_EQ(productId, "P-1");
    EXPECT_EQ(group, "doors");
    EXPECT_EQ(section, "12");
    EXPECT_EQ(culture, "de-DE");
    EXPECT_NE(xml.find("model=\"model&amp;1.xml\"><paramList order=\"false\"><param name=\""), std::string::npos) << xml;

    // A second configuration, made in modify mode, replaces the part as one undo step.
    WriteFile(temp_ / "sheet2.xml", Sheet("P-2"));
    const std::int32_t second =
        tarvel::CreateLibraryPartFromArtifacts(Artifacts("sheet2.xml"), L"Second", true, L"https://cat.example/lib/");
    ASSERT_GT(second, index);
    EXPECT_EQ(Tools().Defaults(ElemDoor).openingLibIndex, index);  // modify mode leaves the tool
    const auto before = *Elements().Element(guid);
    tarvel::ReplaceSelectedElementLibPart(second);
    const auto after = *Elements().Element(guid);
    EXPECT_EQ(after.LibIndex(), second);
    EXPECT_EQ(after.Parameter("tv_catalog_productid")->text, u"P-2");
    EXPECT_EQ(Elements().UndoSteps(), std::vector<std::string>{"Tarvel Modify Element"});
    ASSERT_TRUE(Elements().Undo());
    const auto undone = *Elements().Element(guid);
    EXPECT_EQ(std::memcmp(&undone.record, &before.record, sizeof before.record), 0);
    EXPECT_EQ(undone.parameters, before.parameters);
    EXPECT_EQ(LeakedHandles(), 0);

    // A later host finds both parts again and proposes past the first name.
    Start({ostrel::WStringToUtf8(tarvel::FullDataPath(tarvel::libraryFolder))});
    EXPECT_TRUE(Store().FindByName(u"Second"));
    EXPECT_EQ(tarvel::MakeUniqueLibraryPartName(artifacts), L"T\u00fcr A_B11");
}

TEST_F(EndToEndTest, WithoutADataSheetAnObjectWithTheCatalogueParameters)
{
    WriteFile(ostrel::WStringToPath(tarvel::FullDataPath(tarvel::imagesFolder)) / "zavidede_cad_de.png", "ui-picture");
    const std::int32_t index = tarvel::CreateLibraryPartFromArtifacts(Artifacts(""), L"Plain", false, L"https://b/");
    ASSERT_GE(index, 1);
    const auto part = Store().FindByIndex(index);
    ASSERT_NE(part->Section(SectUIPicture), nullptr);
    EXPECT_EQ(part->Section(SectUIPicture)->bytes, std::string("image/png\0ui-picture", 20));
    EXPECT_EQ(part->parentId, "{103E8D2C-8230-42E1-9597-46F84CCE28C0}-{00000000-0000-0000-0000-000000000000}");
    EXPECT_EQ(part->typeCode, LibPartObject);
    EXPECT_EQ(part->a, 1.0);
    EXPECT_EQ(part->b, 1.0);
    EXPECT_EQ(part->parameters.size(), 7u);
    EXPECT_EQ(Tools().ActiveTool(), ElemObject);
    EXPECT_EQ(Tools().Defaults(ElemObject).objectLibIndex, index);
    EXPECT_EQ(tarvel::MakeUniqueLibraryPartName(Artifacts("")), L"Tarvel_LibPart10");
}

// The proposal is a name the dialog would take as it stands: no blanks around, no
// control character, never the bare counter.
TEST_F(EndToEndTest, TheProposalMakesThePartNameOfTheDataSheetsName)
{
    struct Case {
        std::string attr;
        std::wstring proposal;
    };
    const Case cases[] = {
        {" Door&#9;X ", L"Door_X10"},
        {"&#10;Fenster Gr\xc3\xb6\xc3\x9f" "e&#13;&#10;", L"Fenster Gr\u00f6\u00df" L"e10"},
        {"   ", L"Tarvel_LibPart10"},
    };
    for (const Case& c : cases) {
        WriteFile(temp_ / "named.xml", "<ProductDataSheet target=\"ARCHICAD\"><AdditionalInformation>"
                                       "<Parameter id=\"archicad_productattr\" value=\"" +
                                           c.attr + "\"/></AdditionalInformation></ProductDataSheet>");
        EXPECT_EQ(tarvel::MakeUniqueLibraryPartName(Artifacts("named.xml")), c.proposal) << c.attr;
    }
}

TEST_F(EndToEndTest, ANewProductSwitchesTheToolOfItsKindWithItsSizes)
{
    struct Case {
        const char* what;
        std::string subtype;
        std::string holeType;
        std::int32_t partType;
        std::int32_t tool;
        double a, b;
    };
    const Case cases[] = {
        {"door", kDoor, "", LibPartDoor, ElemDoor, 0.9, 2.1},
        {"window", kWindow, "", LibPartWindow, ElemWindow, 0.9, 2.1},
        {"round skylight", kSkylight, "CIRCLE", LibPartSkylight, ElemSkylight, 0.9, 0.9},
        {"square skylight", kSkylight, "RECT", LibPartSkylight, ElemSkylight, 0.9, 2.1},
        {"object", kObject, "", LibPartObject, ElemObject, 1.0, 1.0},
        // A window for the tool, but no opening: its sizes stay the part's own.
        {"window of two GUIDs", kWindow + "-" + kNoGuid, "", LibPartWindow, ElemWindow, 1.0, 1.0},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WriteFile(temp_ / "s.xml", Sheet("P", c.subtype, c.holeType));
        const std::int32_t index =
            tarvel::CreateLibraryPartFromArtifacts(Artifacts("s.xml"), L"K" + std::to_wstring(n++), false, L"u/");
        ASSERT_GE(index, 1);
        EXPECT_EQ(Store().FindByIndex(index)->typeCode, c.partType);
        EXPECT_EQ(Tools().ActiveTool(), c.tool);
        const ElementRecord defaults = Tools().Defaults(c.tool);
        const bool object = c.tool == ElemObject;
        EXPECT_EQ(object ? defaults.objectLibIndex : defaults.openingLibIndex, index);
        EXPECT_EQ(object ? defaults.openingLibIndex : defaults.objectLibIndex, 0);
        EXPECT_DOUBLE_EQ(defaults.a, c.a);
        EXPECT_DOUBLE_EQ(defaults.b, c.b);
    }
    // The lamp tool is never a product's.
    EXPECT_EQ(Tools().Defaults(ElemLamp).objectLibIndex, 0);
}

TEST_F(EndToEndTest, ARoundSkylightCutsItsHoleAndCarriesTheEdgeTypes)
{
    WriteFile(temp_ / "s.xml", Sheet("P", kSkylight, "CIRCLE"));
    const std::int32_t index = tarvel::CreateLibraryPartFromArtifacts(Artifacts("s.xml"), L"Sky", false, L"u/");
    ASSERT_GE(index, 1);
    const auto part = Store().FindByIndex(index);
    const std::string script = part->Script(Sect3DScript);
    EXPECT_TRUE(script.starts_with("!------------\nhole_diameter=0.900000\n")) << script;
    EXPECT_NE(script.find("addy (B-hole_diameter)/2\nwallniche 2, 1, 2 + 16,\n\t0, 0, 1, 0,\n"
                          "\t0, hole_diameter/2, 979+16*1,\n\thole_diameter/2, 360, 4079+16*1\ndel 2\n"
                          "!------------\nrotz -90\nroty ac_roofang\naddx -0.450000\n"),
              std::string::npos)
        << script;
    EXPECT_EQ(part->Script(Sect2DScript), "project2 3, 270, 2\nhotspot2 0, 0\n");

    struct Edge {
        const char* name;
        std::u16string description;
    };
    for (const Edge& e : {Edge{"AC_edge_upper_type", u"Upper Edge Type"}, Edge{"AC_edge_lower_type", u"Lower Edge Type"}}) {
        const standin::PartParameter* p = part->Parameter(e.name);
        ASSERT_NE(p, nullptr) << e.name;
        EXPECT_EQ(p->typeCode, ParamInteger) << e.name;
        EXPECT_EQ(p->description, e.description) << e.name;
        EXPECT_EQ(p->number, 1.0) << e.name;
        EXPECT_EQ(p->flags, ParamFlagB) << e.name;
    }
}

TEST_F(EndToEndTest, ALaterCadFileWithoutADotKeepsTheEarlierPreview)
{
    boost::filesystem::create_directories(temp_ / "unpacked.d");
    for (const char* copy : {"model", "unpacked.d/model", "second.xml"})
        boost::filesystem::copy_file(temp_ / "model.xml", temp_ / copy,
                                     boost::filesystem::copy_options::overwrite_existing);
    WriteFile(temp_ / "second.png", "\x89PNG-second");
    const std::string first = ReadFile(temp_ / "model.png");
    struct Case {
        const char* later;
        std::string preview;
    };
    const Case cases[] = {{"model", first}, {"unpacked.d/model", first}, {"second.xml", "\x89PNG-second"}};
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.later);
        tarvel::CatalogueArtifacts artifacts = Artifacts();
        artifacts.fileTypes.push_back("CadFile");
        artifacts.sourceUrls.push_back("https://c2/");
        artifacts.localPaths.push_back((temp_ / c.later).string());
        const std::int32_t index =
            tarvel::CreateLibraryPartFromArtifacts(artifacts, L"L" + std::to_wstring(n++), true, L"u/");
        ASSERT_GE(index, 1);
        const auto part = Store().FindByIndex(index);
        ASSERT_NE(part->Section(SectPreviewPicture), nullptr);
        EXPECT_EQ(part->Section(SectPreviewPicture)->bytes, std::string("image/png\0", 10) + c.preview);
    }
}

TEST_F(EndToEndTest, OpeningSizesByHoleType)
{
    struct Case {
        std::string subtype;
        std::string holeType;
        double width, height;
        double a, b;
    };
    const std::string window = "{4ABD0A6E-634B-4931-B3AA-9BEE01F35CDF}";
    const Case cases[] = {
        {window, "CIRCLE", 800, 600, 0.8, 0.8},
        {window, "circle", 800, 600, 0.8, 0.6},
        {window, "CIRCLE", 1, 600, 0.001, 0.6},
        {window + "-{00000000-0000-0000-0000-000000000000}", "CIRCLE", 800, 600, 1.0, 1.0},
    };
    int n = 0;
    for (const auto& c : cases) {
        std::string sheet = Sheet("P", c.subtype);
        const std::string size = "<Parameter id=\"archicad_hole_width\" value=\"900\"/><Parameter id=\"archicad_hole_height\" value=\"2100\"/>";
        sheet.replace(sheet.find(size), size.size(),
                      "<Parameter id=\"archicad_hole_type\" value=\"" + c.holeType +
                          "\"/><Parameter id=\"archicad_hole_width\" value=\"" + std::to_string(c.width) +
                          "\"/><Parameter id=\"archicad_hole_height\" value=\"" + std::to_string(c.height) + "\"/>");
        WriteFile(temp_ / "s.xml", sheet);
        const std::int32_t index =
            tarvel::CreateLibraryPartFromArtifacts(Artifacts("s.xml"), L"W" + std::to_wstring(n++), true, L"u/");
        ASSERT_GE(index, 1);
        const auto part = Store().FindByIndex(index);
        EXPECT_DOUBLE_EQ(part->a, c.a) << c.holeType << c.width;
        EXPECT_DOUBLE_EQ(part->b, c.b) << c.holeType << c.width;
    }
    EXPECT_EQ(Tools().ActiveTool(), 0);  // modify mode never switches the tool
}

// Every failure gives 0 and saves nothing; what the user needs to know of its cause
// is in the Session Report (each line begins with its text here).
TEST_F(EndToEndTest, FailuresGiveZero)
{
    const std::string alert =
        "An error has occured while reading the database! See 'Session Report' for further details!";
    const std::string model = ReadFile(boost::filesystem::path(TARVEL_EXAMPLES_DIR) / "table.xml");
    // Assemblies nested deeper than the generation goes: read whole, then refused.
    std::string deep = "<geom><part id=\"P\" name=\"p\" materialref=\"\" type=\"geom\"><geometry><solid_sphere>"
                       "<bool_op op=\"union\" simple=\"0\"/><style3D colRed=\"1\" colGreen=\"2\" colBlue=\"3\" "
                       "layer=\"4\"/><point3D name=\"center\" x=\"0\" y=\"0\" z=\"0\"/><radius value=\"1\"/>"
                       "</solid_sphere></geometry></part>";
    for (int i = 0; i < 300; ++i)
        deep += "<assembly id=\"A" + std::to_string(i) + "\" name=\"a\" materialref=\"\"><component instance_of=\"" +
                (i == 0 ? std::string("P") : "A" + std::to_string(i - 1)) + "\" materialref=\"\"/></assembly>";
    deep += "<author value=\"a\"/><format unit=\"mm\"/></geom>";
    struct Case {
        const char* what;
        std::function<void(tarvel::CatalogueArtifacts&)> prepare;
        std::vector<std::string> report;
    };
    const Case cases[] = {
        {"no CAD file", [](auto& a) { a.fileTypes[1] = "Other"; }, {}},
        {"CAD path empty", [](auto& a) { a.localPaths[1].clear(); }, {}},
        {"broken data sheet", [&](auto&) { WriteFile(temp_ / "sheet.xml", "<ProductDataSheet"); }, {}},
        {"short CAD file", [&](auto&) { WriteFile(temp_ / "model.xml", "<geom/>"); }, {}},
        {"vanished CAD file", [&](auto&) { boost::filesystem::remove(temp_ / "model.xml"); }, {}},
        {"no geom element", [&](auto&) { WriteFile(temp_ / "model.xml", "<other></other>"); },
         {"Xml object geom not found in "}},
        {"CAD file cut short", [&](auto&) { WriteFile(temp_ / "model.xml", model.substr(0, model.size() * 2 / 3)); },
         {"Xml ImportError: the CAD data is not well-formed XML: ", alert}},
        {"CAD value no UTF-8",
         [&](auto&) {
             std::string latin1 = model;
             latin1.insert(latin1.find("<author value=\"") + 15, "\xE9");
             WriteFile(temp_ / "model.xml", latin1);
         },
         {"Xml ImportError: the CAD data is not well-formed XML: a byte sequence that is no UTF-8 at offset ", alert}},
        {"CAD required value missing",
         [&](auto&) {
             WriteFile(temp_ / "model.xml", "<geom><materialsList><material id=\"m\" name=\"M\"/></materialsList></geom>");
         },
         {"Xml ImportError: ", alert}},
        {"generation stopped", [&](auto&) { WriteFile(temp_ / "model.xml", deep); },
         {"GDL generation stopped: assemblies nested deeper than "}},
        {"library folder not writeable", [](auto&) { standin::base::ForceFoldersNotWriteable(true); }, {}},
        {"library folder missing",
         [](auto&) { boost::filesystem::remove_all(ostrel::WStringToPath(tarvel::FullDataPath(tarvel::libraryFolder))); },
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        tarvel::CatalogueArtifacts artifacts = Artifacts();
        c.prepare(artifacts);
        EXPECT_EQ(tarvel::CreateLibraryPartFromArtifacts(artifacts, L"Part", false, L"u/"), 0);
        EXPECT_EQ(Host().CallCount(Slot::BeginLibPart), 0u);
        EXPECT_EQ(Tools().ActiveTool(), 0);
        const auto lines = Report().Lines();
        ASSERT_EQ(lines.size(), c.report.size()) << ::testing::PrintToString(lines);
        for (std::size_t i = 0; i < lines.size(); ++i)
            EXPECT_EQ(lines[i].rfind(c.report[i], 0), 0u) << lines[i];
        EXPECT_EQ(Report().Alerts().size(), c.report.empty() || c.report.back() != alert ? 0u : 1u);
        standin::base::ForceFoldersNotWriteable(false);
        TearDown();
    }
    SetUp();
    // An empty name (the proposal when every name is taken) creates nothing.
    EXPECT_EQ(tarvel::CreateLibraryPartFromArtifacts(Artifacts(), L"", false, L"u/"), 0);
    EXPECT_EQ(Tools().ActiveTool(), 0);
}

}  // namespace
