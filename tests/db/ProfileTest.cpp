#include "DbSupport.hpp"

#include "db/Sketches.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

namespace {

using namespace tarvel;
using tarvel::testing::SplitLines;
using Lines = std::vector<std::string>;

std::shared_ptr<Line2D> L(double x0, double y0, double x1, double y1)
{
    auto e = std::make_shared<Line2D>();
    e->start = {x0, y0};
    e->end = {x1, y1};
    return e;
}
std::shared_ptr<Arc2D> A(double cx, double cy, double r, double from, double to)
{
    auto e = std::make_shared<Arc2D>();
    e->center = {cx, cy};
    e->radius = r;
    e->startAngle = from;
    e->endAngle = to;
    return e;
}
std::shared_ptr<Circle2D> C(double cx, double cy, double r)
{
    auto e = std::make_shared<Circle2D>();
    e->center = {cx, cy};
    e->radius = r;
    return e;
}
std::shared_ptr<Sketch> S(std::vector<std::shared_ptr<BasicEntry2D>> entries)
{
    auto s = std::make_shared<Sketch>();
    s->entries = std::move(entries);
    return s;
}

const std::string kIdentity = "    XFORM 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0";

TEST(MaterialDefinitionTest, SteelTemplate)
{
    Material m;
    m.name = L"Steel";
    m.diffuse = {255, 128, 0};
    m.specular = {255, 255, 255};
    m.shininess = 50;
    m.transparency = 0.25;
    m.ambient = {9, 9, 9};
    GdlWriter writer;
    m.EmitGDL(writer);
    const Lines lines = SplitLines(writer.GetMasterScript());
    ASSERT_EQ(lines.size(), 51u);
    const Lines head = {"tmp_C4D_ChCol_Color[1] = 1",
                        "tmp_C4D_ChCol_Color[2] = 0.501961",
                        "tmp_C4D_ChCol_Color[3] = 0",
                        "DEFINE MATERIAL \"Steel\" 20,",
                        "    1, 0.501961, 0, ! surface RGB [0.0..1.0]",
                        "    1.0, 0.5, 0.5, ! ambient, diffuse, specular coeff. [0.0..1.0] (all three)",
                        "    0.25, ! transparent coeff. [0.0..1.0]",
                        "    50, ! shining [0.0..100.0]",
                        "    0, ! transparency atten. [0.0..4.0]",
                        "    1, 1, 1, ! specular RGB [0.0..1.0]",
                        "    0, 0, 0, ! emissive RGB [0.0..1.0]",
                        "    0, ! emission atten. [0.0..65.5]",
                        "    IND(FILL, \"Background\"), -1, 0 ADDITIONAL_DATA C4D_VER_MAIN = 1,"};
    EXPECT_EQ(Lines(lines.begin(), lines.begin() + 13), head);
    EXPECT_EQ(lines[15], "    C4D_ChCol_Color = tmp_C4D_ChCol_Color,");
    EXPECT_EQ(lines[27], "    C4D_ShNoise_Color1_5 = tmp_C4D_ShNoise_Color1_5,");
    EXPECT_EQ(lines[45], "    C4D_ChBum_Strength = -0.09,");
    EXPECT_EQ(lines[49], "    C4D_ShNoise_GlobalScale_14 = 0.05");
    EXPECT_EQ(lines[50], "");

    // the ambient colour changes nothing; a component above 255 gives a fraction above 1
    Material other = m;
    other.ambient = {200, 0, 0};
    GdlWriter second;
    other.EmitGDL(second);
    EXPECT_EQ(second.GetMasterScript(), writer.GetMasterScript());
    Material bright;
    bright.diffuse = {300, 51, 0};
    GdlWriter third;
    bright.EmitGDL(third);
    EXPECT_EQ(SplitLines(third.GetMasterScript())[4], "    1.17647, 0.2, 0, ! surface RGB [0.0..1.0]");
    EXPECT_EQ(SplitLines(third.GetMasterScript())[6], "    0, ! transparent coeff. [0.0..1.0]");
}

TEST(MaterialDefinitionTest, DefinedInListOrderAfterThePreamble)
{
    TarvelDB db;
    for (const wchar_t* name : {L"A", L"B \"quoted\""}) {
        auto m = std::make_shared<Material>();
        m->id = name;
        m->name = name;
        db.AddMaterial(m);
    }
    GdlWriter writer;
    GenerateGdlFromDatabase(db, writer);
    const Lines lines = SplitLines(writer.GetMasterScript());
    ASSERT_EQ(lines.size(), 11u + 2 * 51u);
    EXPECT_EQ(lines[11], "tmp_C4D_ChCol_Color[1] = 0");
    EXPECT_EQ(lines[14], "DEFINE MATERIAL \"A\" 20,");
    EXPECT_EQ(lines[62 + 3], "DEFINE MATERIAL \"B %22quoted%22\" 20,");
}

struct ProfileCase {
    const char* what;
    std::shared_ptr<Sketch> sketch;
    double u;
    double theta;
    bool skip;
    bool mirror;
    Lines lines;  // after "    RESOL 36"
    double lastX = std::numeric_limits<double>::quiet_NaN();
    double lastY = 0;
};

TEST(SketchProfileTest, Emission)
{
    const ProfileCase cases[] = {
        {"empty sketch", S({}), 1, 0, false, false, {}},
        {"two lines", S({L(0, 0, 1000, 500), L(1000, 500, 0, 500)}), 1000, 0, false, false,
         {"    PUT 0, 0, 15", "    PUT 1, 0.5, 15", "    PUT 0, 0.5, 15"}, 0, 0.5},
        {"snapped first point", S({L(0, 0.000004, 5, 0)}), 1, 0, false, false,
         {"    PUT 0, 1e-05, 15", "    PUT 5, 0, 15"}},
        {"first line on the axis in a revolve", S({L(0, 0, 10, 0), L(10, 0, 10, 5)}), 1, 0, true, false,
         {"    PUT 10, 0, 15", "    PUT 10, 5, 15"}},
        {"last line on the axis in a revolve", S({L(10, 5, 10, 0), L(10, 0, 0, 0)}), 1, 0, true, false,
         {"    PUT 10, 5, 15", "    PUT 10, 0, 15"}},
        {"only line on the axis in a revolve", S({L(0, 0, 10, 0)}), 1, 0, true, false, {"    PUT 10, 0, 15"}},
        {"first arc", S({A(0, 0, 10, 0, 90)}), 1, 0, false, false,
         {"    PUT 10, 0, 15", "    PUT 0, 0, 900", "    PUT 0, 90, 4015"}, 6.123233995736766e-16, 10},
        {"arc across zero degrees", S({A(0, 0, 1, 270, 90)}), 1, 0, false, false,
         {"    PUT -1.83697e-16, -1, 15", "    PUT 0, 0, 900", "    PUT 0, 180, 4015"}},
        {"later arc arriving at its end", S({L(20, 0, 10, 0), A(0, 0, 10, 0, 90), }), 1, 0, false, false,
         {"    PUT 20, 0, 15", "    PUT 10, 0, 15", "    PUT 0, 0, 900", "    PUT 0, 90, 4015"}},
        {"later arc arriving at its start", S({L(0, 20, 6.123233995736766e-16, 10), A(0, 0, 10, 0, 90)}), 1, 0, false,
         false, {"    PUT 0, 20, 15", "    PUT 1e-05, 10, 15", "    PUT 0, 0, 900", "    PUT 0, -90, 4015"},
         10, 0},
        {"mirrored first arc", S({A(0, 5, 5, 0, 90)}), 1, 0, false, true,
         {"    PUT 5, -5, 15", "    PUT 0, -5, 900", "    PUT 0, -90, 4015"}, 3.061616997868383e-16, -10},
        {"circle, anywhere in the profile", S({L(0, 0, 1, 1), C(20, 5, 5)}), 1, 0, false, false,
         {"    PUT 0, 0, 15", "    PUT 1, 1, 15", "    PUT 15, 5, 15", "    PUT 20, 5, 900", "    PUT 0, 180, 4015",
          "    PUT 20, 5, 900", "    PUT 0, 180, 4015"},
         15, 5},
        {"circle divided", S({C(2000, 0, 500)}), 1000, 0, false, false,
         {"    PUT 1.5, 0, 15", "    PUT 2, 0, 900", "    PUT 0, 180, 4015", "    PUT 2, 0, 900",
          "    PUT 0, 180, 4015"}},
        {"turned a quarter", S({L(0, 0, 0, 10)}), 1, -1.5707963267948966, false, false,
         {"    PUT 0, 0, 15", "    PUT 10, 1e-05, 15"}},
    };
    for (const auto& c : cases) {
        GdlWriter writer;
        writer.unitDivisor = c.u;
        writer.axisAngle = c.theta;
        writer.skipAxisPoints = c.skip;
        writer.mirrorY = c.mirror;
        c.sketch->EmitGDL(writer);
        Lines expected = {"    RESOL 36"};
        expected.insert(expected.end(), c.lines.begin(), c.lines.end());
        EXPECT_EQ(SplitLines(writer.GetScript()), expected) << c.what;
        EXPECT_EQ(writer.entryCount, static_cast<int>(c.sketch->entries.size())) << c.what;
        EXPECT_EQ(writer.entryIndex, c.sketch->entries.size()) << c.what;
        if (!std::isnan(c.lastX)) {
            EXPECT_NEAR(writer.lastX, c.lastX, 1e-12) << c.what;
            EXPECT_NEAR(writer.lastY, c.lastY, 1e-12) << c.what;
        }
    }
}

TEST(SketchProfileTest, Sides)
{
    struct Case {
        const char* what;
        std::shared_ptr<Sketch> sketch;
        double theta;
        std::int16_t side;
    };
    const Case cases[] = {
        {"empty", S({}), 0, 0},
        {"line above", S({L(0, 2, 5, 3)}), 0, 1},
        {"line across", S({L(0, -2, 5, 3)}), 0, 0},
        {"line from the axis down", S({L(0, 0, 5, -3)}), 0, -1},
        {"line on the axis", S({L(0, 0, 5, 0)}), 0, 0},
        {"circle above", S({C(0, 3, 2)}), 0, 1},
        {"circle across", S({C(0, 3, 4)}), 0, 0},
        {"point circle on the axis", S({C(4, 0, 0)}), 0, 0},
        {"upper half arc", S({A(0, 0, 5, 0, 180)}), 0, 1},
        {"lower half arc", S({A(0, 0, 5, 180, 360)}), 0, -1},
        {"left half arc", S({A(0, 0, 5, 90, 270)}), 0, 0},
        {"arc below through a wide circle", S({A(0, 5, 10, 180, 360)}), 0, 0},
        {"arc above the axis on a wide circle", S({A(0, 5, 10, 30, 150)}), 0, 1},
        {"arc of no sweep", S({A(0, 0, 5, 270, 270)}), 0, -1},
        {"arc beside the axis", S({A(0, -8, 5, 0, 360)}), 0, -1},
        {"half disc", S({A(0, 0, 5, 0, 180), L(-5, 0, 5, 0)}), 0, 1},
        {"one entry each side", S({L(0, 1, 5, 1), L(5, 1, 5, -1)}), 0, 0},
        {"turned a quarter", S({L(2, 0, 2, 5)}), -1.5707963267948966, -1},
        {"turned the other way", S({L(2, 0, 2, 5)}), 1.5707963267948966, 1},
        {"turned onto the axis", S({L(0, 0, 0, 5)}), 1.5707963267948966, 0},
    };
    for (const auto& c : cases) {
        GdlWriter writer;
        writer.axisAngle = c.theta;
        EXPECT_EQ(c.sketch->AxisSide(writer), c.side) << c.what;
    }
    EXPECT_EQ(SignWithTolerance(0.0000009), 0);
    EXPECT_EQ(SignWithTolerance(-0.000001), -1);
    EXPECT_EQ(SignWithTolerance(std::numeric_limits<double>::quiet_NaN()), 0);
    EXPECT_EQ(SignWithTolerance(std::numeric_limits<double>::infinity()), 1);
}

// A negative difference gets 360 only once, so a sweep can stay negative and the arc
// runs downward from its start angle: its points, not only its ends, decide its side.
TEST(SketchProfileTest, ArcSides)
{
    constexpr double kQuarter = 1.5707963267948966;
    struct Case {
        const char* what;
        std::shared_ptr<Arc2D> arc;
        double theta;
        std::int16_t side;
    };
    const Case cases[] = {
        {"three turns down about -y, reaching below the axis", A(81.7, 0, 696, 1800, 360), kQuarter, 2},
        {"its mirror, ends below the axis", A(-81.7, 0, 696, 1980, 540), kQuarter, 2},
        {"half turn down over the top", A(0, -1, 5, 900, 360), 0, 2},
        {"half turn down under the bottom", A(0, 1, 5, 1080, 540), 0, 2},
        {"quarter turn down, above the axis", A(0, 0, 5, 540, 90), 0, 1},
        {"quarter turn down, below the axis", A(0, 0, 5, 630, 180), 0, -1},
        {"turns down beside the axis", A(0, 8, 5, 1800, 360), 0, 1},
    };
    for (const auto& c : cases) {
        GdlWriter writer;
        writer.axisAngle = c.theta;
        EXPECT_EQ(c.arc->AxisSide(writer), c.side) << c.what;
    }
}

// The side of random arcs, either sweep direction and several turns, against the
// extremes of densely sampled points of the arc.
TEST(SketchProfileTest, ArcSideAgreesWithItsPoints)
{
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> coordinate(-10, 10), radius(0, 12), angle(-1080, 1080), turn(-3.2, 3.2);
    int compared = 0;
    for (int i = 0; i < 3000; ++i) {
        auto arc = A(coordinate(rng), coordinate(rng), radius(rng), angle(rng), angle(rng));
        if (i % 3 == 0)  // whole degrees meet the top and bottom of the circle exactly
            arc = A(std::round(arc->center.x), std::round(arc->center.y), std::round(arc->radius),
                    std::round(arc->startAngle / 15) * 15, std::round(arc->endAngle / 15) * 15);
        const double theta = i % 2 == 0 ? 0 : turn(rng);
        double sweep = arc->endAngle - arc->startAngle;
        if (sweep < 0)
            sweep += 360;
        const double cy = arc->center.y * std::cos(theta) + arc->center.x * std::sin(theta);
        double low = HUGE_VAL;
        double high = -HUGE_VAL;
        // a sample every tenth of a degree misses an extreme by less than 2e-6 here
        const int samples = 1 + static_cast<int>(std::fabs(sweep) * 10);
        for (int k = 0; k <= samples; ++k) {
            const double phi = (arc->startAngle + sweep * k / samples) * 0.017453292519943295 + theta;
            const double y = cy + arc->radius * std::sin(phi);
            low = std::min(low, y);
            high = std::max(high, y);
        }
        // Skip arcs whose extremes lie too near the tolerance for sampling to tell.
        const auto near = [](double y) { return std::fabs(std::fabs(y) - 0.000001) < 0.001; };
        if (near(low) || near(high))
            continue;
        const bool positive = high > 0.000001;
        const bool negative = low < -0.000001;
        const std::int16_t expected = positive && negative ? 2 : positive ? 1 : negative ? -1 : 0;
        GdlWriter writer;
        writer.axisAngle = theta;
        EXPECT_EQ(arc->AxisSide(writer), expected)
            << "centre " << arc->center.x << ", " << arc->center.y << ", radius " << arc->radius << ", from "
            << arc->startAngle << " to " << arc->endAngle << ", turned " << theta;
        ++compared;
    }
    EXPECT_GT(compared, 2000);
}

std::shared_ptr<Extrude3D> Extrusion(std::shared_ptr<Sketch> sketch, double length)
{
    auto e = std::make_shared<Extrude3D>();
    e->sketch = std::move(sketch);
    e->length = length;
    return e;
}

TEST(ExtrudedSolidTest, Texts)
{
    auto circle = S({C(0, 0, 50)});
    GdlWriter writer;
    auto e = Extrusion(circle, 200);
    e->angle = 33;  // never written
    e->EmitGDL(writer);
    EXPECT_EQ(SplitLines(writer.GetScript()),
              (Lines{"    RESOL 36", "    PUT -50, 0, 15", "    PUT 0, 0, 900", "    PUT 0, 180, 4015",
                     "    PUT 0, 0, 900", "    PUT 0, 180, 4015", kIdentity, "    ADD 0, 0, 0",
                     "    PRISM_ NSP/3, 200, ", "        GET(NSP)", "    DEL 2", ""}));

    GdlWriter mm;
    mm.unitDivisor = 1000;
    Extrusion(circle, 250)->EmitGDL(mm);
    EXPECT_NE(mm.GetScript().find("\n    PRISM_ NSP/3, 0.25, \n"), std::string::npos);

    GdlWriter none;
    Extrusion(nullptr, 250)->EmitGDL(none);
    EXPECT_EQ(none.GetScript(), "");
}

std::shared_ptr<Revolve3D> Revolution(std::shared_ptr<Sketch> sketch, glm::dvec3 axis, double angle = 360)
{
    auto r = std::make_shared<Revolve3D>();
    r->sketch = std::move(sketch);
    r->axis = axis;
    r->angle = angle;
    return r;
}

const Lines kRefusal = {"! ERROR",
                        "! Sketch of revolve is invalid, cannot be revolved around axis because it has - and + Y "
                        "coordinates."};

TEST(RevolvedSolidTest, Texts)
{
    auto halfDisc = S({A(0, 0, 5, 0, 180), L(-5, 0, 5, 0)});
    struct Case {
        const char* what;
        std::shared_ptr<Revolve3D> solid;
        double u;
        Lines lines;
    };
    auto shifted = Revolution(halfDisc, {1, 0, 0}, 90);
    shifted->sketchTransform[2][3] = 100;  // row 3, column 2: a translation off the sketch plane
    auto singular = Revolution(halfDisc, {1, 0, 0});
    singular->sketchTransform[3][3] = 0;  // a missing M15
    const Case cases[] = {
        {"half disc", Revolution(halfDisc, {1, 0, 0}), 1,
         {"    RESOL 36", "    PUT 5, 0, 15", "    PUT 0, 0, 900", "    PUT 0, 180, 4015", kIdentity, "    ADD 0, 0, 0",
          kIdentity, "    ROTZ -0", "    REVOLVE NSP/3, 360, 1+2+4+8+16+32+0+128+256,", "        GET(NSP)",
          "    DEL 4", ""}},
        {"profile at negative x about y", Revolution(S({L(-2, 0, -2, 5), L(-2, 5, -4, 5)}), {0, 1, 0}), 1,
         {"    RESOL 36", "    PUT 0, 2, 15", "    PUT 5, 2, 15", "    PUT 5, 4, 15", kIdentity, "    ADD 0, 0, 0",
          kIdentity, "    ROTZ 90", "    REVOLVE NSP/3, 360, 1+2+4+8+16+32+0+128+256,", "        GET(NSP)",
          "    DEL 4", ""}},
        {"profile at positive x about y", Revolution(S({L(2, 0, 2, 5), L(2, 5, 4, 5)}), {0, 1, 0}), 1,
         {"    RESOL 36", "    PUT 1e-05, 2, 15", "    PUT -5, 2, 15", "    PUT -5, 4, 15", kIdentity,
          "    ADD 0, 0, 0", kIdentity, "    ROTZ -90", "    MULZ -1", "    REVOLVE NSP/3, 360, 1+2+4+8+16+32+0+128+256,",
          "        GET(NSP)", "    DEL 4", "    DEL 1", ""}},
        {"profile below the axis", Revolution(S({L(0, -1, 5, -1), L(5, -1, 5, -3)}), {1, 0, 0}), 1,
         {"    RESOL 36", "    PUT 0, 1, 15", "    PUT 5, 1, 15", "    PUT 5, 3, 15", kIdentity, "    ADD 0, 0, 0",
          kIdentity, "    ROTZ 0", "    MULZ -1", "    MULY -1", "    REVOLVE NSP/3, 360, 1+2+4+8+16+32+0+128+256,",
          "        GET(NSP)", "    DEL 4", "    DEL 1", "    DEL 1", ""}},
        {"mirrored arc turns the other way", Revolution(S({A(0, -5, 2, 0, 90)}), {1, 0, 0}), 1,
         {"    RESOL 36", "    PUT 2, 5, 15", "    PUT 0, 5, 900", "    PUT 0, -90, 4015", kIdentity,
          "    ADD 0, 0, 0", kIdentity, "    ROTZ 0", "    MULZ -1", "    MULY -1",
          "    REVOLVE NSP/3, 360, 1+2+4+8+16+32+0+128+256,", "        GET(NSP)", "    DEL 4", "    DEL 1",
          "    DEL 1", ""}},
        {"sketch transform divided", shifted, 1000,
         {"    RESOL 36", "    PUT 0.005, 0, 15", "    PUT 0, 0, 900", "    PUT 0, 180, 4015", kIdentity,
          "    ADD 0, 0, 0", "    XFORM 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0.1", "    ROTZ -0",
          "    REVOLVE NSP/3, 90, 1+2+4+8+16+32+0+128+256,", "        GET(NSP)", "    DEL 4", ""}},
        {"profile crossing the axis", Revolution(S({C(0, 0, 3)}), {1, 0, 0}), 1, kRefusal},
        {"profile on the axis", Revolution(S({L(0, 0, 5, 0)}), {1, 0, 0}), 1, kRefusal},
        {"axis through the sketch origin only", Revolution(halfDisc, {0, 0, 1}), 1, kRefusal},
        {"axis of zero length", Revolution(halfDisc, {0, 0, 0}), 1, kRefusal},
        {"sketch transform without inverse", singular, 1, kRefusal},
        {"axis not a number", Revolution(halfDisc, {std::nan(""), 0, 0}), 1, kRefusal},
        {"axis infinite", Revolution(halfDisc, {std::numeric_limits<double>::infinity(), 0, 0}), 1, kRefusal},
        // the arc turns three times downward round a circle that reaches across the axis
        {"arc of negative sweep crossing the axis",
         Revolution(S({A(81.7, 0, 696, 1800, 360), L(-614, 0, 778, 0)}), {0, -1, 0}), 1, kRefusal},
        {"its mirror, below the axis at first", Revolution(S({A(-81.7, 0, 696, 1980, 540), L(614, 0, -778, 0)}),
                                                           {0, -1, 0}), 1, kRefusal},
        {"no sketch", Revolution(nullptr, {1, 0, 0}), 1, {}},
    };
    for (const auto& c : cases) {
        GdlWriter writer;
        writer.unitDivisor = c.u;
        c.solid->EmitGDL(writer);
        EXPECT_EQ(SplitLines(writer.GetScript()), c.lines) << c.what;
        EXPECT_EQ(writer.axisAngle, 0) << c.what;
        EXPECT_FALSE(writer.skipAxisPoints) << c.what;
        EXPECT_FALSE(writer.mirrorY) << c.what;
        EXPECT_EQ(writer.GetScript().find("nan"), std::string::npos) << c.what;
    }
}

TEST(RevolvedSolidTest, RefusalLeavesTheNextSolidUnturned)
{
    auto part = std::make_shared<Part>();
    part->id = L"P";
    part->solids = {Revolution(S({C(0, 0, 3)}), {0, 1, 0}), Extrusion(S({L(0, 0, 10, 0), L(10, 0, 10, 5)}), 10)};
    part->solids[1]->boolOp = 1;
    GdlWriter writer;
    writer.groupNames = {L""};
    part->EmitGDL(writer);
    EXPECT_EQ(SplitLines(writer.GetScript()),
              (Lines{"GROUP \"part_P_1\"", "", kRefusal[0], kRefusal[1], "ENDGROUP", "", "GROUP \"part_P_2\"", "",
                     "    RESOL 36", "    PUT 0, 0, 15", "    PUT 10, 0, 15", "    PUT 10, 5, 15", kIdentity,
                     "    ADD 0, 0, 0", "    PRISM_ NSP/3, 10, ", "        GET(NSP)", "    DEL 2", "", "ENDGROUP", "",
                     "part_P_3 = ADDGROUP (\"part_P_1\", \"part_P_2\")", ""}));
    EXPECT_EQ(writer.refusedSolids, 1u);
}

TEST(RevolvedSolidTest, SharedSketchIsWrittenByEachSolid)
{
    auto sketch = S({A(0, 0, 5, 0, 180), L(-5, 0, 5, 0)});
    GdlWriter writer;
    Revolution(sketch, {1, 0, 0})->EmitGDL(writer);
    Extrusion(sketch, 1)->EmitGDL(writer);
    const Lines lines = SplitLines(writer.GetScript());
    // the extrusion writes the axis line the revolve left out
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "    RESOL 36"), 2);
    EXPECT_NE(std::find(lines.begin(), lines.end(), "    PUT 5, 0, 15"), lines.end());
    const auto prism = std::find(lines.begin(), lines.end(), "    PRISM_ NSP/3, 1, ");
    ASSERT_NE(prism, lines.end());
    EXPECT_EQ(*(prism - 3), "    PUT 5, 0, 15");
}

}  // namespace
