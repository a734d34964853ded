#include "ModelFixture.hpp"
#include "libparts/ProductScripts.hpp"
#include "ostrel/Text.hpp"

namespace {

using tarvel::ParamGroup;
using tarvel::ProductPartData;

const std::string kBody = "body line\n";

ProductPartData Data(const std::string& subtype, const std::string& holeType = "", double w = 0, double h = 0)
{
    ProductPartData data;
    data.subtypeGid = subtype;
    data.holeType = holeType;
    data.holeWidth = w;
    data.holeHeight = h;
    return data;
}

TEST(ProductScriptsTest, TwoDScriptByOpeningSubtype)
{
    const std::string opening = "mul2 1, -1\nproject2 4, 270, 2\nhotspot2 0, 0\ndel 1\n";
    const std::string other = "project2 3, 270, 2\nhotspot2 0, 0\n";
    EXPECT_EQ(tarvel::Make2DScript(tarvel::WindowSubtype), opening);
    EXPECT_EQ(tarvel::Make2DScript(tarvel::DoorSubtype), opening);
    EXPECT_EQ(tarvel::Make2DScript(tarvel::SkylightSubtype), other);
    EXPECT_EQ(tarvel::Make2DScript(std::string(tarvel::WindowSubtype) + "-{00000000-0000-0000-0000-000000000000}"),
              other);
    EXPECT_EQ(tarvel::MakeMasterScript("m"), "m\n");
}

TEST(ProductScriptsTest, ThreeDScriptByOpeningSubtype)
{
    struct Case {
        const char* what;
        ProductPartData data;
        std::string script;
    };
    const std::string circle =
        "!------------\nhole_diameter=0.600000\nif SHELLBASE_MAT_REFERENCE > 0 then\n\tmaterial "
        "SHELLBASE_MAT_REFERENCE\nelse\n\tmaterial 1\nendif\nrotx ac_roofang\naddy (B-hole_diameter)/2\n"
        "wallniche 2, 1, 2 + 16,\n\t0, 0, 1, 0,\n\t0, hole_diameter/2, 979+16*1,\n\thole_diameter/2, 360, "
        "4079+16*1\ndel 2\n!------------\n";
    const Case cases[] = {
        {"window", Data(tarvel::WindowSubtype, "", 0.9, 1.2), "rotx -90\naddx 0.450000\nmulx -1\n" + kBody + "del 3\n\n"},
        {"door", Data(tarvel::DoorSubtype, "", 1.25, 2), "rotx -90\naddx 0.625000\nmulx -1\n" + kBody + "del 3\n\n"},
        {"round skylight", Data(tarvel::SkylightSubtype, "CIRCLE", 0.6, 0.6),
         circle + "rotz -90\nroty ac_roofang\naddx -0.300000\n" + kBody + "del 3\n\n"},
        {"square skylight", Data(tarvel::SkylightSubtype, "RECT", 0.6, 0.5),
         "rotz -90\nroty ac_roofang\naddx -0.250000\n" + kBody + "del 3\n\n"},
        {"tiny round skylight", Data(tarvel::SkylightSubtype, "CIRCLE", 0.001, 0.4),
         "rotz -90\nroty ac_roofang\naddx -0.200000\n" + kBody + "del 3\n\n"},
        {"object", Data("{103E8D2C-8230-42E1-9597-46F84CCE28C0}", "CIRCLE", 0.6, 0.6), kBody},
    };
    for (const auto& c : cases)
        EXPECT_EQ(tarvel::Make3DScript(c.data, kBody), c.script) << c.what;
}

class ProductUITest : public tarvel::testing::ModelFixture {};

std::string InfoPage(int page)
{
    return "UI_PAGE " + std::to_string(page) +
           ", -1, 'Tarvel\u00ae Information'\nUI_PICT 'tarvel_logo.png', 10, 10\nUI_STYLE 2, 1\n"
           "UI_OUTFIELD 'Tarvel\u00ae', 100, 10, 250, 24\nUI_STYLE 0, 0\n"
           "UI_OUTFIELD 'ArchiCAD Add-On', 100, 35, 250, 19\nUI_OUTFIELD 'Version: 1.28', 100, 55, 250, 19\n"
           "UI_OUTFIELD 'Tarvel BIM Technology', 100, 75, 250, 19\nUI_STYLE 2, 1\n"
           "UI_OUTFIELD 'In order to modify this element,', 10, 140, 420, 24\n"
           "UI_OUTFIELD 'please click the Modify button on Tarvel\u00ae Toolbar.', 10, 165, 420, 24\n";
}

TEST_F(ProductUITest, PagesForNamedGroupsThenTheInformationPage)
{
    EXPECT_EQ(tarvel::MakeUIScript({}), "UI_DIALOG ''\n" + InfoPage(1));
    EXPECT_EQ(tarvel::MakeUIScript({ParamGroup{L"", {L"a"}, {L"A"}, {L"1"}}}), "UI_DIALOG ''\n" + InfoPage(1));

    ParamGroup big{L"Ma\u00dfe", {}, {}, {}};
    for (int i = 0; i < 15; ++i) {
        big.ids.push_back(L"p" + std::to_wstring(i));
        big.names.push_back(L"N" + std::to_wstring(i));
        big.values.push_back(L"V" + std::to_wstring(i));
    }
    const std::string script = tarvel::MakeUIScript({big, ParamGroup{L"Two", {L"x"}, {L"X"}, {L"9"}}});
    std::string expected = "UI_DIALOG ''\nUI_PAGE 1, -1, 'Ma\u00dfe'\n";
    for (int j = 0; j < 12; ++j) {
        const std::string y = std::to_string(20 * j + 10);
        expected += "UI_STYLE 0, 0\nUI_OUTFIELD 'N" + std::to_string(j) + ":', 10, " + y +
                    ", 150, 19\nUI_STYLE 0, 1\nUI_OUTFIELD 'V" + std::to_string(j) + "', 200, " + y + ", 240, 19\n";
    }
    expected += "UI_PAGE 2, -1, 'Two'\nUI_STYLE 0, 0\nUI_OUTFIELD 'X:', 10, 10, 150, 19\nUI_STYLE 0, 1\n"
                "UI_OUTFIELD '9', 200, 10, 240, 19\n" +
                InfoPage(3);
    EXPECT_EQ(script, expected);
}

TEST_F(ProductUITest, DataSheetTextsStayOneStringLiteral)
{
    struct Case {
        std::wstring text;
        std::string literal;
    };
    const Case cases[] = {
        {L"plain text 12", "plain text 12"},
        {L"it's", "it\u02bcs"},
        {L"', 0, 0, 1, 1\nUI_PAGE 9", "\u02bc, 0, 0, 1, 1 UI_PAGE 9"},
        {L"say \"hi\" \u2018x\u2019", "say \u02bahi\u02ba \u02bcx\u02bc"},
        {L"back\\", "back\\\\"},
        {L"tab\tcr\r", "tab cr "},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(tarvel::GdlStringText(c.text), c.literal);
        const std::string script = tarvel::MakeUIScript({ParamGroup{c.text, {L"id"}, {c.text}, {c.text}}});
        EXPECT_EQ(script.find("UI_PAGE 1, -1, '" + c.literal + "'\n"), std::string("UI_DIALOG ''\n").size());
        EXPECT_NE(script.find("UI_OUTFIELD '" + c.literal + ":', 10, 10, 150, 19\n"), std::string::npos);
    }
}

TEST_F(ProductUITest, ParameterListOrderAndShadowingNames)
{
    ProductPartData data = Data(tarvel::SkylightSubtype);
    data.baseUrl = L"https://cat.example/lib/";
    data.productId = L"P1";
    data.culture = L"de-DE";
    data.configRows = {{L"Width", L"900"}, {L"Height", L"1200"}};
    data.groups = {ParamGroup{L"", {L"colour", L"tv_base_url", L"TV_Config_Params", L"colour", L"", L"ac_edge_upper_type"},
                              {L"Colour", L"evil", L"evil", L"again", L"noname", L"evil"},
                              {L"red", L"https://evil/", L"x", L"blue", L"v", L"0"}},
                   ParamGroup{L"Named", {L"shown"}, {L"Shown"}, {L"1"}}};
    tarvel::LibPartSpec spec;
    tarvel::AddProductParametersAndUI(spec, data);
    std::vector<std::string> names;
    for (const auto& p : spec.parameters)
        names.push_back(p.name);
    EXPECT_EQ(names, (std::vector<std::string>{"colour", "AC_edge_upper_type", "AC_edge_lower_type", "tv_base_url",
                                               "tv_catalog_productid", "tv_catalog_productgroup",
                                               "tv_catalog_modelfile", "tv_catalog_section", "tv_catalog_culture",
                                               "tv_config_params"}));
    EXPECT_EQ(spec.parameters[0].stringValue, L"red");
    EXPECT_EQ(spec.parameters[0].description, L"Colour");
    EXPECT_FALSE(spec.parameters[0].flagB);
    for (const auto& [i, description] : {std::pair{1, L"Upper Edge Type"}, std::pair{2, L"Lower Edge Type"}}) {
        EXPECT_EQ(spec.parameters[i].kind, 0) << i;
        EXPECT_EQ(spec.parameters[i].numericValue, 1.0) << i;
        EXPECT_EQ(spec.parameters[i].description, description) << i;
        EXPECT_TRUE(spec.parameters[i].flagB) << i;
    }
    EXPECT_EQ(spec.parameters[3].stringValue, L"https://cat.example/lib/");
    EXPECT_EQ(spec.parameters[3].description, L"tv_base_url");
    EXPECT_TRUE(spec.parameters[3].flagB);
    EXPECT_EQ(spec.parameters[9].arrayValue, data.configRows);
    EXPECT_NE(spec.uiScript.find("UI_PAGE 1, -1, 'Named'"), std::string::npos);
}

// An id the part cannot hold as it stands, or one that would stand in for a parameter
// the part already has, is skipped with one warning; the rest keep their order.
TEST_F(ProductUITest, DataSheetIdsThatAreNoGdlNameOrThePartsOwnAreSkippedWithAWarning)
{
    struct Case {
        std::wstring id;
        const char* warning;  // null: the parameter is made
    };
    const std::string longest(31, 'w');
    const Case cases[] = {
        {L"colour", nullptr},
        {L"_Colour_2", nullptr},
        {std::wstring(longest.begin(), longest.end()), nullptr},
        {L"x y", "is no GDL name"},
        {L"", "is no GDL name"},
        {L"2nd", "is no GDL name"},
        {L"door-width", "is no GDL name"},
        {L"H\u00f6he", "is no GDL name"},
        {L"line\nbreak", "is no GDL name"},
        {std::wstring(32, L'w'), "is no GDL name"},
        {L"A", "is one of the library part's own parameters"},
        {L"b", "is one of the library part's own parameters"},
        {L"ZZYZX", "is one of the library part's own parameters"},
        {L"AC_ROOFANG", "is one of the library part's own parameters"},
        {L"shellbase_mat_reference", "is one of the library part's own parameters"},
        {L"tv_catalog_culture", "is one of the library part's own parameters"},
        {L"AC_edge_lower_type", "is one of the library part's own parameters"},
        {L"COLOUR", "repeats an earlier parameter"},
    };
    ParamGroup group;
    std::vector<std::string> made;
    std::vector<std::string> warnings;
    for (const Case& c : cases) {
        group.ids.push_back(c.id);
        group.names.push_back(L"N");
        group.values.push_back(L"V");
        const std::string id = ostrel::WStringToUtf8(c.id);
        if (c.warning == nullptr)
            made.push_back(id);
        else
            warnings.push_back("product data sheet warning: parameter id \"" +
                               (id == "line\nbreak" ? std::string("line%0Abreak") : id) + "\" " + c.warning +
                               ", skipped");
    }
    ProductPartData data = Data(tarvel::WindowSubtype);
    data.groups = {group};
    tarvel::LibPartSpec spec;
    tarvel::AddProductParametersAndUI(spec, data);
    std::vector<std::string> names;
    for (const auto& p : spec.parameters)
        names.push_back(p.name);
    names.resize(made.size());
    EXPECT_EQ(names, made);
    EXPECT_EQ(spec.parameters.size(), made.size() + 7);
    EXPECT_EQ(ReportLines(), warnings);
}

TEST_F(ProductUITest, APartWithoutDataSheetHasTheSevenCatalogueParameters)
{
    ProductPartData data = Data("{103E8D2C-8230-42E1-9597-46F84CCE28C0}-{00000000-0000-0000-0000-000000000000}");
    data.baseUrl = L"https://cat.example/";
    tarvel::LibPartSpec spec;
    tarvel::AddProductParametersAndUI(spec, data);
    ASSERT_EQ(spec.parameters.size(), 7u);
    EXPECT_EQ(spec.parameters[0].name, "tv_base_url");
    for (std::size_t i = 1; i < 6; ++i)
        EXPECT_TRUE(spec.parameters[i].stringValue.empty());
    EXPECT_EQ(spec.parameters[6].name, "tv_config_params");
    EXPECT_TRUE(spec.parameters[6].arrayValue.empty());
}

}  // namespace
