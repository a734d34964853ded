#include "ModelFixture.hpp"
#include "libparts/ProductDataSheet.hpp"

namespace {

using tarvel::ParamGroup;
using tarvel::testing::WriteFile;

struct Sheet {
    std::wstring attr = L"default";
    std::string subtype = "sub";
    std::wstring id = L"id", group = L"group", model = L"model", section = L"section", culture = L"culture";
    std::string holeType = "hole";
    double width = -1, height = -1;
    std::vector<ParamGroup> groups;
};

class ProductDataSheetTest : public tarvel::testing::ModelFixture {
protected:
    bool Parse(const std::string& xml, Sheet& s)
    {
        const auto path = Temp().Path() / "sheet.xml";
        WriteFile(path, xml);
        return tarvel::ParseProductDataSheet(path.string(), s.attr, s.subtype, s.id, s.group, s.model, s.section,
                                             s.culture, s.holeType, s.width, s.height, s.groups);
    }
    static std::string Info(const std::string& parameters)
    {
        return "<?xml version=\"1.0\" encoding=\"utf-8\"?><ProductDataSheet target=\"ARCHICAD\">"
               "<AdditionalInformation>" +
               parameters + "</AdditionalInformation></ProductDataSheet>";
    }
};

TEST_F(ProductDataSheetTest, ReadsTheTenValues)
{
    Sheet s;
    ASSERT_TRUE(Parse(Info("<Parameter id='archicad_productattr' value='Fenster A/B'/>"
                           "<Parameter id='archicad_productattr' value='second'/>"
                           "<Parameter id='archicad_subtype_gid' value='{4ABD0A6E-634B-4931-B3AA-9BEE01F35CDF}'/>"
                           "<Parameter id='catalog_productid' value='P-1'/>"
                           "<Parameter id='catalog_productgroup' value='G'/>"
                           "<Parameter id='catalog_modelfile' value='m.xml'/>"
                           "<Parameter id='catalog_section' value='12'/>"
                           "<Parameter id='catalog_culture' value='de-DE'/>"
                           "<Parameter id='archicad_hole_type' value='CIRCLE'/>"
                           "<Parameter id='archicad_hole_width' value='800'/>"
                           "<Parameter id='archicad_hole_height' value='6x'/>"),
                      s));
    EXPECT_EQ(s.attr, L"Fenster A/B");  // the first in document order
    EXPECT_EQ(s.subtype, "{4ABD0A6E-634B-4931-B3AA-9BEE01F35CDF}");
    EXPECT_EQ(s.id, L"P-1");
    EXPECT_EQ(s.group, L"G");
    EXPECT_EQ(s.model, L"m.xml");
    EXPECT_EQ(s.section, L"12");
    EXPECT_EQ(s.culture, L"de-DE");
    EXPECT_EQ(s.holeType, "CIRCLE");
    EXPECT_EQ(s.width, 800);
    EXPECT_EQ(s.height, 6);
}

TEST_F(ProductDataSheetTest, EmptyOrMissingValuesKeepTheDefaultsExceptRawAndNumbers)
{
    Sheet s;
    ASSERT_TRUE(Parse(Info("<Parameter id='catalog_productid' value=''/>"
                           "<Parameter id='catalog_culture'/>"
                           "<Parameter id='archicad_subtype_gid' value=''/>"
                           "<Parameter id='archicad_hole_width' value=''/>"
                           "<Parameter id='archicad_hole_height' value='abc'/>"),
                      s));
    EXPECT_EQ(s.id, L"id");
    EXPECT_EQ(s.culture, L"culture");
    EXPECT_EQ(s.subtype, "");
    EXPECT_EQ(s.width, 0);
    EXPECT_EQ(s.height, 0);
    EXPECT_EQ(s.holeType, "hole");
}

TEST_F(ProductDataSheetTest, OnlyTheArchicadTargetCountsAndBrokenFilesFail)
{
    struct Case {
        const char* xml;
        bool parsed;
    };
    const Case cases[] = {
        {"<ProductDataSheet target='archicad'><AdditionalInformation><Parameter id='catalog_productid' "
         "value='x'/></AdditionalInformation></ProductDataSheet>",
         true},
        {"<Other target='ARCHICAD'><AdditionalInformation><Parameter id='catalog_productid' "
         "value='x'/></AdditionalInformation></Other>",
         true},
        {"<ProductDataSheet target='ARCHICAD'><AdditionalInformation>", false},
        {"", false},
    };
    for (const auto& c : cases) {
        Sheet s;
        EXPECT_EQ(Parse(c.xml, s), c.parsed) << c.xml;
        EXPECT_EQ(s.id, L"id") << c.xml;
    }
    Sheet s;
    EXPECT_FALSE(tarvel::ParseProductDataSheet((Temp().Path() / "none.xml").string(), s.attr, s.subtype, s.id,
                                               s.group, s.model, s.section, s.culture, s.holeType, s.width,
                                               s.height, s.groups));
}

TEST_F(ProductDataSheetTest, GroupsKeepTheirOrderAndUsableChildren)
{
    Sheet s;
    s.groups.push_back(ParamGroup{L"earlier", {}, {}, {}});
    ASSERT_TRUE(Parse("<ProductDataSheet target='ARCHICAD'><ParameterGroups>"
                      "<ParamGroup id='g1' name='Dimensions'>"
                      "<Parameter id='w' name='Width' value='900'/>"
                      "<Parameter id='h' name='Height'/>"
                      "<Parameter id='p1' name='' value='5'/>"
                      "<Other><Parameter id='deep' name='x' value='y'/></Other>"
                      "</ParamGroup>"
                      "<ParamGroup id='g2'><Parameter id='a' name='A' value='1'/></ParamGroup>"
                      "<ParamGroup name='NoId'/>"
                      "</ParameterGroups></ProductDataSheet>",
                      s));
    ASSERT_EQ(s.groups.size(), 4u);
    EXPECT_EQ(s.groups[1].name, L"Dimensions");
    EXPECT_EQ(s.groups[1].ids, (std::vector<std::wstring>{L"w", L"p1"}));
    EXPECT_EQ(s.groups[1].names, (std::vector<std::wstring>{L"Width", L""}));
    EXPECT_EQ(s.groups[1].values, (std::vector<std::wstring>{L"900", L"5"}));
    EXPECT_EQ(s.groups[2].name, L"");  // no name attribute
    EXPECT_EQ(s.groups[2].ids, std::vector<std::wstring>{L"a"});
    EXPECT_EQ(s.groups[3].name, L"");  // no id attribute
    EXPECT_TRUE(s.groups[3].ids.empty());
}

// The bytes of a text in UTF-16 with its byte-order mark.
std::string Utf16Bytes(const std::u16string& text, bool littleEndian)
{
    std::string bytes = littleEndian ? "\xFF\xFE" : "\xFE\xFF";
    for (char16_t unit : text) {
        const char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
        bytes += littleEndian ? std::string{low, high} : std::string{high, low};
    }
    return bytes;
}

std::u16string SheetWithProductAttr(const std::u16string& declaration, const std::u16string& value)
{
    return declaration +
           u"<ProductDataSheet target='ARCHICAD'><AdditionalInformation>"
           u"<Parameter id='archicad_productattr' value='" +
           value + u"'/></AdditionalInformation><ParameterGroups><ParamGroup id='g' name='" + value +
           u"'/></ParameterGroups></ProductDataSheet>";
}

// Every text arrives as the file holds it, by its byte-order mark, its declaration
// or, failing those, by whether its bytes are UTF-8 at all.
TEST_F(ProductDataSheetTest, TextsArriveInTheFilesOwnEncoding)
{
    struct Case {
        const char* what;
        std::string declaration;
        std::string value;
        std::wstring text;
    };
    const std::string utf8 = "<?xml version='1.0' encoding='UTF-8'?>";
    const std::string latin1 = "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>";
    const std::wstring emoji{wchar_t(0xD83D), wchar_t(0xDE00)};
    const Case cases[] = {
        {"UTF-8 undeclared", "", "T\xc3\xbcr \xe2\x82\xac", L"T\u00fcr \u20ac"},
        {"UTF-8 declared", utf8, "T\xc3\xbcr \xe2\x82\xac", L"T\u00fcr \u20ac"},
        {"UTF-8 with its mark", "\xEF\xBB\xBF" + utf8, "\xf0\x9f\x98\x80", emoji},
        {"Latin-1 declared", latin1, "Fenster Gr\xf6\xdf" "e", L"Fenster Gr\u00f6\u00df" L"e"},
        {"Latin-1 declared in capitals", "<?xml version='1.0' encoding = 'ISO-8859-1' ?>", "\xe9t\xe9",
         L"\u00e9t\u00e9"},
        {"Latin-1 declared holding UTF-8 bytes", latin1, "T\xc3\xbcr", L"T\u00c3\u00bcr"},
        {"Latin-1 bytes undeclared", "", "T\xfcr", L"T\u00fcr"},
        {"Latin-1 bytes declared UTF-8", utf8, "T\xfcr \xa9", L"T\u00fcr \u00a9"},
        {"references in UTF-8", utf8, "&#233;&#8364;&#x1F600;", L"\u00e9\u20ac" + emoji},
        {"references in Latin-1", latin1, "&#233;&#8364;", L"\u00e9\u20ac"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string xml = c.declaration +
                                "<ProductDataSheet target='ARCHICAD'><AdditionalInformation>"
                                "<Parameter id='catalog_productid' value='" +
                                c.value + "'/></AdditionalInformation></ProductDataSheet>";
        Sheet s;
        ASSERT_TRUE(Parse(xml, s));
        EXPECT_EQ(s.id, c.text);
    }
}

TEST_F(ProductDataSheetTest, Utf16WithItsByteOrderMarkIsReadAndBrokenUtf16IsNoSheet)
{
    const std::u16string declaration = u"<?xml version='1.0' encoding='UTF-16'?>\n";
    const std::u16string value = u"Fenster Gr\u00f6\u00dfe \u20ac \U0001F600";
    const std::wstring text(value.begin(), value.end());
    const auto path = Temp().Path() / "sheet16.xml";
    for (bool little : {true, false}) {
        SCOPED_TRACE(little ? "little-endian" : "big-endian");
        WriteFile(path, Utf16Bytes(SheetWithProductAttr(declaration, value), little));
        Sheet s;
        ASSERT_TRUE(tarvel::ParseProductDataSheet(path.string(), s.attr, s.subtype, s.id, s.group, s.model,
                                                  s.section, s.culture, s.holeType, s.width, s.height, s.groups));
        EXPECT_EQ(s.attr, text);
        ASSERT_EQ(s.groups.size(), 1u);
        EXPECT_EQ(s.groups[0].name, text);
        std::wstring name = L"Tarvel_LibPart";
        tarvel::ReadProductAttrName(path.string(), name);
        EXPECT_EQ(name, text);
    }

    struct Broken {
        const char* what;
        std::string bytes;
    };
    const Broken broken[] = {
        {"a lone lead surrogate",
         Utf16Bytes(SheetWithProductAttr(declaration, std::u16string(u"E") + char16_t(0xD800) + u"iche"), true)},
        {"a lone trail surrogate",
         Utf16Bytes(SheetWithProductAttr(declaration, std::u16string(u"E") + char16_t(0xDC00) + u"iche"), false)},
        {"cut inside a unit", Utf16Bytes(SheetWithProductAttr(declaration, u"Eiche"), true) + "<"},
    };
    for (const Broken& b : broken) {
        SCOPED_TRACE(b.what);
        WriteFile(path, b.bytes);
        Sheet s;
        EXPECT_FALSE(tarvel::ParseProductDataSheet(path.string(), s.attr, s.subtype, s.id, s.group, s.model,
                                                   s.section, s.culture, s.holeType, s.width, s.height, s.groups));
        EXPECT_EQ(s.attr, L"default");
        std::wstring name = L"kept";
        tarvel::ReadProductAttrName(path.string(), name);
        EXPECT_EQ(name, L"kept");
    }
}

TEST_F(ProductDataSheetTest, TheNameReaderReadsOnlyANonEmptyName)
{
    const auto path = Temp().Path() / "sheet.xml";
    struct Case {
        std::string xml;
        std::wstring name;
    };
    const Case cases[] = {
        {Info("<Parameter id='archicad_productattr' value='Dach\xc3\xa4'/>"), L"Dach\u00e4"},
        {Info("<Parameter id='archicad_productattr' value=''/>"), L"Tarvel_LibPart"},
        {Info(""), L"Tarvel_LibPart"},
        {"not xml <", L"Tarvel_LibPart"},
    };
    for (const auto& c : cases) {
        WriteFile(path, c.xml);
        std::wstring name = L"Tarvel_LibPart";
        tarvel::ReadProductAttrName(path.string(), name);
        EXPECT_EQ(name, c.name) << c.xml;
    }
    std::wstring name = L"kept";
    tarvel::ReadProductAttrName((Temp().Path() / "missing.xml").string(), name);
    EXPECT_EQ(name, L"kept");
}

TEST(TextConversionTest, AnEmptyTextLeavesTheTargetAndAMalformedByteIsAReplacement)
{
    std::wstring out = L"kept";
    tarvel::Utf8ToWideViaUniString("", out);
    EXPECT_EQ(out, L"kept");
    tarvel::Utf8ToWideViaUniString("a\xff" "b", out);
    EXPECT_EQ(out, L"a\uFFFDb");
}

}  // namespace
