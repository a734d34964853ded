#include "ModelFixture.hpp"
#include "libparts/ConfiguratorParams.hpp"
#include "libparts/ElementReplacement.hpp"
#include "libparts/ProductScripts.hpp"

#include "ostrel/interop/HostApi.hpp"

#include <cstring>
#include <functional>

namespace {

using namespace HostInterface;
using standin::PartParameter;

const std::string kHead =
    "<StartOptions><gui><common><guiLanguage value=\"en-GB\" /><action value=\"show\" /><startType value=\"5\" "
    "/></common><part nLang=\"en-GB\" model=\"";
const std::string kTail = "</paramList></part></gui></StartOptions>";

PartParameter Text(const std::string& name, const std::u16string& value)
{
    PartParameter p;
    p.name = name;
    p.text = value;
    return p;
}

PartParameter Table(const std::string& name, std::int32_t rows, std::int32_t columns, std::vector<std::u16string> cells)
{
    PartParameter p;
    p.name = name;
    p.tableFlag = ParamIsTable;
    p.rows = rows;
    p.columns = columns;
    p.cells = std::move(cells);
    return p;
}

struct Read {
    bool ok = false;
    std::string url, xml, id, group, section, culture;
};

Read ReadParameters()
{
    Read r;
    r.ok = tarvel::ReadSelectedProductParameters(r.url, r.xml, r.id, r.group, r.section, r.culture);
    return r;
}

class ModifyProductTest : public tarvel::testing::ModelFixture {
protected:
    // A product part saved into the library folder with these catalogue values.
    std::int32_t SaveProduct(const std::wstring& name, const std::string& subtype, double a, double b,
                             const std::wstring& productId)
    {
        tarvel::ProductPartData data;
        data.subtypeGid = subtype;
        data.baseUrl = L"https://cat.example/lib/";
        data.productId = productId;
        data.configRows = {{L"Width", L"900"}};
        tarvel::LibPartSpec spec;
        spec.name = name;
        spec.parentId = subtype;
        spec.location.Set(LibraryText().c_str());
        spec.a = a;
        spec.b = b;
        tarvel::AddProductParametersAndUI(spec, data);
        return spec.CreateLibraryPart();
    }

    GS::Guid PlaceSelected(std::int32_t type, std::vector<PartParameter> parameters, bool hasParameters = true)
    {
        const GS::Guid guid = Elements().Place(type, 0, 1.0, 2.0, std::move(parameters), hasParameters);
        Elements().Select({guid});
        return guid;
    }
};

TEST_F(ModifyProductTest, OnlyOneElementOfAnAcceptedTypeIsRead)
{
    struct Case {
        const char* what;
        std::vector<std::int32_t> types;
        bool accepted;
    };
    const Case cases[] = {
        {"nothing", {}, false},       {"two doors", {5, 5}, false}, {"a wall", {1}, false},
        {"a window", {4}, true},      {"a door", {5}, true},        {"an object", {6}, true},
        {"a lamp", {7}, true},        {"a skylight", {44}, true},
    };
    for (const auto& c : cases) {
        std::vector<GS::Guid> guids;
        for (std::int32_t type : c.types)
            guids.push_back(Elements().Place(type, 0, 1, 1, {Text("tv_base_url", u"u/")}));
        Elements().Select(guids);
        EXPECT_EQ(ReadParameters().ok, c.accepted) << c.what;
    }
    // A locked element does not count as editable.
    const GS::Guid locked = PlaceSelected(6, {});
    Elements().SetEditable(locked, false);
    EXPECT_FALSE(ReadParameters().ok);
    // A memo without a parameter list.
    PlaceSelected(6, {}, false);
    EXPECT_FALSE(ReadParameters().ok);
    Host().FailCall(Slot::ReadElementMemo, ErrGeneral);
    PlaceSelected(6, {});
    EXPECT_FALSE(ReadParameters().ok);
    EXPECT_EQ(LeakedHandles(), 0);  // every selection handle and memo released
}

TEST_F(ModifyProductTest, ReadsTheCatalogueParametersIntoTheStartOptions)
{
    PlaceSelected(5, {Text("tv_base_url", u"https://cat.example/lib/"), Text("tv_catalog_productid", u"P-1"),
                      Text("tv_catalog_productgroup", u"G"), Text("tv_catalog_modelfile", u"a&b<\"c\".xml"),
                      Text("tv_catalog_section", u"12"), Text("tv_catalog_culture", u"de-DE"),
                      Table("tv_config_params", 3, 2, {u"Width", u"900", u"A&B", u"<\"q\">", u"L", u"\u20ac\u00ae"}),
                      Table("tv_config_params", 1, 3, {u"x", u"y", u"z"}),
                      Text("tv_catalog_productid", u"P-2")});
    const Read r = ReadParameters();
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.url, "https://cat.example/lib/");
    EXPECT_EQ(r.id, "P-2");  // a later record replaces an earlier one
    EXPECT_EQ(r.group, "G");
    EXPECT_EQ(r.section, "12");
    EXPECT_EQ(r.culture, "de-DE");
    EXPECT_EQ(r.xml, kHead + "a&amp;b&lt;&quot;c&quot;.xml\"><paramList order=\"false\">"
                             "<param name=\"Width\" value=\"900\" />"
                             "<param name=\"A&amp;B\" value=\"&lt;&quot;q&quot;&gt;\" />"
                             "<param name=\"L\" value=\"\xE2\x82\xAC\xC2\xAE\" />" +
                         kTail);
    EXPECT_EQ(LeakedHandles(), 0);
}

TEST_F(ModifyProductTest, AnElementWithoutCatalogueParametersGivesTheBareStartOptions)
{
    // tv_config_params stored as plain text (no configuration parameters) gives no rows.
    PlaceSelected(5, {Text("other", u"x"), Text("tv_config_params", u"")});
    const Read r = ReadParameters();
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.url, "");
    EXPECT_EQ(r.xml, kHead + "\"><paramList order=\"false\">" + kTail);
}

// Every stored text comes out as the UTF-8 of its UTF-16, characters beyond U+FFFF too.
TEST_F(ModifyProductTest, EveryTextArrivesAsItsUtf8)
{
    struct Case {
        const char* what;
        std::u16string stored;
        std::string utf8;
    };
    const Case cases[] = {
        {"e acute", u"x\u00e9", "x\xC3\xA9"},
        {"euro sign", u"x\u20ac", "x\xE2\x82\xAC"},
        {"L with stroke", u"\u0141", "\xC5\x81"},
        {"en dash", u"a\u2013b", "a\xE2\x80\x93" "b"},
        {"umlaut", u"Oberfl\u00e4che", "Oberfl\xC3\xA4" "che"},
        {"registered sign", u"\u00ae", "\xC2\xAE"},
        {"emoji", u"\U0001F600", "\xF0\x9F\x98\x80"},
    };
    for (const Case& c : cases) {
        PlaceSelected(5, {Text("tv_base_url", u"https://caf\u00e9.example/" + c.stored + u"/"),
                          Text("tv_catalog_productid", c.stored), Text("tv_catalog_productgroup", c.stored),
                          Text("tv_catalog_modelfile", c.stored), Text("tv_catalog_section", c.stored),
                          Text("tv_catalog_culture", c.stored),
                          Table("tv_config_params", 1, 2, {c.stored, u"v" + c.stored})});
        const Read r = ReadParameters();
        ASSERT_TRUE(r.ok) << c.what;
        EXPECT_EQ(r.url, "https://caf\xC3\xA9.example/" + c.utf8 + "/") << c.what;
        EXPECT_EQ(std::vector<std::string>({r.id, r.group, r.section, r.culture}),
                  std::vector<std::string>(4, c.utf8))
            << c.what;
        EXPECT_EQ(r.xml, kHead + c.utf8 + "\"><paramList order=\"false\"><param name=\"" + c.utf8 + "\" value=\"v" +
                             c.utf8 + "\" />" + kTail)
            << c.what;
    }
    EXPECT_EQ(LeakedHandles(), 0);
}

// A text with a lone surrogate, or a model file or cell with a character that XML
// cannot carry (a control character, U+FFFE, U+FFFF), is refused rather than sent
// changed; tab, line feed and carriage return go as references.
TEST_F(ModifyProductTest, TextsTheConfiguratorCannotGetUnchangedAreRefused)
{
    struct Case {
        const char* what;
        std::vector<PartParameter> parameters;
    };
    const std::u16string lead(1, u'\xD83D');
    const std::u16string trail(1, u'\xDE00');
    const Case refused[] = {
        {"lead surrogate at the end of the base URL", {Text("tv_base_url", u"https://cat.example/" + lead)}},
        {"trail surrogate alone in the product id", {Text("tv_catalog_productid", trail + u"x")}},
        {"two lead surrogates in the culture", {Text("tv_catalog_culture", lead + lead + trail)}},
        {"lone surrogate in a cell", {Table("tv_config_params", 1, 2, {u"Width", u"9" + lead + u"0"})}},
        {"lone surrogate in a row the XML leaves out", {Table("tv_config_params", 1, 3, {u"a", trail, u"c"})}},
        {"control character in a cell", {Table("tv_config_params", 1, 2, {u"Width", u"9\u0001"})}},
        {"control character in the model file", {Text("tv_catalog_modelfile", u"m\u001f.tvm")}},
        {"U+FFFF in a cell", {Table("tv_config_params", 1, 2, {u"Width", u"9\uFFFF"})}},
        {"U+FFFE in a cell's name", {Table("tv_config_params", 1, 2, {u"\uFFFEWidth", u"900"})}},
        {"U+FFFF in the model file", {Text("tv_catalog_modelfile", u"m\uFFFF")}},
    };
    for (const Case& c : refused) {
        PlaceSelected(5, c.parameters);
        EXPECT_FALSE(ReadParameters().ok) << c.what;
    }
    EXPECT_EQ(LeakedHandles(), 0);

    // The characters beside the two refused ones go as they are.
    PlaceSelected(5, {Table("tv_config_params", 2, 2, {u"Max", u"\uFFFD\uFFFC\uEFBF", u"Note", u"a\tb\nc\rd"})});
    const Read r = ReadParameters();
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.xml, kHead +
                         "\"><paramList order=\"false\"><param name=\"Max\" value=\"\xEF\xBF\xBD\xEF\xBF\xBC\xEE\xBE\xBF\" />"
                         "<param name=\"Note\" value=\"a&#9;b&#10;c&#13;d\" />" +
                         kTail);
}

TEST_F(ModifyProductTest, AFalseAnswerLeavesEveryOutputAsItWas)
{
    const std::vector<PartParameter> product = {
        Text("tv_catalog_productid", u"P-1"), Text("tv_catalog_productgroup", u"G"),
        Text("tv_catalog_section", u"12"),    Text("tv_catalog_culture", u"de-DE"),
        Text("tv_catalog_modelfile", u"m"),   Table("tv_config_params", 1, 2, {u"Width", u"900"})};
    auto withUrl = [&](const std::u16string& url) {
        std::vector<PartParameter> parameters = product;
        parameters.push_back(Text("tv_base_url", url));
        return parameters;
    };
    struct Case {
        const char* what;
        std::function<void()> prepare;
    };
    const Case cases[] = {
        {"nothing selected", [&] { Elements().Select({}); }},
        {"no parameter list", [&] { PlaceSelected(5, withUrl(u"https://cat.example/"), false); }},
        {"memo not read",
         [&] {
             PlaceSelected(5, withUrl(u"https://cat.example/"));
             Host().FailCall(Slot::ReadElementMemo, ErrGeneral);
         }},
        // Read after the other values: they must not have been handed out.
        {"lone surrogate in the base URL", [&] { PlaceSelected(5, withUrl(u"https://cat.example/\xD800")); }},
    };
    for (const auto& c : cases) {
        c.prepare();
        Read r;
        r.url = "old-url", r.xml = "old-xml", r.id = "old-id", r.group = "old-group", r.section = "old-section",
        r.culture = "old-culture";
        EXPECT_FALSE(tarvel::ReadSelectedProductParameters(r.url, r.xml, r.id, r.group, r.section, r.culture))
            << c.what;
        EXPECT_EQ(std::vector<std::string>({r.url, r.xml, r.id, r.group, r.section, r.culture}),
                  std::vector<std::string>(
                      {"old-url", "old-xml", "old-id", "old-group", "old-section", "old-culture"}))
            << c.what;
    }
    EXPECT_EQ(LeakedHandles(), 0);
}

TEST(XmlEscapeTest, EntitiesReferencesAndEveryOtherByteAsItIs)
{
    const std::pair<std::string, std::string> cases[] = {
        {"", ""},
        {"a&b\"c'd<e>f", "a&amp;b&quot;c&apos;d&lt;e&gt;f"},
        {"t\tl\nr\r", "t&#9;l&#10;r&#13;"},
        // UTF-8 passes unchanged: 0xAE is the continuation byte of U+00AE and of U+00EE.
        {"\xC2\xAE \xC3\xAE \xE2\x82\xAC \xF0\x9F\x98\x80", "\xC2\xAE \xC3\xAE \xE2\x82\xAC \xF0\x9F\x98\x80"},
    };
    for (const auto& [text, escaped] : cases)
        EXPECT_EQ(tarvel::XmlEscape(text), escaped) << text;
}

TEST_F(ModifyProductTest, ReplacementPerElementType)
{
    const std::int32_t oldIndex = SaveProduct(L"Old", "{103E8D2C-8230-42E1-9597-46F84CCE28C0}", 0.5, 0.6, L"OLD");
    const std::int32_t newIndex = SaveProduct(L"New", tarvel::SkylightSubtype, 0.8, 0.9, L"NEW");
    ASSERT_GE(oldIndex, 1);
    ASSERT_GE(newIndex, 1);
    struct Case {
        std::int32_t type;
        bool takesSizes;
    };
    for (const Case c : {Case{4, false}, Case{5, false}, Case{44, true}, Case{6, false}, Case{7, false}}) {
        SCOPED_TRACE(c.type);
        const GS::Guid guid = Elements().PlacePart(c.type, oldIndex);
        Elements().Select({guid});
        const auto before = *Elements().Element(guid);
        tarvel::ReplaceSelectedElementLibPart(newIndex);
        const auto after = *Elements().Element(guid);
        EXPECT_EQ(after.LibIndex(), newIndex);
        EXPECT_EQ(after.record.a, c.takesSizes ? 0.8 : 0.5);
        EXPECT_EQ(after.record.b, c.takesSizes ? 0.9 : 0.6);
        ASSERT_NE(after.Parameter("tv_catalog_productid"), nullptr);
        EXPECT_EQ(after.Parameter("tv_catalog_productid")->text, u"NEW");
        EXPECT_EQ(after.parameters, Store().FindByIndex(newIndex)->parameters);
        EXPECT_EQ(Elements().UndoSteps().back(), "Tarvel Modify Element");
        // Undo restores the element whole.
        ASSERT_TRUE(Elements().Undo());
        const auto undone = *Elements().Element(guid);
        EXPECT_EQ(std::memcmp(&undone.record, &before.record, sizeof before.record), 0);
        EXPECT_EQ(undone.parameters, before.parameters);
    }
    EXPECT_EQ(LeakedHandles(), 0);
}

TEST_F(ModifyProductTest, NothingChangesForAnythingButOneProduct)
{
    const std::int32_t newIndex = SaveProduct(L"New", tarvel::DoorSubtype, 0.8, 0.9, L"NEW");
    const GS::Guid noProduct = PlaceSelected(5, {Text("other", u"x")});
    tarvel::ReplaceSelectedElementLibPart(newIndex);
    EXPECT_EQ(Elements().Element(noProduct)->LibIndex(), 0);
    const GS::Guid wall = PlaceSelected(1, {Text("tv_base_url", u"u")});
    tarvel::ReplaceSelectedElementLibPart(newIndex);
    const GS::Guid a = Elements().Place(5, 0, 1, 1, {Text("tv_base_url", u"u")});
    Elements().Select({a, wall});
    tarvel::ReplaceSelectedElementLibPart(newIndex);
    EXPECT_EQ(Elements().Element(a)->LibIndex(), 0);
    PlaceSelected(5, {}, false);
    tarvel::ReplaceSelectedElementLibPart(newIndex);
    EXPECT_TRUE(Elements().UndoSteps().empty());
    EXPECT_EQ(LeakedHandles(), 0);
}

TEST_F(ModifyProductTest, EveryHostErrorStopsTheReplacementAndReleasesWhatItHolds)
{
    const std::int32_t newIndex = SaveProduct(L"New", tarvel::DoorSubtype, 0.8, 0.9, L"NEW");
    // The change itself failing is written to the Session Report, once; the reads
    // before it fail silently.
    const std::string notReplaced = "Tarvel: the selected element could not be replaced with the new library part "
                                    "(error " + std::to_string(ErrGeneral) + ").";
    const struct {
        Slot slot;
        std::vector<std::string> lines;
    } cases[] = {{Slot::ReadSelection, {}},       {Slot::ReadElementMemo, {}},
                 {Slot::GetLibPartDefaults, {}},  {Slot::ReadElement, {}},
                 {Slot::ModifyElement, {notReplaced}}, {Slot::RunAsUndoStep, {notReplaced}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.slot));
        const std::size_t lines = Report().Lines().size();
        const GS::Guid guid = PlaceSelected(5, {Text("tv_base_url", u"u"), Table("tv_config_params", 1, 2, {u"a", u"b"})});
        Host().FailCall(c.slot, ErrGeneral);
        tarvel::ReplaceSelectedElementLibPart(newIndex);
        EXPECT_EQ(Elements().Element(guid)->LibIndex(), 0);
        EXPECT_EQ(Elements().Element(guid)->parameters.size(), 2u);
        EXPECT_TRUE(Elements().UndoSteps().empty());
        EXPECT_EQ(LeakedHandles(), 0);
        const auto all = Report().Lines();
        EXPECT_EQ(std::vector<std::string>(all.begin() + static_cast<long>(lines), all.end()), c.lines);
        EXPECT_TRUE(Report().Alerts().empty());
    }
    // Outside an undo step the host refuses a change.
    ElementRecord element;
    ZeroRecord(element);
    ElementRecord mask;
    ZeroRecord(mask);
    EXPECT_EQ(HostApi_ModifyElement(&element, &mask, nullptr, 0, true), ErrWrongState);
}

}  // namespace

namespace {

TEST(ParamRecordNameTest, NamesAreReadWithinTheirField)
{
    HostInterface::ParamRecord record;
    HostInterface::ZeroRecord(record);
    std::memset(record.name, 'x', sizeof record.name);  // no terminator
    EXPECT_EQ(tarvel::ParamRecordName(record), std::string(32, 'x'));
    EXPECT_FALSE(tarvel::ParamNameIs(record, "tv_base_url"));
    EXPECT_TRUE(tarvel::ParamNameIs(record, std::string(32, 'x').c_str()));
    std::strcpy(record.name, "tv_base_url");
    EXPECT_TRUE(tarvel::ParamNameIs(record, "tv_base_url"));
    EXPECT_FALSE(tarvel::ParamNameIs(record, "TV_BASE_URL"));  // case mode 0
}

}  // namespace
