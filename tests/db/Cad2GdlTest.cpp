#include "DbSupport.hpp"

#include <gtest/gtest.h>
#include <json/json.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <iterator>

namespace {

struct ToolRun {
    int status = -1;
    std::string out;
};

ToolRun RunTool(const std::string& arguments)
{
    ToolRun run;
    const std::string command = std::string(CAD2GDL_PATH) + " " + arguments + " 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return run;
    char buffer[4096];
    std::size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        run.out.append(buffer, n);
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

Json::Value ParseJson(const std::string& text)
{
    Json::Value value;
    Json::CharReaderBuilder builder;
    std::string errors;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    EXPECT_TRUE(reader->parse(text.data(), text.data() + text.size(), &value, &errors)) << errors;
    return value;
}

class Cad2GdlTest : public tarvel::testing::DbFixture {};

TEST_F(Cad2GdlTest, JsonOfAnExampleMatchesTheLibrary)
{
    const std::string example = std::string(TARVEL_EXAMPLES_DIR) + "/table.xml";
    const ToolRun run = RunTool("--json " + example);
    EXPECT_EQ(run.status, 0);
    const Json::Value json = ParseJson(run.out);
    tarvel::GdlWriter writer;
    tarvel::GenerateGdlFromDatabase(tarvel::TarvelDB::LoadFromFile(example), writer);
    EXPECT_EQ(json["master"].asString(), writer.GetMasterScript());
    EXPECT_EQ(json["script"].asString(), writer.GetScript());
    EXPECT_EQ(json["report"].size(), 0u);
    EXPECT_EQ(json["alerts"].size(), 0u);
    EXPECT_TRUE(json["exception"].isNull());
    EXPECT_TRUE(json["valid"].asBool());

    const ToolRun plain = RunTool(example);
    EXPECT_EQ(plain.status, 0);
    EXPECT_EQ(plain.out,
              writer.GetMasterScript() + "! ---------------- 3D script ----------------\n" + writer.GetScript());
    EXPECT_EQ(RunTool("--master " + example).out, writer.GetMasterScript());
    EXPECT_EQ(RunTool("--3d " + example).out, writer.GetScript());
}

// The exit status tells whether the import was whole, and whether all of it was made;
// --json exits alike.
TEST_F(Cad2GdlTest, ExitStatusTellsWhatCameOfTheFile)
{
    const std::string whole = std::string(TARVEL_EXAMPLES_DIR) + "/table.xml";
    const std::string cut = WriteCad("<geom><part id=\"P\"><geometry><solid_block>", "cut.xml");
    const std::string missing = (Temp().Path() / "nothing.xml").string();
    const std::string folder = Temp().Path().string();
    const struct {
        std::string arguments;
        int status;
    } cases[] = {
        {whole, 0},
        {cut, 3},
        {missing, 1},
        {folder, 1},
        {"--json " + cut, 3},
        {"--json " + whole, 0},
        {"--help", 0},
        {"--fast " + whole, 2},
        {"--json --3d " + whole, 2},
        {whole + " " + whole, 2},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RunTool(c.arguments).status, c.status) << c.arguments;
    EXPECT_NE(RunTool("--help").out.find("Exit status"), std::string::npos);
    // What was generated before the import broke off is printed all the same.
    EXPECT_FALSE(RunTool(cut).out.empty());
}

TEST_F(Cad2GdlTest, ErrorsAndReportLines)
{
    const std::string missing = (Temp().Path() / "nothing.xml").string();
    ToolRun run;
    Json::Value json;
    // A folder is as little a file in --json mode as without it.
    for (const std::string& file : {missing, Temp().Path().string()}) {
        run = RunTool("--json " + file);
        EXPECT_EQ(run.status, 1) << file;
        json = ParseJson(run.out);
        EXPECT_EQ(json["exception"].asString(), "File not found: " + file);
        EXPECT_FALSE(json["valid"].asBool());
    }

    const std::string broken = WriteCad("<geom><part id=\"P\"><geometry><solid_block>", "broken.xml");
    run = RunTool("--json " + broken);
    EXPECT_EQ(run.status, 3);
    json = ParseJson(run.out);
    EXPECT_TRUE(json["exception"].isNull());
    EXPECT_FALSE(json["valid"].asBool());
    ASSERT_EQ(json["report"].size(), 2u);
    ASSERT_EQ(json["alerts"].size(), 1u);
    EXPECT_EQ(json["alerts"][0].asString(),
              "An error has occured while reading the database! See 'Session Report' for further details!");

    EXPECT_EQ(RunTool("").status, 2);
}

}  // namespace

namespace {

// A part P of one solid, in an assembly, with the sketch s (a line from a to b).
std::string OneSolidCad(const std::string& solid, const std::string& line = "0,-5 10,5")
{
    const std::string a = line.substr(0, line.find(' ')), b = line.substr(line.find(' ') + 1);
    const auto point = [](const char* name, const std::string& xy) {
        return std::string("<point2D name=\"") + name + "\" x=\"" + xy.substr(0, xy.find(',')) + "\" y=\"" +
               xy.substr(xy.find(',') + 1) + "\"/>";
    };
    return tarvel::testing::Geom(
        "<sketchList><sketch id=\"s\" name=\"n\"><outerWire><line2D><style2D lineStyle=\"\" layer=\"0\"/>" +
        point("start", a) + point("end", b) +
        "</line2D></outerWire></sketch></sketchList>"
        "<part id=\"P\" name=\"n\" materialref=\"\" type=\"geom\"><geometry>" +
        solid +
        "</geometry></part><assembly id=\"A\" name=\"n\" materialref=\"\"><component instance_of=\"P\" "
        "materialref=\"\"/></assembly><author value=\"a\"/><format unit=\"mm\"/>");
}

std::string Revolve(const std::string& sketchRef, const std::string& angle = "360")
{
    return "<solid_revolve><bool_op op=\"none\" simple=\"0\"/><style3D colRed=\"1\" colGreen=\"2\" colBlue=\"3\" "
           "layer=\"4\"/><point3D name=\"start\" x=\"0\" y=\"0\" z=\"0\"/><axis x=\"1\" y=\"0\" z=\"0\"/><angle "
           "value=\"" +
           angle + "\"/><sketchref value=\"" + sketchRef + "\"/></solid_revolve>";
}

}  // namespace

// A file read whole whose solid was refused, whose reference named nothing or whose
// number was not plain exits with 4 after printing everything, the warnings among the
// report's lines; a missing optional value alone does not.
TEST_F(Cad2GdlTest, WhatWasNotMadeExitsWithFour)
{
    const std::string W = "cad data xml import warning: ";
    std::string withoutAngle = Revolve("s");
    withoutAngle.erase(withoutAngle.find("<angle"), withoutAngle.find("<sketchref") - withoutAngle.find("<angle"));
    const struct {
        const char* what;
        std::string cad;
        int status;
        std::vector<std::string> warnings;
    } cases[] = {
        {"a revolve across its axis", OneSolidCad(Revolve("s")), 4,
         {"GDL generation warning: a revolve of part P is not made: its profile lies on both sides of its axis or on "
          "it"}},
        {"a sketchref naming no sketch", OneSolidCad(Revolve("nothing")), 4,
         {W + "no element nothing for sketchref/@value, node=solid_revolve"}},
        {"an angle that is no plain number", OneSolidCad(Revolve("s", "360deg"), "0,1 10,5"), 4,
         {W + "not a plain number in angle/@value, node=solid_revolve"}},
        {"a revolve above its axis", OneSolidCad(Revolve("s"), "0,1 10,5"), 0, {}},
        {"a missing optional value", OneSolidCad(withoutAngle, "0,1 10,5"), 0, {}},
    };
    for (const auto& c : cases) {
        const std::string file = WriteCad(c.cad, "made.xml");
        const ToolRun plain = RunTool(file);
        EXPECT_EQ(plain.status, c.status) << c.what;
        EXPECT_NE(plain.out.find("BODY -1"), std::string::npos) << c.what;
        const ToolRun run = RunTool("--json " + file);
        EXPECT_EQ(run.status, c.status) << c.what;
        const Json::Value json = ParseJson(run.out);
        std::vector<std::string> warnings;
        for (const auto& line : json["report"])
            if (line.asString().find("empty ") == std::string::npos)
                warnings.push_back(line.asString());
        EXPECT_EQ(warnings, c.warnings) << c.what;
        EXPECT_TRUE(json["valid"].asBool()) << c.what;
    }
}

// The format reference's example is a file a user can write from it: read whole,
// made as written, the 3D text as the reference says.
TEST_F(Cad2GdlTest, TheFormatReferencesExampleImportsWhole)
{
    std::ifstream in(std::string(TARVEL_SOURCE_DIR) + "/docs/cad-format.md");
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::size_t section = text.find("## A complete example");
    ASSERT_NE(section, std::string::npos);
    const std::size_t begin = text.find("```xml\n", section);
    ASSERT_NE(begin, std::string::npos);
    const std::size_t end = text.find("```", begin + 7);
    ASSERT_NE(end, std::string::npos);
    const std::string example = WriteCad(text.substr(begin + 7, end - begin - 7), "example.xml");

    const tarvel::TarvelDB db = tarvel::TarvelDB::LoadFromFile(example);
    EXPECT_TRUE(db.valid);
    EXPECT_TRUE(ReportLines().empty()) << ReportLines().front();
    EXPECT_EQ(db.materials.size(), 1u);
    EXPECT_EQ(db.sketches.size(), 2u);
    EXPECT_EQ(db.parts.size(), 3u);
    EXPECT_EQ(db.assemblies.size(), 1u);
    EXPECT_EQ(db.configParams.size(), 1u);
    const std::string script = tarvel::testing::Script(db);
    EXPECT_TRUE(ReportLines().empty());
    for (const char* line : {"part_top_3 = SUBGROUP (\"part_top_1\", \"part_top_2\")",
                             "part_knob_2 = ADDGROUP (part_top_3, \"part_knob_1\")", "PLACEGROUP part_knob_2",
                             "PLACEGROUP \"part_leg_1\"", "    REVOLVE NSP/3, 360, 1+2+4+8+16+32+0+128+256,",
                             "    PRISM_ NSP/3, 0.7, "})
        EXPECT_NE(script.find(std::string("\n") + line + "\n"), std::string::npos) << line << "\n" << script;
    const ToolRun run = RunTool(example);
    EXPECT_EQ(run.status, 0);
}
