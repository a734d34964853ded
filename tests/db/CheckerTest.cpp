#include "DbSupport.hpp"
#include "GdlChecker.hpp"
#include "RandomCad.hpp"

#include <boost/filesystem/operations.hpp>
#include <gtest/gtest.h>

namespace {

using tarvel::testing::CheckGdlScript;

class CheckerTest : public tarvel::testing::DbFixture {};

TEST(GdlCheckerSelfTest, CatchesTheFaultsItLooksFor)
{
    const std::string header = "BODY -1\nMODEL SOLID\nPEN 1\nMATERIAL 0\n\n";
    const std::pair<const char*, std::string> faults[] = {
        {"pushed transform left", "GROUP \"g\"\n\n    ADD 0, 0, 0\n    BLOCK 1, 1, 1\n\nENDGROUP\n\n"},
        {"too many DEL", "GROUP \"g\"\n\n    ADD 0, 0, 0\n    DEL 2\n\nENDGROUP\n\n"},
        {"unpaired GROUP", "GROUP \"g\"\n\n"},
        {"unpaired ENDGROUP", "ENDGROUP\n\n"},
        {"undefined operand", "GROUP \"g\"\n\nENDGROUP\n\nx = ADDGROUP (\"g\", \"h\")\n\n"},
        {"undefined placement", "PLACEGROUP x\n\n"},
        {"points without statement", "GROUP \"g\"\n\n    RESOL 36\n    PUT 0, 0, 15\n\nENDGROUP\n\n"},
        {"statement without GET(NSP)",
         "GROUP \"g\"\n\n    RESOL 36\n    PUT 0, 0, 15\n    PRISM_ NSP/3, 1, \n    DEL 2\n\nENDGROUP\n\n"},
        {"revolve consuming nothing after its points",
         "GROUP \"g\"\n\n    RESOL 36\n    PUT 0, 0, 15\n    REVOLVE 2, 360, 128, 0, 1, 900, 1, 360, 4001\n\nENDGROUP\n\n"},
        {"result name with a blank", "GROUP \"g\"\n\nENDGROUP\n\nx y = ADDGROUP (\"g\", \"g\")\n\n"},
        {"broken number", "GROUP \"g\"\n\n    ADD 0, 0,\n    DEL 1\nENDGROUP\n\n"},
    };
    for (const auto& [what, body] : faults)
        EXPECT_FALSE(CheckGdlScript(header + body).empty()) << what;
    EXPECT_TRUE(CheckGdlScript(header + "GROUP \"g\"\n\n    ADD 0, 0, 0\n    DEL 1\n\nENDGROUP\n\nx = ADDGROUP (\"g\", "
                                        "\"g\")\n\nPLACEGROUP x\n\n")
                    .empty());
}

TEST_F(CheckerTest, ExamplesGiveSoundText)
{
    int files = 0;
    for (const auto& entry : boost::filesystem::directory_iterator(TARVEL_EXAMPLES_DIR)) {
        if (entry.path().extension() != ".xml")
            continue;
        ++files;
        Report().Clear();
        const tarvel::TarvelDB db = tarvel::TarvelDB::LoadFromFile(entry.path().string());
        EXPECT_TRUE(db.valid) << entry.path();
        EXPECT_TRUE(ReportLines().empty()) << entry.path() << ": " << ReportLines().front();
        const auto problems = CheckGdlScript(tarvel::testing::Script(db));
        EXPECT_TRUE(problems.empty()) << entry.path() << ": " << problems.front();
    }
    EXPECT_GE(files, 2);
}

// Ids with characters no GDL name has, in parts and assemblies combined by every mode.
TEST_F(CheckerTest, IdsOutsideGdlNamesGiveSoundText)
{
    const std::string block = "<solid_block><bool_op op=\"union\" simple=\"0\"/><style3D colRed=\"1\" colGreen=\"2\" "
                              "colBlue=\"3\" layer=\"4\"/><point3D name=\"start\" x=\"0\" y=\"0\" z=\"0\"/>"
                              "<point3D name=\"end\" x=\"1\" y=\"1\" z=\"1\"/></solid_block>";
    const auto part = [&](const std::string& id) {
        return "<part id=\"" + id + "\" name=\"n\" type=\"geom\"><geometry>" + block + block + "</geometry></part>";
    };
    const auto assembly = [](const std::string& id, const std::string& mode, const std::string& a,
                             const std::string& b) {
        return "<assembly id=\"" + id + "\" name=\"n\"><attributeList><attrib name=\"tv_prop_bool_op\" value=\"" +
               mode + "\"/></attributeList><component instance_of=\"" + a + "\"/><component instance_of=\"" + b +
               "\"/></assembly>";
    };
    const std::string xml = tarvel::testing::Geom(
        part("bein 1") + part("t\xC3\xBCr-2.a") + part("&quot;q&quot;") +
        assembly("sub tract", "4-subtract,all", "t\xC3\xBCr-2.a", "&quot;q&quot;") +
        assembly("root \xF0\x9F\x9A\xAA", "3-union,all", "bein 1", "sub tract"));
    const tarvel::TarvelDB db = LoadXml(xml);
    ASSERT_TRUE(db.valid) << ReportLines().back();
    const std::string script = tarvel::testing::Script(db);
    const auto problems = CheckGdlScript(script);
    EXPECT_TRUE(problems.empty()) << problems.front() << "\n" << script;
    EXPECT_NE(script.find("part_bein_1_3 = ADDGROUP (\"part_bein 1_1\", \"part_bein 1_2\")"), std::string::npos)
        << script;
}

TEST_F(CheckerTest, RandomFilesGiveSoundText)
{
    for (std::uint32_t seed = 1; seed <= 400; ++seed) {
        const std::string xml = tarvel::testing::RandomCad(seed);
        Report().Clear();
        tarvel::TarvelDB db;
        try {
            db = LoadXml(xml);
        } catch (const std::exception& e) {
            ADD_FAILURE() << "seed " << seed << ": " << e.what();
            continue;
        }
        tarvel::GdlWriter writer;
        try {
            tarvel::GenerateGdlFromDatabase(db, writer);
        } catch (const std::exception& e) {
            ADD_FAILURE() << "seed " << seed << ": " << e.what();
            continue;
        }
        const auto problems = CheckGdlScript(writer.GetScript());
        EXPECT_TRUE(problems.empty()) << "seed " << seed << ": " << problems.size() << " problems, first "
                                      << problems.front();
    }
}

}  // namespace
