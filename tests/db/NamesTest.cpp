// Names in the generated text: distinct ids give distinct names, and no text can end a
// quoted name early.
#include "DbSupport.hpp"
#include "GdlChecker.hpp"

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace {

using tarvel::testing::Geom;
using tarvel::testing::Script;
using tarvel::testing::SplitLines;

const std::string kBlock = "<solid_block><bool_op op=\"union\" simple=\"0\"/><style3D colRed=\"1\" colGreen=\"2\" "
                           "colBlue=\"3\" layer=\"4\"/><point3D name=\"start\" x=\"0\" y=\"0\" z=\"0\"/>"
                           "<point3D name=\"end\" x=\"1\" y=\"1\" z=\"1\"/></solid_block>";

// A part of one block, or of a block and a second one joined to it.
std::string Part(const std::string& id, const std::string& material = "", int solids = 2)
{
    std::string geometry = kBlock;
    geometry.replace(geometry.find("union"), 5, "none");
    if (solids == 2)
        geometry += kBlock;
    return "<part id=\"" + id + "\" name=\"n\" materialref=\"" + material + "\" type=\"geom\"><geometry>" + geometry +
           "</geometry></part>";
}

std::string Assembly(const std::string& id, const std::vector<std::string>& components, const std::string& mode = "")
{
    std::string xml = "<assembly id=\"" + id + "\" name=\"n\" materialref=\"\">";
    if (!mode.empty())
        xml += "<attributeList><attrib name=\"tv_prop_bool_op\" value=\"" + mode + "\"/></attributeList>";
    for (const auto& component : components)
        xml += "<component instance_of=\"" + component + "\" materialref=\"\"/>";
    return xml + "</assembly>";
}

std::string Material(const std::string& id, const std::string& name)
{
    std::string xml = "<material id=\"" + id + "\" name=\"" + name + "\">";
    for (const char* c : {"ambient", "diffuse", "specular", "emissive"})
        xml += std::string("<color name=\"") + c + "\" red=\"1\" green=\"2\" blue=\"3\"/>";
    return xml + "<shininess value=\"5\"/><transparency value=\"0.5\"/></material>";
}

const std::string kTail = "<author value=\"a\"/><format unit=\"mm\"/>";

class NamesTest : public tarvel::testing::DbFixture {
protected:
    // The 3D text of the file, which must be read whole and give sound text.
    std::string ScriptOf(const std::string& body)
    {
        const tarvel::TarvelDB db = LoadXml(Geom(body + kTail));
        EXPECT_TRUE(db.valid);
        const std::string script = Script(db);
        const auto problems = tarvel::testing::CheckGdlScript(script);
        EXPECT_TRUE(problems.empty()) << (problems.empty() ? "" : problems.front()) << "\n" << script;
        return script;
    }
};

// The result names given in the text ("X = ADDGROUP (...)"), each with its count.
std::map<std::string, int> ResultNamesGiven(const std::string& script)
{
    std::map<std::string, int> given;
    for (const auto& line : SplitLines(script)) {
        const auto at = line.find(" = ");
        if (at != std::string::npos && line.find("GROUP (") != std::string::npos)
            ++given[line.substr(0, at)];
    }
    return given;
}

// Ids that map to one text take the first free suffix, in document order, away from
// the ids that are their own names; equal ids keep one name. No part or assembly is
// written twice here, so every result name must be given once.
TEST_F(NamesTest, IdsMappingAlikeGetDistinctResultNames)
{
    const std::string script = ScriptOf(
        Part("a b") + Part("a_b") + Part("a-b") + Part("a_b_2") + Part("Q1", "", 1) + Part("Q2", "", 1) +
        Part("Q3", "", 1) + Part("Q4", "", 1) + Assembly("u1", {"Q2"}, "3-union,all") +
        Assembly("u2", {"Q4"}, "3-union,all") + Assembly("x y", {"Q1", "u1"}) + Assembly("x_y", {"Q3", "u2"}) +
        Assembly("r", {"a b", "a_b", "a-b", "a_b_2", "x y", "x_y"}));
    const auto given = ResultNamesGiven(script);
    for (const auto& [name, count] : given)
        EXPECT_EQ(count, 1) << name << "\n" << script;
    // "a_b" and "a_b_2" are their own names; "a b" and then "a-b" take the first free suffix.
    for (const char* name : {"part_a_b_3_3 = ADDGROUP (", "part_a_b_3 = ADDGROUP (", "part_a_b_4_3 = ADDGROUP (",
                             "part_a_b_2_3 = ADDGROUP (", "assembly_x_y_2_1 = ADDGROUP (\"part_Q1_1\", \"part_Q2_1\")",
                             "assembly_x_y_1 = ADDGROUP (\"part_Q3_1\", \"part_Q4_1\")"})
        EXPECT_NE(script.find(std::string("\n") + name), std::string::npos) << name << "\n" << script;
    EXPECT_EQ(given.size(), 6u) << script;
}

// In quoted names "%" and a backslash are encoded like a quote, so that distinct texts
// stay distinct and nothing ends the quoted name early.
TEST_F(NamesTest, PercentAndBackslashAreEncodedInQuotedNames)
{
    const tarvel::TarvelDB db =
        LoadXml(Geom("<materialsList>" + Material("m1", "Oak\\") + Material("m2", "50% grey") + "</materialsList>" +
                     Part("q&quot;x", "m1", 1) + Part("q%22x", "m2", 1) + Part("s\\", "", 1) +
                     Assembly("A", {"q&quot;x", "q%22x", "s\\"}) + kTail));
    ASSERT_TRUE(db.valid);
    tarvel::GdlWriter writer;
    tarvel::GenerateGdlFromDatabase(db, writer);
    const std::string master = writer.GetMasterScript();
    const std::string script = writer.GetScript();
    for (const char* line : {"DEFINE MATERIAL \"Oak%5C\" 20,", "DEFINE MATERIAL \"50%25 grey\" 20,"})
        EXPECT_NE(master.find(std::string(line) + "\n"), std::string::npos) << line;
    for (const char* line : {"SET MATERIAL \"Oak%5C\"", "SET MATERIAL \"50%25 grey\"", "GROUP \"part_q%22x_1\"",
                             "GROUP \"part_q%2522x_1\"", "GROUP \"part_s%5C_1\"", "PLACEGROUP \"part_q%22x_1\"",
                             "PLACEGROUP \"part_q%2522x_1\"", "PLACEGROUP \"part_s%5C_1\""})
        EXPECT_NE(script.find(std::string(line) + "\n"), std::string::npos) << line << "\n" << script;
    EXPECT_EQ(master.find('\\'), std::string::npos);
    EXPECT_EQ(script.find('\\'), std::string::npos);
    EXPECT_TRUE(tarvel::testing::CheckGdlScript(script).empty());
}

}  // namespace
