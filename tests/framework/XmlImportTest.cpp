#include "ostrel/importers/XmlImport.hpp"

#include <gtest/gtest.h>
#include <utf8.h>

#include <string>
#include <vector>

namespace {

namespace imp = ostrel::importers;

std::vector<std::string>* warnings = nullptr;

void RecordWarning(const char* node, const char* query)
{
    warnings->push_back(std::string("empty ") + query + ", node=" + node);
}

void RecordNotPlain(const char* node, const char* query)
{
    warnings->push_back(std::string("not a plain number in ") + query + ", node=" + node);
}

class XmlImportTest : public ::testing::Test {
protected:
    void SetUp() override { warnings = &lines_; }
    void TearDown() override { warnings = nullptr; }

    pugi::xml_node Load(const char* xml)
    {
        EXPECT_TRUE(doc_.load_string(xml));
        return doc_.document_element();
    }

    std::vector<std::string> lines_;
    imp::ScopedEmptyValueReport report_{&RecordWarning, &RecordNotPlain};
    pugi::xml_document doc_;
};

std::string WhatOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const imp::PugiXmlImportException& e) {
        return e.what();
    }
    return "(no exception)";
}

TEST_F(XmlImportTest, PointsReadTheirCoordinates)
{
    const auto root = Load(R"(<sketch><point3D name="start" x="1" y="-2.5" z="3e2"/><point2D name="center" x="0.5" y="7"/></sketch>)");
    EXPECT_EQ(imp::Import<glm::dvec3>(root, "point3D[@name='start']"), glm::dvec3(1, -2.5, 300));
    EXPECT_EQ(imp::Import<glm::dvec2>(root, "point2D[@name='center']"), glm::dvec2(0.5, 7));
    EXPECT_TRUE(lines_.empty());
}

TEST_F(XmlImportTest, RequiredValuesThrowTheirExactTexts)
{
    const auto root = Load(R"(<g><point3D name="start" x="1" y="2"/><point3D name="center" y="2"/><c red="1"/></g>)");
    const struct {
        std::function<void()> read;
        const char* what;
    } cases[] = {
        {[&] { imp::Import<glm::dvec3>(root, "point3D[@name='start']"); },
         "Xml ImportError: No  result for query: @z(looking for struct glm::detail::tvec3<double,0>)"},
        {[&] { imp::Import<glm::dvec3>(root, "point3D[@name='center']"); },
         "Xml ImportError: No  result for query: @x(looking for struct glm::detail::tvec3<double,0>)"},
        {[&] { imp::Import<glm::dvec3>(root, "point3D[@name='end']"); },
         "Xml ImportError: No  result for query: point3D[@name='end'](looking for struct glm::detail::tvec3<double,0>)"},
        {[&] { imp::Import<glm::dvec2>(root, "point2D[@name='center']"); },
         "Xml ImportError: No  result for query: point2D[@name='center'](looking for struct glm::detail::tvec2<double,0>)"},
        {[&] { imp::Import<glm::dvec3>(root, "c/@red"); },
         "Xml ImportError: struct glm::detail::tvec3<double,0> is not importable from xml_attribute!"},
        {[&] { imp::ReadValue<double>(pugi::xpath_node()); }, "Xml ImportError: Empty node! Maybe empty query result?"},
        {[&] { imp::ImportFrom<glm::dvec2>(root.select_node("c/text()")); },
         "Xml ImportError: Empty node! Maybe empty query result?"},
        {[&] { imp::ImportFromAttribute<glm::dmat4>(root.child("c").attribute("red")); },
         "Xml ImportError: struct glm::detail::tmat4x4<double,0> is not importable from xml_attribute!"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(WhatOf(c.read), c.what);
    EXPECT_TRUE(lines_.empty());
    static_assert(std::is_base_of_v<std::runtime_error, imp::PugiXmlImportException>);
    static_assert(std::is_base_of_v<imp::PugiXmlImportException, imp::NotImportableFromXmlAttributeException<glm::dvec2>>);
}

TEST_F(XmlImportTest, OptionalValuesWarnOnceAndGiveDefaults)
{
    const auto root = Load(R"(<part name="leg" a="abc" b=" 12.5" c="1,5" n="-3x"><label/><title>Table</title></part>)");
    EXPECT_EQ(imp::ImportOptional<double>(root, "@a"), 0.0);
    EXPECT_EQ(imp::ImportOptional<double>(root, "@b"), 12.5);
    EXPECT_EQ(imp::ImportOptional<double>(root, "@c"), 1.0);
    EXPECT_EQ(imp::ImportOptional<int>(root, "@n"), -3);
    EXPECT_EQ(imp::ImportOptional<std::wstring>(root, "label"), L"");
    EXPECT_EQ(imp::ImportOptional<std::string>(root, "title"), "Table");
    // A number that is not wholly a number keeps its value and is said.
    EXPECT_EQ(lines_, (std::vector<std::string>{"not a plain number in @a, node=part",
                                                "not a plain number in @c, node=part",
                                                "not a plain number in @n, node=part"}));
    lines_.clear();

    EXPECT_EQ(imp::ImportOptional<double>(root, "@depth"), 0.0);
    EXPECT_EQ(imp::ImportOptional<std::wstring>(root, "@id"), L"");
    EXPECT_EQ(imp::ImportOptional<std::string>(root, "material/@name"), "");
    EXPECT_EQ(imp::ImportOptional<unsigned short>(root, "@red"), 0);
    EXPECT_EQ(lines_, (std::vector<std::string>{"empty @depth, node=part", "empty @id, node=part",
                                                "empty material/@name, node=part", "empty @red, node=part"}));
}

TEST_F(XmlImportTest, QueriesTakeTheFirstNodeInDocumentOrder)
{
    const auto root = Load(R"(<p><v k="1">first</v><v k="2">second</v><w><v>nested</v></w></p>)");
    EXPECT_EQ(imp::ImportOptional<std::string>(root, "v"), "first");
    EXPECT_EQ(imp::ImportOptional<std::string>(root, "//v[@k='2']"), "second");
    EXPECT_EQ(imp::ImportOptional<int>(root, "v/@k"), 1);
    EXPECT_EQ(imp::ReadValue<std::string>(imp::Query<glm::dvec3>(root, "w/v")), "nested");
    // The same query again on another element comes from the compiled cache.
    EXPECT_EQ(imp::ImportOptional<std::string>(root.child("w"), "v"), "nested");
}

TEST_F(XmlImportTest, TextIsUtf8AndMalformedTextIsTheReadersErrorForWideStrings)
{
    const auto root = Load("<p name=\"caf\xC3\xA9\"><cdata><![CDATA[a<b]]></cdata></p>");
    EXPECT_EQ(imp::ImportOptional<std::wstring>(root, "@name"), ostrel::Utf8ToWString("caf\xC3\xA9"));
    EXPECT_EQ(imp::ImportOptional<std::string>(root, "cdata"), "a<b");

    // Each conversion error of a value becomes the reader's error naming the value.
    // A byte no UTF-8 has, a sequence cut short, an overlong form, an encoded surrogate.
    for (const char* bytes : {"\xFF", "ab\xC3", "\xC0\x80", "\xED\xA0\x80"}) {
        pugi::xml_document raw;
        raw.load_string("<p name=\"x\"><t>x</t></p>");
        raw.document_element().attribute("name").set_value(bytes);
        raw.document_element().child("t").text().set(bytes);
        for (const auto& [query, value] : {std::pair{"@name", "@name, node=p"}, std::pair{"t", "text(), node=t"}}) {
            try {
                imp::ImportOptional<std::wstring>(raw.document_element(), query);
                ADD_FAILURE() << bytes;
            } catch (const imp::PugiXmlImportException& e) {
                EXPECT_EQ(std::string(e.what()), std::string("Xml ImportError: no UTF-8 text in ") + value);
            }
        }
        EXPECT_EQ(imp::ImportOptional<std::string>(raw.document_element(), "@name"), bytes);
    }
}

TEST(XmlImportReportTest, NoReportInstalledWritesNothingAndScopesNest)
{
    pugi::xml_document doc;
    doc.load_string("<p/>");
    EXPECT_EQ(imp::ImportOptional<double>(doc.document_element(), "@x"), 0.0);

    std::vector<std::string> outer;
    warnings = &outer;
    {
        imp::ScopedEmptyValueReport a(&RecordWarning);
        {
            imp::ScopedEmptyValueReport none(nullptr);
            imp::ImportOptional<double>(doc.document_element(), "@y");
        }
        imp::ImportOptional<double>(doc.document_element(), "@z");
    }
    imp::ImportOptional<double>(doc.document_element(), "@w");
    warnings = nullptr;
    EXPECT_EQ(outer, std::vector<std::string>{"empty @z, node=p"});
}

}  // namespace
