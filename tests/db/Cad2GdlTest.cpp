#include "DbSupport.hpp"

#include <gtest/gtest.h>
#include <json/json.h>
#include <sys/wait.h>

#include <cstdio>

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

// The exit status tells whether the import was whole; --json keeps 0 for a file it read.
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
        {"--json " + cut, 0},
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
    ToolRun run = RunTool("--json " + missing);
    EXPECT_EQ(run.status, 1);
    Json::Value json = ParseJson(run.out);
    EXPECT_EQ(json["exception"].asString(), "File not found: " + missing);
    EXPECT_FALSE(json["valid"].asBool());

    const std::string broken = WriteCad("<geom><part id=\"P\"><geometry><solid_block>", "broken.xml");
    run = RunTool("--json " + broken);
    EXPECT_EQ(run.status, 0);
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
