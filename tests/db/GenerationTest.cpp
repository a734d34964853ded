#include "DbSupport.hpp"

#include "db/GdlGeneration.hpp"
#include "ostrel/Text.hpp"

#include <gtest/gtest.h>

#include <memory>

namespace {

using namespace tarvel;
using tarvel::testing::Script;
using tarvel::testing::SplitLines;
using Lines = std::vector<std::string>;

std::string Emit(DBEntity& entity, double u = 1000)
{
    GdlWriter writer;
    writer.unitDivisor = u;
    entity.EmitGDL(writer);
    return writer.GetScript();
}

template <typename T>
std::shared_ptr<T> Solid(std::int16_t boolOp = 0, bool simple = false)
{
    auto solid = std::make_shared<T>();
    solid->boolOp = boolOp;
    solid->simple = simple;
    return solid;
}

std::shared_ptr<Block3D> Block(glm::dvec3 start, glm::dvec3 end, std::int16_t boolOp = 0, bool simple = false)
{
    auto block = Solid<Block3D>(boolOp, simple);
    block->start = start;
    block->end = end;
    return block;
}

const std::string kIdentity = "    XFORM 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0";

TEST(PrimitiveSolidTest, Texts)
{
    struct Case {
        const char* what;
        std::shared_ptr<BasicEntry3D> solid;
        Lines lines;
    };
    auto cone = [](double r, double h) {
        auto s = Solid<Cone3D>();
        s->radius = r;
        s->height = h;
        return s;
    };
    auto cylinder = [](double r, double h) {
        auto s = Solid<Cylinder3D>();
        s->radius = r;
        s->height = h;
        return s;
    };
    auto sphere = [](double r) {
        auto s = Solid<Sphere3D>();
        s->radius = r;
        return s;
    };
    auto torus = [](double major, double minor) {
        auto s = Solid<Torus3D>();
        s->majorRadius = major;
        s->minorRadius = minor;
        return s;
    };
    auto translatedBlock = Block({0, 0, 0}, {10, 10, 10});
    translatedBlock->transform[0][3] = 500;
    const Case cases[] = {
        {"block mirrored on x", Block({100, 200, 0}, {0, 700, 300}),
         {kIdentity, "    ADD 0.1, 0.2, 0", "    MULX -1", "    BLOCK 0.1, 0.5, 0.3", "    DEL 1", "    DEL 2", ""}},
        {"block mirrored on all axes", Block({100, 200, 300}, {0, 0, 0}),
         {kIdentity, "    ADD 0.1, 0.2, 0.3", "    MULX -1", "    MULY -1", "    MULZ -1", "    BLOCK 0.1, 0.2, 0.3",
          "    DEL 1", "    DEL 1", "    DEL 1", "    DEL 2", ""}},
        {"flat block", Block({0, 0, 0}, {1000, 0, 0}),
         {kIdentity, "    ADD 0, 0, 0", "    BLOCK 1, 0, 0", "    DEL 2", ""}},
        {"block with translation", translatedBlock,
         {"    XFORM 1, 0, 0, 0.5, 0, 1, 0, 0, 0, 0, 1, 0", "    ADD 0, 0, 0", "    BLOCK 0.01, 0.01, 0.01",
          "    DEL 2", ""}},
        {"cone downwards", cone(50, -200),
         {kIdentity, "    ADD 0, 0, 0", "    MULZ -1", "    CONE 0.2, 0.05, 0, 90, 90", "    DEL 1", "    DEL 2",
          ""}},
        {"cone upwards", cone(50, 200),
         {kIdentity, "    ADD 0, 0, 0", "    CONE 0.2, 0.05, 0, 90, 90", "    DEL 2", ""}},
        {"cone of zero height", cone(50, 0),
         {kIdentity, "    ADD 0, 0, 0", "    CONE 0, 0.05, 0, 90, 90", "    DEL 2", ""}},
        {"cone without radius", cone(0, 200), {}},
        {"cylinder", cylinder(50, 200), {kIdentity, "    ADD 0, 0, 0", "    CYLIND 0.2, 0.05", "    DEL 2", ""}},
        {"cylinder downwards", cylinder(50, -200),
         {kIdentity, "    ADD 0, 0, 0", "    MULZ -1", "    CYLIND 0.2, 0.05", "    DEL 1", "    DEL 2", ""}},
        {"cylinder with negative radius", cylinder(-5, 200), {}},
        {"sphere", sphere(250), {kIdentity, "    ADD 0, 0, 0", "    SPHERE 0.25", "    DEL 2", ""}},
        {"sphere without radius", sphere(0), {}},
        {"torus", torus(300, 100),
         {kIdentity, "    ADD 0, 0, 0", "    ROTY -90", "    REVOLVE 2, 360, 128, 0, 0.1, 900, 0.1, 360, 4001",
          "    DEL 3", ""}},
        {"torus with equal radii", torus(100, 100), {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SplitLines(Emit(*c.solid)), c.lines) << c.what;
}

std::shared_ptr<Part> MakePart(const std::wstring& id, std::vector<std::shared_ptr<BasicEntry3D>> solids)
{
    auto part = std::make_shared<Part>();
    part->id = id;
    part->solids = std::move(solids);
    return part;
}

std::shared_ptr<Assembly> MakeAssembly(const std::wstring& id, std::vector<std::shared_ptr<Element>> children,
                                       std::string mode = "NONE")
{
    auto assembly = std::make_shared<Assembly>();
    assembly->id = id;
    assembly->children = std::move(children);
    assembly->boolMode = std::move(mode);
    return assembly;
}

// The group lines of the 3D text: everything but the solids' own body lines.
Lines GroupLines(const std::string& script)
{
    Lines out;
    for (const auto& line : SplitLines(script))
        if (line.rfind("    ", 0) != 0 && !line.empty())
            out.push_back(line);
    return out;
}

TEST(PartGroupTest, SolidsCombineByTheirOperations)
{
    auto material = std::make_shared<Material>();
    material->name = L"Steel";
    auto cylinder = Solid<Cylinder3D>(2, true);
    cylinder->radius = 1;
    cylinder->height = 1;
    auto sphere = Solid<Sphere3D>(1, false);
    sphere->radius = 1;
    auto part = MakePart(L"P1", {Block({0, 0, 0}, {1, 1, 1}), cylinder, sphere});
    part->material = material;
    GdlWriter writer;
    auto root = MakeAssembly(L"A", {part});
    root->EmitGDL(writer);
    const Lines lines = SplitLines(writer.GetScript());
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], "SET MATERIAL \"Steel\"");
    EXPECT_EQ(lines[1], "GROUP \"part_P1_1\"");
    EXPECT_EQ(lines[2], "");
    EXPECT_EQ(GroupLines(writer.GetScript()),
              (Lines{"SET MATERIAL \"Steel\"", "GROUP \"part_P1_1\"", "ENDGROUP", "GROUP \"part_P1_2\"", "ENDGROUP",
                     "part_P1_3 = SUBGROUP (\"part_P1_1\", \"part_P1_2\")", "GROUP \"part_P1_4\"", "ENDGROUP",
                     "part_P1_5 = ADDGROUP (part_P1_3, \"part_P1_4\")"}));
    EXPECT_EQ(writer.GetGroupNames(), (std::vector<std::wstring>{L"part_P1_5"}));
    // every combination line is followed by one empty line
    const std::string text = writer.GetScript();
    EXPECT_NE(text.find("part_P1_3 = SUBGROUP (\"part_P1_1\", \"part_P1_2\")\n\nGROUP"), std::string::npos);
    const std::string last = "part_P1_5 = ADDGROUP (part_P1_3, \"part_P1_4\")\n\n";
    ASSERT_GE(text.size(), last.size());
    EXPECT_EQ(text.substr(text.size() - last.size()), last);
}

struct RuleCase {
    const char* what;
    std::vector<std::wstring> before;
    std::int16_t boolOp;
    bool simple;
    std::vector<std::wstring> after;
    Lines combinations;
};

TEST(PartGroupTest, OperationRulesOnTheHandedList)
{
    const std::wstring J = L"\"part_P_1\"";
    const RuleCase cases[] = {
        {"none on empty slot", {L""}, 0, false, {J}, {}},
        {"none beside a result", {L"x"}, 0, false, {L"x", J}, {}},
        {"union with first", {L"x", L"y"}, 1, false, {L"part_P_2", L"y"}, {"part_P_2 = ADDGROUP (x, \"part_P_1\")"}},
        {"union simple on empty first", {L"", L"y"}, 1, true, {J, L"y"}, {}},
        {"union falls back on last", {L"", L"y"}, 1, false, {L"", L"part_P_2"},
         {"part_P_2 = ADDGROUP (y, \"part_P_1\")"}},
        {"union with nothing", {L""}, 1, false, {J}, {}},
        {"subtract simple", {L"x", L"y"}, 2, true, {L"part_P_2", L"y"}, {"part_P_2 = SUBGROUP (x, \"part_P_1\")"}},
        {"subtract simple fills the empty slot", {L""}, 2, true, {J}, {}},
        {"subtract from every result", {L"x", L"", L"y"}, 2, false, {L"part_P_2", L"", L"part_P_3"},
         {"part_P_2 = SUBGROUP (x, \"part_P_1\")", "part_P_3 = SUBGROUP (y, \"part_P_1\")"}},
        {"subtract from nothing places nothing", {L""}, 2, false, {L""}, {}},
        {"intersect simple", {L"x"}, 3, true, {L"part_P_2"}, {"part_P_2 = ISECTGROUP (x, \"part_P_1\")"}},
        {"intersect every result", {L"x", L"y"}, 3, false, {L"part_P_2", L"part_P_3"},
         {"part_P_2 = ISECTGROUP (x, \"part_P_1\")", "part_P_3 = ISECTGROUP (y, \"part_P_1\")"}},
        {"unknown operation", {L"x"}, 7, true, {L"x", J}, {}},
    };
    for (const auto& c : cases) {
        auto part = MakePart(L"P", {Block({0, 0, 0}, {1, 1, 1}, c.boolOp, c.simple)});
        GdlWriter writer;
        writer.groupNames = c.before;
        part->EmitGDL(writer);
        EXPECT_EQ(writer.groupNames, c.after) << c.what;
        Lines combinations;
        for (const auto& line : GroupLines(writer.GetScript()))
            if (line.find(" = ") != std::string::npos)
                combinations.push_back(line);
        EXPECT_EQ(combinations, c.combinations) << c.what;
    }
}

TEST(PartGroupTest, EmptyListFailsAfterTheGroupText)
{
    auto part = MakePart(L"P", {Block({0, 0, 0}, {1, 1, 1})});
    GdlWriter writer;
    EXPECT_THROW(part->EmitGDL(writer), std::out_of_range);
    EXPECT_EQ(GroupLines(writer.GetScript()), (Lines{"GROUP \"part_P_1\"", "ENDGROUP"}));

    GdlWriter quiet;
    MakePart(L"P", {Block({0, 0, 0}, {1, 1, 1}, 2, false)})->EmitGDL(quiet);
    EXPECT_TRUE(quiet.groupNames.empty());
}

TEST(PartGroupTest, EmptyPrimitiveStillGetsItsGroup)
{
    auto part = MakePart(L"P", {Solid<Sphere3D>()});
    GdlWriter writer;
    writer.groupNames = {L""};
    part->EmitGDL(writer);
    EXPECT_EQ(writer.GetScript(), "GROUP \"part_P_1\"\n\nENDGROUP\n\n");
}

TEST(PartGroupTest, PartWithoutSolidsWritesOnlyItsMaterial)
{
    auto part = MakePart(L"P", {});
    part->material = std::make_shared<Material>();
    part->material->name = L"Oak";
    GdlWriter writer;
    writer.groupNames = {L"x"};
    part->EmitGDL(writer);
    EXPECT_EQ(writer.GetScript(), "SET MATERIAL \"Oak\"\n");
    EXPECT_EQ(writer.groupNames, (std::vector<std::wstring>{L"x"}));
}

TEST(PartGroupTest, MaterialNamesAreEncodedInTheirQuotes)
{
    auto part = MakePart(L"P", {Block({0, 0, 0}, {1, 1, 1})});
    part->material = std::make_shared<Material>();
    part->material->name = L"Oak \"natural\"";
    GdlWriter writer;
    MakeAssembly(L"A", {part})->EmitGDL(writer);
    EXPECT_EQ(GroupLines(writer.GetScript()),
              (Lines{"SET MATERIAL \"Oak %22natural%22\"", "GROUP \"part_P_1\"", "ENDGROUP"}));
}

// An id in the quoted group names as GdlNameText has it, in the unquoted result names
// with "_" for every character outside a GDL name; long ids (beyond the room a line is
// begun with, and the room kept for a name's wide text) come out whole.
TEST(PartGroupTest, IdsInQuotedAndUnquotedNames)
{
    struct Case {
        const char* what;
        std::wstring id;
        std::string quoted;  // UTF-8, in the quoted names
        std::string bare;    // in the result names
    };
    const Case cases[] = {
        {"GDL name characters", L"P1_x", "P1_x", "P1_x"},
        {"a blank", L"bein 1", "bein 1", "bein_1"},
        {"quote and line break", L"a\"b\nc", "a%22b%0Ac", "a_b_c"},
        {"hyphen and dot", L"a-b.c", "a-b.c", "a_b_c"},
        {"accented and CJK", {L'p', 0x00E9, 0x4E2D}, "p\xC3\xA9\xE4\xB8\xAD", "p__"},
        {"a surrogate pair is one character", {L'x', 0xD83D, 0xDE00, L'y'}, "x\xF0\x9F\x98\x80y", "x_y"},
        {"long", std::wstring(700, L'x'), std::string(700, 'x'), std::string(700, 'x')},
        {"long with a blank", std::wstring(700, L'x') + L" ", std::string(700, 'x') + " ", std::string(700, 'x') + "_"},
    };
    for (const Case& c : cases) {
        auto part = MakePart(c.id, {Block({0, 0, 0}, {1, 1, 1}), Block({0, 0, 0}, {1, 1, 1}, 1)});
        auto assembly = MakeAssembly(c.id, {part, MakeAssembly(L"B", {MakePart(L"Q", {Block({0, 0, 0}, {1, 1, 1})})},
                                                                  "UNION_ALL")});
        GdlWriter writer;
        assembly->EmitGDL(writer);
        const std::string q = "part_" + c.quoted;
        const std::string p = "part_" + c.bare;
        const std::string a = "assembly_" + c.bare;
        EXPECT_EQ(GroupLines(writer.GetScript()),
                  (Lines{"GROUP \"" + q + "_1\"", "ENDGROUP", "GROUP \"" + q + "_2\"", "ENDGROUP",
                         p + "_3 = ADDGROUP (\"" + q + "_1\", \"" + q + "_2\")", "GROUP \"part_Q_1\"", "ENDGROUP",
                         a + "_1 = ADDGROUP (" + p + "_3, \"part_Q_1\")"}))
            << c.what;
        ASSERT_EQ(writer.groupNames.size(), 1u) << c.what;
        EXPECT_EQ(ostrel::WStringToUtf8(writer.groupNames[0]), a + "_1") << c.what;
        // The part alone hands its parent the quoted name of a single solid.
        GdlWriter single;
        single.groupNames = {L""};
        MakePart(c.id, {Block({0, 0, 0}, {1, 1, 1})})->EmitGDL(single);
        EXPECT_EQ(ostrel::WStringToUtf8(single.groupNames.at(0)), "\"" + q + "_1\"") << c.what;
    }
}

TEST(PartGroupTest, PartCounterWrapsAsASignedShort)
{
    std::vector<std::shared_ptr<BasicEntry3D>> solids;
    for (int i = 0; i < 32768; ++i)
        solids.push_back(Solid<Sphere3D>());  // writes only its group lines
    auto part = MakePart(L"P", solids);
    GdlWriter writer;
    writer.groupNames = {L""};
    part->EmitGDL(writer);
    EXPECT_EQ(writer.groupNames.back(), L"\"part_P_-32768\"");
    EXPECT_EQ(writer.groupNames[writer.groupNames.size() - 2], L"\"part_P_32767\"");
}

class AssemblyTreeTest : public ::testing::TestWithParam<std::tuple<std::string, Lines, std::vector<std::wstring>>> {};

TEST_P(AssemblyTreeTest, ChildAssembliesCombineByTheirMode)
{
    const auto& [mode, combinations, results] = GetParam();
    auto p1 = MakePart(L"P1", {Block({0, 0, 0}, {1, 1, 1})});
    auto p2 = MakePart(L"P2", {Block({0, 0, 0}, {1, 1, 1})});
    auto p3 = MakePart(L"P3", {Block({0, 0, 0}, {1, 1, 1})});
    auto a2 = MakeAssembly(L"A2", {p2, p3}, mode);
    auto a1 = MakeAssembly(L"A1", {p1, a2});
    GdlWriter writer;
    a1->EmitGDL(writer);
    Lines groups = {"GROUP \"part_P1_1\"", "ENDGROUP", "GROUP \"part_P2_1\"", "ENDGROUP", "GROUP \"part_P3_1\"",
                    "ENDGROUP"};
    groups.insert(groups.end(), combinations.begin(), combinations.end());
    EXPECT_EQ(GroupLines(writer.GetScript()), groups);
    EXPECT_EQ(writer.groupNames, results);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, AssemblyTreeTest,
    ::testing::Values(
        std::make_tuple(std::string("SUBTRACT_ALL"),
                        Lines{"assembly_A1_1 = ADDGROUP (\"part_P2_1\", \"part_P3_1\")",
                              "assembly_A1_2 = SUBGROUP (\"part_P1_1\", assembly_A1_1)"},
                        std::vector<std::wstring>{L"assembly_A1_2"}),
        std::make_tuple(std::string("INTERSECT_ALL"),
                        Lines{"assembly_A1_1 = ADDGROUP (\"part_P2_1\", \"part_P3_1\")",
                              "assembly_A1_2 = ISECTGROUP (\"part_P1_1\", assembly_A1_1)"},
                        std::vector<std::wstring>{L"assembly_A1_2"}),
        std::make_tuple(std::string("UNION_ALL"),
                        Lines{"assembly_A1_1 = ADDGROUP (\"part_P1_1\", \"part_P2_1\")",
                              "assembly_A1_2 = ADDGROUP (assembly_A1_1, \"part_P3_1\")"},
                        std::vector<std::wstring>{L"assembly_A1_2"}),
        std::make_tuple(std::string("NONE"), Lines{},
                        std::vector<std::wstring>{L"\"part_P1_1\"", L"\"part_P2_1\"", L"\"part_P3_1\""}),
        std::make_tuple(std::string("union_all"), Lines{},
                        std::vector<std::wstring>{L"\"part_P1_1\"", L"\"part_P2_1\"", L"\"part_P3_1\""})));

TEST(AssemblyGroupTest, UnionIntoAnEmptyFirstSlotUsesTheLast)
{
    // P0's subtracting solid without simple leaves the slot empty; the union then chains its results.
    auto p0 = MakePart(L"P0", {Block({0, 0, 0}, {1, 1, 1}, 2, false)});
    auto p2 = MakePart(L"P2", {Block({0, 0, 0}, {1, 1, 1})});
    auto p3 = MakePart(L"P3", {Block({0, 0, 0}, {1, 1, 1})});
    auto a2 = MakeAssembly(L"A2", {p2, p3}, "UNION_ALL");
    auto a1 = MakeAssembly(L"A1", {p0, a2});
    GdlWriter writer;
    a1->EmitGDL(writer);
    EXPECT_EQ(writer.groupNames, (std::vector<std::wstring>{L"assembly_A1_1"}));
    EXPECT_NE(writer.GetScript().find("assembly_A1_1 = ADDGROUP (\"part_P2_1\", \"part_P3_1\")"), std::string::npos);
}

TEST(AssemblyGroupTest, SubtractWithoutChildResultsChangesNothing)
{
    auto p1 = MakePart(L"P1", {Block({0, 0, 0}, {1, 1, 1})});
    auto empty = MakeAssembly(L"E", {}, "SUBTRACT_ALL");
    GdlWriter writer;
    MakeAssembly(L"A", {p1, empty})->EmitGDL(writer);
    EXPECT_EQ(writer.groupNames, (std::vector<std::wstring>{L"\"part_P1_1\""}));
}

TEST(AssemblyGroupTest, PartListedTwiceRepeatsItsNames)
{
    auto p1 = MakePart(L"P1", {Block({0, 0, 0}, {1, 1, 1})});
    GdlWriter writer;
    MakeAssembly(L"A", {p1, p1})->EmitGDL(writer);
    EXPECT_EQ(GroupLines(writer.GetScript()),
              (Lines{"GROUP \"part_P1_1\"", "ENDGROUP", "GROUP \"part_P1_1\"", "ENDGROUP"}));
    EXPECT_EQ(writer.groupNames, (std::vector<std::wstring>{L"\"part_P1_1\"", L"\"part_P1_1\""}));
}

TEST(AssemblyGroupTest, EmptyChildrenAreSkipped)
{
    auto p1 = MakePart(L"P1", {Block({0, 0, 0}, {1, 1, 1})});
    GdlWriter writer;
    MakeAssembly(L"A", {nullptr, p1, nullptr})->EmitGDL(writer);
    EXPECT_EQ(writer.groupNames, (std::vector<std::wstring>{L"\"part_P1_1\""}));
}

TarvelDB Database(std::vector<std::shared_ptr<Assembly>> assemblies, std::wstring unit = L"mm")
{
    TarvelDB db;
    for (auto& a : assemblies)
        db.AddAssembly(a);
    db.unit = std::move(unit);
    return db;
}

const Lines kHeader = {"BODY -1", "MODEL SOLID", "PEN 1", "MATERIAL 0", ""};

TEST(GenerationDriverTest, EmptyDatabase)
{
    TarvelDB db;
    GdlWriter writer;
    GenerateGdlFromDatabase(db, writer);
    EXPECT_EQ(writer.GetMasterScript(), "DEFINE EMPTY_FILL \"Background\" FILLTYPES_MASK 7\n"
                                        "DIM\ttmp_C4D_ShNoise_Color1_5[3]\n"
                                        "  tmp_C4D_ShNoise_Color1_5[1] = 0.3367346938776\n"
                                        "  tmp_C4D_ShNoise_Color1_5[2] = 0.3367346938776\n"
                                        "  tmp_C4D_ShNoise_Color1_5[3] = 0.3367346938776\n"
                                        "DIM\ttmp_C4D_ShNoise_RelativeScale_5[3]\n"
                                        "  tmp_C4D_ShNoise_RelativeScale_5[1] = 1\n"
                                        "  tmp_C4D_ShNoise_RelativeScale_5[2] = 3.55\n"
                                        "  tmp_C4D_ShNoise_RelativeScale_5[3] = 1\n"
                                        "DIM\ttmp_C4D_ChCol_Color[3]\n"
                                        "\n");
    EXPECT_EQ(SplitLines(writer.GetScript()), kHeader);
}

TEST(GenerationDriverTest, UnitDivisor)
{
    const std::pair<std::wstring, std::string> cases[] = {
        {L"mm", "1.5"}, {L"cm", "15"}, {L"dm", "150"}, {L"m", "1500"}, {L"MM", "1500"},
        {L" mm", "1500"}, {L"mm ", "1500"}, {L"millimetre", "1500"}, {L"", "1500"},
    };
    for (const auto& [unit, text] : cases) {
        auto sphere = Solid<Sphere3D>();
        sphere->radius = 1500;
        auto db = Database({MakeAssembly(L"A", {MakePart(L"P", {sphere})})}, unit);
        EXPECT_NE(Script(db).find("    SPHERE " + text + "\n"), std::string::npos) << text;
    }
}

TEST(GenerationDriverTest, OnlyRootsArePlaced)
{
    auto part = MakePart(L"P", {Block({0, 0, 0}, {1, 1, 1})});
    auto b = MakeAssembly(L"B", {part});
    auto a = MakeAssembly(L"A", {b});
    auto lonely = MakePart(L"Q", {Block({0, 0, 0}, {1, 1, 1})});
    auto db = Database({b, a});
    db.AddPart(lonely);
    Lines expected = kHeader;
    const Lines body = {"GROUP \"part_P_1\"", "", "    XFORM 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0", "    ADD 0, 0, 0",
                        "    BLOCK 0.001, 0.001, 0.001", "    DEL 2", "", "ENDGROUP", "", "PLACEGROUP \"part_P_1\"",
                        ""};
    expected.insert(expected.end(), body.begin(), body.end());
    EXPECT_EQ(SplitLines(Script(db)), expected);
}

TEST(GenerationDriverTest, AssembliesListingEachOtherAreNoRoots)
{
    auto a = MakeAssembly(L"A", {});
    auto b = MakeAssembly(L"B", {a});
    a->children.push_back(b);
    auto db = Database({a, b});
    EXPECT_EQ(SplitLines(Script(db)), kHeader);
    a->children.clear();  // break the cycle for the release
}

TEST(GenerationDriverTest, AssemblyContainingItselfStopsTheGeneration)
{
    auto part = MakePart(L"P", {Block({0, 0, 0}, {1, 1, 1})});
    auto a = MakeAssembly(L"A", {part});
    a->children.push_back(a);
    auto db = Database({a});
    GdlWriter writer;
    try {
        GenerateGdlFromDatabase(db, writer);
        ADD_FAILURE() << "no error";
    } catch (const GdlGenerationException& e) {
        EXPECT_STREQ(e.what(), "GDL generation stopped: assembly A contains itself");
    }
    a->children.clear();
}

TEST(GenerationDriverTest, SharedSubAssembliesCannotDemandUnboundedText)
{
    // Each level lists the one below twice: 2^40 emissions of the single part.
    auto part = MakePart(L"P", {Block({0, 0, 0}, {1, 1, 1})});
    std::shared_ptr<Assembly> level = MakeAssembly(L"L0", {part});
    std::vector<std::shared_ptr<Assembly>> all = {level};
    for (int i = 1; i <= 40; ++i) {
        level = MakeAssembly(L"L" + std::to_wstring(i), {level, level});
        all.push_back(level);
    }
    auto db = Database(all);
    GdlWriter writer;
    writer.textLimit = 1 << 20;
    EXPECT_THROW(GenerateGdlFromDatabase(db, writer), GdlGenerationException);
    EXPECT_LE(writer.GetScript().size(), std::size_t{1} << 20);

    // Without any text to write, the count of emissions bounds the work.
    std::shared_ptr<Assembly> empty = MakeAssembly(L"E0", {});
    std::vector<std::shared_ptr<Assembly>> empties = {empty};
    for (int i = 1; i <= 60; ++i) {
        empty = MakeAssembly(L"E" + std::to_wstring(i), {empty, empty});
        empties.push_back(empty);
    }
    GdlWriter quiet;
    quiet.emissionLimit = 100000;
    EXPECT_THROW(GenerateGdlFromDatabase(Database(empties), quiet), GdlGenerationException);
}

TEST(GenerationDriverTest, DeepNestingStopsWithAnErrorNotACrash)
{
    std::vector<std::shared_ptr<Assembly>> chain = {MakeAssembly(L"C0", {MakePart(L"P", {Block({0, 0, 0}, {1, 1, 1})})})};
    for (int i = 1; i < 100000; ++i)
        chain.push_back(MakeAssembly(L"C" + std::to_wstring(i), {chain.back()}));
    auto db = Database(chain);
    GdlWriter writer;
    EXPECT_THROW(GenerateGdlFromDatabase(db, writer), GdlGenerationException);
    // shallow trees are untouched by the bound
    auto shallow = Database({chain[0], chain[1], chain[2]});
    EXPECT_NO_THROW(Script(shallow));
}

TEST(GenerationDriverTest, LongChainsOfUnlistedAssembliesAreReleasedWithoutRecursion)
{
    std::shared_ptr<Assembly> top = MakeAssembly(L"x", {});
    for (int i = 0; i < 300000; ++i)
        top = MakeAssembly(L"x", {top});
    top.reset();  // would overflow the stack if released level by level
    SUCCEED();
}

}  // namespace
