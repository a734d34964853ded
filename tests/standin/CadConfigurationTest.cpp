// The user's CAD data as the loopback catalogue serves it: the first product's file
// is the user's, byte for byte; the configurator's answer differs from it only in the
// configured values, written in the file's own encoding.
#include "CatalogueContent.hpp"
#include "CatalogueServer.hpp"

#include <gtest/gtest.h>
#include <httplib.h>
#include <utf8.h>

#include <string>
#include <vector>

namespace tarvel::testing {
namespace {

using Rows = std::vector<std::pair<std::string, std::string>>;

// CAD data with what a reader must not take for configuration rows: a comment, a
// document type with an entity, CDATA, a configPos elsewhere, and a NUL reference.
std::string CadText(const std::string& declaration)
{
    return declaration +
           "<!-- <geom><tvConfiguration><configParams><configPos name=\"width\" value=\"1\"/> -->\n"
           "<!DOCTYPE geom [ <!ENTITY e \"x>\"> ]>\n"
           "<geom>\n  <tvConfiguration>\n    <configParams>\n"
           "      <configPos pos=\"1\" name=\"width\" value=\"160\"/>\n"
           "      <configPos pos='2' name='finish' value='ge\xC3\xB6lt &amp; \xC3\xA9'/>\n"
           "      <![CDATA[ <configPos name=\"width\" value=\"9\"/> ]]>\n"
           "      <configPos pos=\"3\" name=\"zero\" value=\"a&#0;b\" />\n"
           "    </configParams>\n  </tvConfiguration>\n"
           "  <part id=\"p\"><configPos name=\"width\" value=\"7\"/></part>\n</geom>\n";
}

enum class As { Utf8, Latin1, Utf16LE, Utf16BE };

// The UTF-8 text in the encoding.
std::string Encode(const std::string& utf8, As as)
{
    std::string out;
    switch (as) {
    case As::Utf8:
        return utf8;
    case As::Latin1:
        for (const char32_t cp : utf8::utf8to32(utf8))
            out.push_back(static_cast<char>(cp));
        return out;
    case As::Utf16LE:
    case As::Utf16BE:
        for (const char16_t unit : utf8::utf8to16(utf8)) {
            const char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
            out += as == As::Utf16LE ? std::string{low, high} : std::string{high, low};
        }
        return out;
    }
    return out;
}

struct Case {
    const char* what;
    std::string bom;
    std::string declaration;
    As as;
    // How the configurator's new finish is written there.
    std::string newFinish;
};

const std::vector<Case>& Cases()
{
    static const std::vector<Case> cases{
        {"UTF-8 declared", "", "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n", As::Utf8,
         "poliert \xE2\x82\xAC &lt;neu&gt; &apos;x&apos;"},
        {"UTF-8 without a declaration", "", "", As::Utf8, "poliert \xE2\x82\xAC &lt;neu&gt; &apos;x&apos;"},
        {"UTF-8 with a BOM", "\xEF\xBB\xBF", "<?xml version=\"1.0\"?>\n", As::Utf8,
         "poliert \xE2\x82\xAC &lt;neu&gt; &apos;x&apos;"},
        {"Latin-1 declared", "", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n", As::Latin1,
         "poliert &#8364; &lt;neu&gt; &apos;x&apos;"},
        {"UTF-16 little-endian with a BOM", "\xFF\xFE", "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n", As::Utf16LE,
         "poliert \xE2\x82\xAC &lt;neu&gt; &apos;x&apos;"},
        {"UTF-16 big-endian with a BOM", "\xFE\xFF", "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n", As::Utf16BE,
         "poliert \xE2\x82\xAC &lt;neu&gt; &apos;x&apos;"},
        {"UTF-16 without a BOM", "", "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n", As::Utf16LE,
         "poliert \xE2\x82\xAC &lt;neu&gt; &apos;x&apos;"},
    };
    return cases;
}

TEST(CadConfiguration, RowsAreReadInTheFilesOwnEncoding)
{
    for (const Case& c : Cases()) {
        SCOPED_TRACE(c.what);
        const std::string file = c.bom + Encode(CadText(c.declaration), c.as);
        EXPECT_EQ(standin::services::CadConfigurationRows(file),
                  (Rows{{"width", "160"}, {"finish", "ge\xC3\xB6lt & \xC3\xA9"}, {"zero", std::string("a\0b", 3)}}));
    }
}

TEST(CadConfiguration, OnlyTheChangedValuesAreWrittenAnewInTheFilesEncoding)
{
    for (const Case& c : Cases()) {
        SCOPED_TRACE(c.what);
        const std::string text = CadText(c.declaration);
        const std::string file = c.bom + Encode(text, c.as);
        // The rows as they are change nothing: every byte stays.
        EXPECT_EQ(standin::services::ConfiguredCadXml(file, standin::services::CadConfigurationRows(file)), file);

        std::string expected = text;
        expected.replace(expected.find("value=\"160\""), 11, "value=\"260\"");
        const std::string oldFinish = "ge\xC3\xB6lt &amp; \xC3\xA9";
        expected.replace(expected.find(oldFinish), oldFinish.size(), c.newFinish);
        EXPECT_EQ(standin::services::ConfiguredCadXml(
                      file, {{"width", "999"}, {"finish", "poliert \xE2\x82\xAC <neu> 'x'"}, {"width", "260"},
                             {"unknown", "1"}}),
                  c.bom + Encode(expected, c.as));
    }
}

TEST(CadConfiguration, WhatIsNoXmlComesBackAsItIs)
{
    for (const std::string& file : {std::string("\x89PNG\r\n\x1a\n junk"), std::string("<geom><tvConfiguration>"),
                                    std::string("<geom a=\"1></geom>"), std::string("\x00\x00\xFE\xFF<", 5)}) {
        EXPECT_TRUE(standin::services::CadConfigurationRows(file).empty());
        EXPECT_EQ(standin::services::ConfiguredCadXml(file, {{"width", "1"}}), file);
    }
}

// The catalogue serves the user's own file as the product's CAD data, untouched.
TEST(CadConfiguration, TheCatalogueServesTheUsersFileByteForByte)
{
    standin::services::CatalogueServer server;
    auto content = standin::services::MakeStandardCatalogue(server);
    const Case& latin1 = Cases()[3];
    const std::string file = Encode(CadText(latin1.declaration), latin1.as);
    standin::services::UseOwnArtifacts(content, "doors-classic", "D-1", file, "");
    const std::string object = "\xEF\xBB\xBF" + CadText("");
    standin::services::AddOwnObject(content, "doors-classic", "mine", object);
    standin::services::AddCatalogue(server, content);
    httplib::Client client("127.0.0.1", server.Port());
    for (const auto& [path, bytes] : {std::pair{"/catalogue/doors-classic/products/D-1/model.xml", file},
                                      std::pair{"/catalogue/doors-classic/products/CAD-1/model.xml", object}}) {
        const auto answer = client.Get(path);
        ASSERT_TRUE(answer) << path;
        EXPECT_EQ(answer->body, bytes) << path;
    }
}

}  // namespace
}  // namespace tarvel::testing
