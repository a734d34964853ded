#include "DbSupport.hpp"

#include "db/Import.hpp"

#include "ostrel/Exceptions.hpp"
#include "ostrel/importers/WellFormed.hpp"

#include <gtest/gtest.h>
#include <utf8.h>

#include <cmath>
#include <functional>
#include <limits>

namespace {

using namespace tarvel;
using tarvel::testing::Geom;
using tarvel::testing::Script;
using Lines = std::vector<std::string>;

const std::string kAlert = "An error has occured while reading the database! See 'Session Report' for further details!";
const std::string W = "cad data xml import warning: ";

// Complete fragments that write no warning.
std::string Material(const std::string& id, const std::string& name = "M", const std::string& skip = "")
{
    std::string xml = "<material id=\"" + id + "\" name=\"" + name + "\">";
    for (const char* c : {"ambient", "diffuse", "specular", "emissive"})
        if (skip != c)
            xml += std::string("<color name=\"") + c + "\" red=\"1\" green=\"2\" blue=\"3\"/>";
    return xml + "<shininess value=\"5\"/><transparency value=\"0.5\"/></material>";
}
const std::string kBoolOp = "<bool_op op=\"none\" simple=\"0\"/>";
const std::string kStyle3D = "<style3D colRed=\"1\" colGreen=\"2\" colBlue=\"3\" layer=\"4\"/>";
std::string Block(const std::string& extra = "")
{
    return "<solid_block>" + kBoolOp + kStyle3D + extra +
           "<point3D name=\"start\" x=\"0\" y=\"0\" z=\"0\"/><point3D name=\"end\" x=\"1\" y=\"1\" z=\"1\"/></solid_block>";
}
std::string Part(const std::string& id, const std::string& geometry = Block(), const std::string& attrs = " type=\"geom\"",
                 const std::string& material = "")
{
    return "<part id=\"" + id + "\" name=\"n\" materialref=\"" + material + "\"" + attrs + "><geometry>" + geometry +
           "</geometry></part>";
}
std::string Assembly(const std::string& id, const std::string& inner, const std::string& attrs = "")
{
    return "<assembly id=\"" + id + "\" name=\"n\" materialref=\"\"" + attrs + ">" + inner + "</assembly>";
}
std::string Component(const std::string& of, const std::string& material = "")
{
    return "<component instance_of=\"" + of + "\" materialref=\"" + material + "\"/>";
}
const std::string kTail = "<author value=\"a\"/><format unit=\"mm\"/>";
const std::string kStyle2D = "<style2D lineStyle=\"\" layer=\"0\"/>";

class ImportTest : public tarvel::testing::DbFixture {};

struct Case {
    const char* what;
    std::string body;  // inside "geom"
    Lines report;      // every report line, alerts included, in order
    std::function<void(const TarvelDB&)> check;
};


TEST_F(ImportTest, ImportCases)
{
    const std::vector<Case> cases = {
        {"empty geom", "", {W + "empty @value, node=", W + "empty @unit, node="},
         [](const TarvelDB& db) {
             EXPECT_TRUE(db.valid);
             EXPECT_TRUE(db.author.empty());
             EXPECT_TRUE(db.unit.empty());
         }},
        {"author and format, first of each",
         "<author value=\"first\"/><author value=\"second\"/><format unit=\"cm\"/><format unit=\"mm\"/>",
         {},
         [](const TarvelDB& db) {
             EXPECT_EQ(db.author, L"first");
             EXPECT_EQ(db.unit, L"cm");
         }},
        {"author without value", "<author/><format unit=\"mm\"/>", {W + "empty @value, node=author"}, nullptr},
        {"configuration in two blocks, duplicate empty ids",
         "<tvConfiguration><configParams><configPos name=\"a\" value=\"1\" type=\"t\"/>"
         "<configPos name=\"b\" value=\"2\" type=\"t\"/></configParams></tvConfiguration>"
         "<tvConfiguration><configParams><configPos pos=\"3\" name=\"c\" value=\"3\" type=\"t\"/></configParams>"
         "</tvConfiguration>" +
             kTail,
         {W + "empty @pos, node=configPos", W + "empty @pos, node=configPos"},
         [](const TarvelDB& db) {
             ASSERT_EQ(db.configParams.size(), 2u);
             EXPECT_EQ(db.configParams[0]->name, L"a");
             EXPECT_EQ(db.configParams[1]->name, L"c");
             EXPECT_EQ(db.configParams[1]->value, L"3");
         }},
        {"material values",
         "<materialsList>" + Material("m1", "Steel") + "</materialsList>" + kTail, {},
         [](const TarvelDB& db) {
             ASSERT_EQ(db.materials.size(), 1u);
             const auto& m = *db.materials[0];
             EXPECT_EQ(m.name, L"Steel");
             EXPECT_EQ(m.specular.red, 1);
             EXPECT_EQ(m.specular.green, 2);
             EXPECT_EQ(m.specular.blue, 3);
             EXPECT_EQ(m.shininess, 5);
             EXPECT_EQ(m.transparency, 0.5);
         }},
        {"colours without attributes",
         "<materialsList><material id=\"m\" name=\"n\"><color name=\"ambient\"/><color name=\"diffuse\" red=\"255\"/>"
         "<color name=\"specular\" red=\"1\" green=\"1\" blue=\"1\"/><color name=\"emissive\" red=\"1\" green=\"1\" "
         "blue=\"1\"/></material></materialsList>" +
             kTail,
         {W + "empty @blue, node=color", W + "empty @green, node=color", W + "empty @red, node=color",
          W + "empty @blue, node=color", W + "empty @green, node=color", W + "empty shininess/@value, node=material",
          W + "empty transparency/@value, node=material"},
         [](const TarvelDB& db) {
             ASSERT_EQ(db.materials.size(), 1u);
             EXPECT_EQ(db.materials[0]->diffuse.red, 255);
             EXPECT_EQ(db.materials[0]->diffuse.green, 0);
             EXPECT_EQ(db.materials[0]->ambient.red, 0);
         }},
        {"missing ambient colour of the third of five materials",
         "<materialsList>" + Material("1") + Material("2") + Material("3", "M", "ambient") + Material("4") +
             Material("5") + "</materialsList><lineStylesList><lineStyle id=\"l\"/></lineStylesList>" + kTail,
         {"Xml ImportError: No  result for query: color[@name='ambient'](looking for struct tarvel::RGBColor)", kAlert},
         [](const TarvelDB& db) {
             EXPECT_FALSE(db.valid);
             EXPECT_EQ(db.materials.size(), 2u);
             EXPECT_TRUE(db.lineStyles.empty());
             EXPECT_TRUE(db.author.empty());
             EXPECT_TRUE(db.unit.empty());
         }},
        {"missing specular colour stops after ambient and diffuse",
         "<materialsList>" + Material("1", "M", "specular") + "</materialsList>",
         {"Xml ImportError: No  result for query: color[@name='specular'](looking for struct tarvel::RGBColor)",
          kAlert},
         [](const TarvelDB& db) { EXPECT_TRUE(db.materials.empty()); }},
        {"duplicate material ids: list keeps the first, references find the last",
         "<materialsList>" + Material("m", "first") + Material("m", "second") + "</materialsList>" +
             Part("P", Block(), " type=\"geom\"", "m") + kTail,
         {},
         [](const TarvelDB& db) {
             ASSERT_EQ(db.materials.size(), 1u);
             EXPECT_EQ(db.materials[0]->name, L"first");
             ASSERT_EQ(db.parts.size(), 1u);
             ASSERT_TRUE(db.parts[0]->material);
             EXPECT_EQ(db.parts[0]->material->name, L"second");
         }},
        {"line style without attributes",
         "<lineStylesList><lineStyle/></lineStylesList>" + kTail,
         {W + "empty @id, node=lineStyle", W + "empty @name, node=lineStyle", W + "empty @colBlue, node=lineStyle",
          W + "empty @colGreen, node=lineStyle", W + "empty @colRed, node=lineStyle",
          W + "empty @line_def, node=lineStyle"},
         nullptr},
        {"sketch entries, line style found wherever it stands in its list",
         "<sketchList><sketch id=\"s\" name=\"n\"><outerWire><line2D><style2D lineStyle=\"late\" layer=\"7\"/>"
         "<point2D name=\"start\" x=\"1\" y=\"2\"/><point2D name=\"end\" x=\"3\" y=\"4\"/></line2D>"
         "<Arc2D/><!-- c --><circle2D>" +
             kStyle2D +
             "<point2D name=\"center\" x=\"5\" y=\"6\"/><radius value=\"7\"/></circle2D></outerWire></sketch>"
             "</sketchList><lineStylesList><lineStyle id=\"late\" name=\"n\" colRed=\"1\" colGreen=\"1\" "
             "colBlue=\"1\" line_def=\"d\"/></lineStylesList><lineStyle id=\"outside\"/>" +
             kTail,
         {},
         [](const TarvelDB& db) {
             ASSERT_EQ(db.sketches.size(), 1u);
             const auto& entries = db.sketches[0]->entries;
             ASSERT_EQ(entries.size(), 2u);
             auto line = std::dynamic_pointer_cast<Line2D>(entries[0]);
             ASSERT_TRUE(line);
             EXPECT_EQ(line->end, glm::dvec2(3, 4));
             ASSERT_TRUE(line->style.lineStyle);
             EXPECT_EQ(line->style.lineStyle->id, L"late");
             EXPECT_EQ(line->style.layer, 7);
             auto circle = std::dynamic_pointer_cast<Circle2D>(entries[1]);
             ASSERT_TRUE(circle);
             EXPECT_EQ(circle->radius, 7);
             EXPECT_FALSE(circle->style.lineStyle);
             EXPECT_EQ(db.lineStyles.size(), 1u);
         }},
        {"arc without angles",
         "<sketchList><sketch id=\"s\" name=\"n\"><outerWire><arc2D>" + kStyle2D +
             "<point2D name=\"center\" x=\"0\" y=\"0\"/><radius value=\"2\"/></arc2D></outerWire></sketch>"
             "</sketchList>" +
             kTail,
         {W + "empty angle[@name='start']/@value, node=arc2D", W + "empty angle[@name='end']/@value, node=arc2D"},
         nullptr},
        {"line whose end point lacks y",
         "<sketchList><sketch id=\"s\" name=\"n\"><outerWire><line2D>" + kStyle2D +
             "<point2D name=\"start\" x=\"1\" y=\"2\"/><point2D name=\"end\" x=\"3\"/></line2D></outerWire></sketch>"
             "</sketchList>",
         {"Xml ImportError: No  result for query: @y(looking for struct glm::detail::tvec2<double,0>)", kAlert},
         [](const TarvelDB& db) { EXPECT_TRUE(db.sketches.empty()); }},
        {"line without style",
         "<sketchList><sketch id=\"s\"><outerWire><line2D/></outerWire></sketch></sketchList>",
         {W + "empty @name, node=sketch",
          "Xml ImportError: No  result for query: style2D(looking for class tarvel::Style2D)", kAlert},
         nullptr},
        {"point without z",
         Part("P", "<solid_block>" + kBoolOp + kStyle3D + "<point3D name=\"start\" x=\"0\" y=\"0\"/></solid_block>"),
         {"Xml ImportError: No  result for query: @z(looking for struct glm::detail::tvec3<double,0>)", kAlert},
         [](const TarvelDB& db) { EXPECT_TRUE(db.parts.empty()); }},
        {"point lacking x and z reports x",
         Part("P", "<solid_block>" + kBoolOp + kStyle3D + "<point3D name=\"start\" y=\"0\"/></solid_block>"),
         {"Xml ImportError: No  result for query: @x(looking for struct glm::detail::tvec3<double,0>)", kAlert},
         nullptr},
        {"block without end point",
         Part("P", "<solid_block>" + kBoolOp + kStyle3D + "<point3D name=\"start\" x=\"0\" y=\"0\" z=\"0\"/></solid_block>"),
         {"Xml ImportError: No  result for query: point3D[@name='end'](looking for struct "
          "glm::detail::tvec3<double,0>)",
          kAlert},
         nullptr},
        {"solid without bool_op and style attributes",
         Part("P", "<solid_sphere><style3D/><point3D name=\"center\" x=\"0\" y=\"0\" z=\"0\"/><radius "
                   "value=\"1\"/></solid_sphere>") +
             kTail,
         {W + "empty @op, node=", W + "empty @simple, node=", W + "empty @colBlue, node=style3D",
          W + "empty @colGreen, node=style3D", W + "empty @colRed, node=style3D", W + "empty @layer, node=style3D"},
         [](const TarvelDB& db) {
             ASSERT_EQ(db.parts.size(), 1u);
             const auto& s = *db.parts[0]->solids[0];
             EXPECT_EQ(s.boolOp, 0);
             EXPECT_FALSE(s.simple);
             EXPECT_EQ(s.style.layer, 0);
         }},
        {"boolean operations and simple flags",
         Part("P", Block().replace(Block().find(kBoolOp), kBoolOp.size(), "<bool_op op=\"union\" simple=\"1\"/>") +
                       Block().replace(Block().find(kBoolOp), kBoolOp.size(), "<bool_op op=\"Union\" simple=\"yes\"/>") +
                       Block().replace(Block().find(kBoolOp), kBoolOp.size(), "<bool_op op=\"subtract\" simple=\"1\"/>") +
                       Block().replace(Block().find(kBoolOp), kBoolOp.size(), "<bool_op op=\"intersect\" simple=\"2\"/>")) +
             kTail,
         {W + "not a plain number in @simple, node=bool_op"},
         [](const TarvelDB& db) {
             ASSERT_EQ(db.parts.size(), 1u);
             const auto& s = db.parts[0]->solids;
             ASSERT_EQ(s.size(), 4u);
             EXPECT_EQ(s[0]->boolOp, 1);
             EXPECT_TRUE(s[0]->simple);
             EXPECT_EQ(s[1]->boolOp, 0);
             EXPECT_FALSE(s[1]->simple);
             EXPECT_EQ(s[2]->boolOp, 2);
             EXPECT_EQ(s[3]->boolOp, 3);
             EXPECT_FALSE(s[3]->simple);
         }},
        {"transform without M15",
         Part("P", Block("<transform M0=\"1\" M1=\"2\" M2=\"3\" M3=\"4\" M4=\"5\" M5=\"6\" M6=\"7\" M7=\"8\" M8=\"9\" "
                         "M9=\"10\" M10=\"11\" M11=\"12\" M12=\"13\" M13=\"14\" M14=\"15\"/>")) +
             kTail,
         {W + "empty @M15, node=transform"},
         [](const TarvelDB& db) {
             const auto& m = db.parts[0]->solids[0]->transform;
             EXPECT_EQ(m[3][3], 0);
             EXPECT_EQ(m[1][0], 2);   // M1: row 0, column 1
             EXPECT_EQ(m[0][3], 13);  // M12: row 3, column 0
             EXPECT_EQ(m[3][2], 12);  // M11: row 2, column 3
         }},
        {"every solid kind",
         Part("P",
              "<solid_cone>" + kBoolOp + kStyle3D +
                  "<point3D name=\"start\" x=\"1\" y=\"2\" z=\"3\"/><radius value=\"4\"/><height value=\"5\"/>"
                  "</solid_cone><solid_cylinder>" +
                  kBoolOp + kStyle3D +
                  "<point3D name=\"start\" x=\"1\" y=\"2\" z=\"3\"/><radius value=\"4\"/><height value=\"5\"/>"
                  "</solid_cylinder><solid_torus>" +
                  kBoolOp + kStyle3D +
                  "<point3D name=\"center\" x=\"1\" y=\"2\" z=\"3\"/><majorradius value=\"4\"/><minorradius "
                  "value=\"5\"/></solid_torus><solid_extrude>" +
                  kBoolOp + kStyle3D +
                  "<point3D name=\"start\" x=\"1\" y=\"2\" z=\"3\"/><length value=\"4\"/><angle value=\"5\"/>"
                  "<sketchref value=\"s\"/></solid_extrude><solid_revolve>" +
                  kBoolOp + kStyle3D +
                  "<point3D name=\"start\" x=\"1\" y=\"2\" z=\"3\"/><axis x=\"0\" y=\"1\" z=\"0\"/><angle "
                  "value=\"90\"/><sketchref value=\"nothing\"/></solid_revolve><solid_unknown/>") +
             "<sketchList><sketch id=\"s\" name=\"n\"/></sketchList>" + kTail,
         {W + "no element nothing for sketchref/@value, node=solid_revolve"},
         [](const TarvelDB& db) {
             const auto& s = db.parts[0]->solids;
             ASSERT_EQ(s.size(), 5u);
             auto cone = std::dynamic_pointer_cast<Cone3D>(s[0]);
             ASSERT_TRUE(cone);
             EXPECT_EQ(cone->start, glm::dvec3(1, 2, 3));
             EXPECT_EQ(cone->height, 5);
             EXPECT_TRUE(std::dynamic_pointer_cast<Cylinder3D>(s[1]));
             auto torus = std::dynamic_pointer_cast<Torus3D>(s[2]);
             ASSERT_TRUE(torus);
             EXPECT_EQ(torus->minorRadius, 5);
             auto extrude = std::dynamic_pointer_cast<Extrude3D>(s[3]);
             ASSERT_TRUE(extrude);
             EXPECT_EQ(extrude->angle, 5);
             ASSERT_TRUE(extrude->sketch);
             EXPECT_EQ(extrude->sketch->id, L"s");
             auto revolve = std::dynamic_pointer_cast<Revolve3D>(s[4]);
             ASSERT_TRUE(revolve);
             EXPECT_EQ(revolve->axis, glm::dvec3(0, 1, 0));
             EXPECT_FALSE(revolve->sketch);
             EXPECT_EQ(revolve->sketchTransform, glm::dmat4(1.0));
         }},
        {"each query takes its first match in document order",
         Part("P",
              "<solid_block>" + kBoolOp + kStyle3D +
                  // a point with two names is both points; of two equal attributes the first counts
                  "<point3D name=\"end\" name=\"start\" x=\"1\" y=\"2\" z=\"3\" x=\"9\"/>"
                  "<point3D name=\"end\" x=\"7\" y=\"7\" z=\"7\"/></solid_block><solid_cone>" +
                  kBoolOp + kStyle3D +
                  // a radius without value is passed over for the next one
                  "<point3D name=\"start\" x=\"0\" y=\"0\" z=\"0\"/><radius/><radius value=\"4\"/>"
                  "<radius value=\"8\"/><height value=\"5\"/></solid_cone>" +
                  "<solid_sphere><bool_op op=\"union\" op=\"subtract\" simple=\"1\"/>" + kStyle3D +
                  "<point3D name=\"center\" x=\"0\" y=\"0\" z=\"0\"/><radius value=\"1\"/></solid_sphere>") +
             "<sketchList><sketch id=\"s\" name=\"n\"><outerWire><arc2D>" + kStyle2D +
             "<point2D name=\"center\" x=\"0\" y=\"0\"/><angle name=\"start\"/><angle name=\"x\" "
             "name=\"start\" value=\"30\"/><angle name=\"end\" value=\"60\"/><radius value=\"2\"/></arc2D>"
             "</outerWire></sketch></sketchList>" +
             kTail,
         {},
         [](const TarvelDB& db) {
             const auto& s = db.parts.at(0)->solids;
             ASSERT_EQ(s.size(), 3u);
             auto block = std::dynamic_pointer_cast<Block3D>(s[0]);
             ASSERT_TRUE(block);
             EXPECT_EQ(block->start, glm::dvec3(1, 2, 3));
             EXPECT_EQ(block->end, glm::dvec3(1, 2, 3));
             auto cone = std::dynamic_pointer_cast<Cone3D>(s[1]);
             ASSERT_TRUE(cone);
             EXPECT_EQ(cone->radius, 4);
             EXPECT_EQ(s[2]->boolOp, 1);
             auto arc = std::dynamic_pointer_cast<Arc2D>(db.sketches.at(0)->entries.at(0));
             ASSERT_TRUE(arc);
             EXPECT_EQ(arc->startAngle, 30);
             EXPECT_EQ(arc->endAngle, 60);
         }},
        {"revolve without axis",
         Part("P", "<solid_revolve>" + kBoolOp + kStyle3D + "<point3D name=\"start\" x=\"1\" y=\"2\" z=\"3\"/>"
                   "</solid_revolve>"),
         {"Xml ImportError: No  result for query: axis(looking for struct glm::detail::tvec3<double,0>)", kAlert},
         nullptr},
        {"parts without listed solids are registered but not listed",
         Part("T", Block(), " type=\"other\"") + Part("G", "<!-- nothing --><solid/>") +
             "<part id=\"N\" name=\"n\" materialref=\"\" type=\"geom\"/>" +
             Assembly("A", Component("T") + Component("G") + Component("N")) + kTail,
         {},
         [](const TarvelDB& db) {
             EXPECT_TRUE(db.parts.empty());
             ASSERT_EQ(db.assemblies.size(), 1u);
             ASSERT_EQ(db.assemblies[0]->children.size(), 3u);
             EXPECT_EQ(db.assemblies[0]->children[0]->id, L"T");
         }},
        {"part type geom and nested parts",
         Part("P", Block(), " type=\"geom\"") + "<group>" + Part("Nested") + "</group>" + kTail, {},
         [](const TarvelDB& db) {
             ASSERT_EQ(db.parts.size(), 1u);
             EXPECT_EQ(db.parts[0]->id, L"P");
         }},
        {"part without type reads its geometry", Part("P", Block(), "") + kTail, {W + "empty @type, node=part"},
         [](const TarvelDB& db) { EXPECT_EQ(db.parts.size(), 1u); }},
        {"part and assembly with one id: the later registration wins",
         Part("X") + Assembly("X", "") + Assembly("A", Component("X")) + kTail, {},
         [](const TarvelDB& db) {
             ASSERT_EQ(db.assemblies.size(), 2u);
             ASSERT_EQ(db.assemblies[1]->children.size(), 1u);
             EXPECT_EQ(db.assemblies[1]->children[0].get(), db.assemblies[0].get());
         }},
        {"ids differ by letter case",
         Part("p") + Part("P") + Assembly("A", Component("P")) + kTail, {},
         [](const TarvelDB& db) {
             ASSERT_EQ(db.parts.size(), 2u);
             EXPECT_EQ(db.assemblies[0]->children[0].get(), db.parts[1].get());
         }},
        {"empty id is listed but never found",
         Part("") + Assembly("A", Component("")) + kTail,
         {W + "no element  for @instance_of, node=component, skipped"},
         [](const TarvelDB& db) {
             EXPECT_EQ(db.parts.size(), 1u);
             EXPECT_TRUE(db.assemblies[0]->children.empty());
         }},
        {"bool modes: the last recognised attribute decides",
         Assembly("A", "<attributeList><attrib name=\"tv_prop_bool_op\" value=\"3-union,all\"/><attrib "
                       "name=\"tv_prop_bool_op\" value=\"4-subtract,all\"/></attributeList>") +
             Assembly("B", "<attributeList><attrib name=\"tv_prop_bool_op\" value=\"4-subtract,all\"/><attrib "
                           "name=\"tv_prop_bool_op\" value=\"9-other\"/></attributeList>") +
             Assembly("C", "<attributeList><attrib name=\"TV_PROP_BOOL_OP\" value=\"3-union,all\"/></attributeList>") +
             Assembly("D", "<attributeList><attrib name=\"tv_prop_bool_op\" value=\"6-intersect,all\"/>"
                           "</attributeList>") +
             kTail,
         {},
         [](const TarvelDB& db) {
             ASSERT_EQ(db.assemblies.size(), 4u);
             EXPECT_EQ(db.assemblies[0]->boolMode, "SUBTRACT_ALL");
             EXPECT_EQ(db.assemblies[1]->boolMode, "SUBTRACT_ALL");
             EXPECT_EQ(db.assemblies[2]->boolMode, "NONE");
             EXPECT_EQ(db.assemblies[3]->boolMode, "INTERSECT_ALL");
         }},
        {"attrib without name and value",
         Assembly("A", "<attributeList><attrib/><attrib name=\"tv_prop_bool_op\"/></attributeList>") + kTail,
         {W + "empty @name, node=attrib", W + "empty @value, node=attrib"}, nullptr},
        {"one missing value on elements of different names in turn names each element",
         "<assembly id=\"A\"><attributeList><attrib value=\"x\"/></attributeList></assembly>"
         "<assembly id=\"B\"><attributeList><attrib value=\"x\"/></attributeList></assembly>" +
             kTail,
         {W + "empty @name, node=assembly", W + "empty @materialref, node=assembly", W + "empty @name, node=attrib",
          W + "empty @name, node=assembly", W + "empty @materialref, node=assembly", W + "empty @name, node=attrib"},
         nullptr},
        {"component materials are set on the shared element, the last one wins",
         "<materialsList>" + Material("a", "A") + Material("b", "B") + "</materialsList>" + Part("P") +
             Assembly("A1", Component("P", "a")) + Assembly("A2", Component("P", "b")) + kTail,
         {},
         [](const TarvelDB& db) {
             ASSERT_TRUE(db.parts[0]->material);
             EXPECT_EQ(db.parts[0]->material->name, L"B");
             EXPECT_EQ(db.assemblies[0]->children[0]->material->name, L"B");
         }},
        {"component material naming nothing clears it, an empty one keeps it",
         "<materialsList>" + Material("a", "A") + "</materialsList>" + Part("P", Block(), " type=\"\"", "a") + Part("Q", Block(), " type=\"\"", "a") +
             Assembly("A", Component("P", "unknown") + Component("Q", "")) + kTail,
         {},
         [](const TarvelDB& db) {
             EXPECT_FALSE(db.parts[0]->material);
             ASSERT_TRUE(db.parts[1]->material);
         }},
        {"component without material reference",
         Part("P") + Assembly("A", "<component instance_of=\"P\"/>") + kTail, {W + "empty @materialref, node=component"},
         nullptr},
        {"component without instance_of",
         Part("P") + Assembly("A", "<component materialref=\"\"/>") + Assembly("B", ""),
         {"Xml ImportError: No  result for query: @instance_of(looking for class std::basic_string<char16_t,struct "
          "std::char_traits<char16_t>,class std::allocator<char16_t> >)",
          kAlert},
         [](const TarvelDB& db) {
             EXPECT_EQ(db.parts.size(), 1u);
             EXPECT_TRUE(db.assemblies.empty());
         }},
        {"components naming later, unknown or their own assembly are skipped",
         Part("P") + Assembly("A", Component("P") + Component("B") + Component("A", "x") + Component("nope")) +
             Assembly("B", Component("A")) + kTail,
         {W + "no element B for @instance_of, node=component, skipped",
          W + "assembly A lists itself in @instance_of, node=component, skipped",
          W + "no element nope for @instance_of, node=component, skipped"},
         [](const TarvelDB& db) {
             ASSERT_EQ(db.assemblies.size(), 2u);
             ASSERT_EQ(db.assemblies[0]->children.size(), 1u);
             EXPECT_EQ(db.assemblies[0]->children[0]->id, L"P");
             ASSERT_EQ(db.assemblies[1]->children.size(), 1u);
         }},
        {"required element given as an attribute",
         "<materialsList><material id=\"m\" name=\"n\"><color name=\"ambient\"/><color name=\"diffuse\"/>"
         "<color name=\"specular\"/></material></materialsList>",
         {W + "empty @blue, node=color", W + "empty @green, node=color", W + "empty @red, node=color",
          W + "empty @blue, node=color", W + "empty @green, node=color", W + "empty @red, node=color",
          W + "empty @blue, node=color", W + "empty @green, node=color", W + "empty @red, node=color",
          "Xml ImportError: No  result for query: color[@name='emissive'](looking for struct tarvel::RGBColor)",
          kAlert},
         nullptr},
    };
    for (const auto& c : cases) {
        Report().Clear();
        const TarvelDB db = LoadXml(Geom(c.body));
        EXPECT_EQ(ReportLines(), c.report) << c.what;
        if (c.check) {
            SCOPED_TRACE(c.what);
            c.check(db);
        }
        if (c.report.empty() || c.report.back() != kAlert) {
            EXPECT_TRUE(db.valid) << c.what;
            EXPECT_TRUE(Report().Alerts().empty()) << c.what;
        } else {
            EXPECT_FALSE(db.valid) << c.what;
            EXPECT_EQ(Report().Alerts(), (Lines{kAlert})) << c.what;
        }
    }
}

TEST_F(ImportTest, FileErrorsLeaveTheLoad)
{
    // A folder is no file, though it opens as a stream here.
    for (const std::string& missing : {(Temp().Path() / "missing.xml").string(), Temp().Path().string()}) {
        try {
            TarvelDB::LoadFromFile(missing);
            ADD_FAILURE() << missing;
        } catch (const ostrel::FileNotFoundException& e) {
            EXPECT_EQ(std::string(e.what()), "File not found: " + missing);
        }
    }
    for (const std::string& xml : {std::string(""), std::string("not xml at all"),
                                  std::string("<root><geom/></root>"), std::string("<?xml version=\"1.0\"?>")}) {
        const std::string path = WriteCad(xml);
        try {
            TarvelDB::LoadFromFile(path);
            ADD_FAILURE() << xml;
        } catch (const ostrel::FileNotFoundException&) {
            ADD_FAILURE() << xml;
        } catch (const ostrel::OstrelException& e) {
            EXPECT_EQ(std::string(e.what()), "Xml object geom not found in " + path);
        }
    }
    EXPECT_TRUE(ReportLines().empty());
}

TEST_F(ImportTest, FileCutShortIsReportedLikeAReaderError)
{
    const std::string whole = Geom(Part("P") + Assembly("A", Component("P")) + kTail);
    for (std::size_t cut : {whole.size() - 3, whole.size() / 2, std::size_t{30}}) {
        Report().Clear();
        const TarvelDB db = LoadXml(whole.substr(0, cut));
        EXPECT_FALSE(db.valid);
        EXPECT_TRUE(db.parts.empty());
        EXPECT_TRUE(db.assemblies.empty());
        const auto lines = ReportLines();
        ASSERT_EQ(lines.size(), 2u) << cut;
        EXPECT_EQ(lines[0].rfind("Xml ImportError: the CAD data is not well-formed XML: ", 0), 0u) << lines[0];
        EXPECT_EQ(Report().Alerts(), (Lines{kAlert}));
    }
    Report().Clear();
    EXPECT_TRUE(LoadXml(whole).valid);
    EXPECT_TRUE(ReportLines().empty());
}

// The bytes of a text as UTF-16 (little endian, or big endian), with a byte order
// mark when asked; units given in `replace` take the place of the marker "@" in turn.
std::string Utf16(const std::string& utf8, bool bom, bool bigEndian = false, std::vector<char16_t> replace = {})
{
    std::u16string units;
    utf8::utf8to16(utf8.begin(), utf8.end(), std::back_inserter(units));
    std::string bytes = bom ? (bigEndian ? "\xFE\xFF" : "\xFF\xFE") : "";
    std::size_t next = 0;
    for (char16_t u : units) {
        if (u == u'@' && next < replace.size())
            u = replace[next++];
        const char low = static_cast<char>(u & 0xFF), high = static_cast<char>(u >> 8);
        bytes += bigEndian ? std::string{high, low} : std::string{low, high};
    }
    return bytes;
}

// A file that is not well-formed XML makes nothing at all: the reader's error names
// what is wrong and its byte offset in the file, with the alert. Beside each kind of
// fault stands a look-alike that is well-formed and read whole.
TEST_F(ImportTest, NotWellFormedFilesMakeNothingTheirLookAlikesAreReadWhole)
{
    // The material's name carries the text under test; the rest makes a product.
    const auto cad = [](const std::string& name, const std::string& before = "", const std::string& after = "") {
        return before + "<geom><materialsList>" + Material("m", name) + "</materialsList>" +
               Part("P", Block(), " type=\"geom\"", "m") + Assembly("A", Component("P")) + kTail + "</geom>" + after;
    };
    const std::string prefix = "Xml ImportError: the CAD data is not well-formed XML: ";
    struct Refused {
        const char* what;
        std::string bytes;
        std::string fault;   // what the error says is wrong
        std::size_t offset;  // where, in bytes of the file
    };
    const std::string plain = cad("oak");
    const std::string first = cad("@");  // the offset of the name's text
    const std::size_t at = first.find('@');
    const std::size_t end = plain.size();
    const std::string declared = "<!DOCTYPE geom [<!ENTITY bogus \"pine\">]>";
    const std::string latin1 = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>";
    const std::string opensNoComment = "<note a=\"<!--\" b='<?'/>";
    const Refused refused[] = {
        {"a character reference to U+0000", cad("to&#0;p"), "a character reference to a character XML cannot carry (&#0;)",
         at + 2},
        {"a character reference to a control", cad("&#x1F;"),
         "a character reference to a character XML cannot carry (&#x1F;)", at},
        {"a character reference to U+FFFE", cad("&#65534;"),
         "a character reference to a character XML cannot carry (&#65534;)", at},
        {"a character reference to a surrogate", cad("&#xD800;"),
         "a character reference to a character XML cannot carry (&#xD800;)", at},
        {"a malformed character reference", cad("&#x;"), "a malformed character reference", at},
        {"a raw U+0000", cad(std::string("oiled\0oak", 9)), "a character XML cannot carry (U+0000)", at + 5},
        {"a raw control", cad("a\x01" "b"), "a character XML cannot carry (U+0001)", at + 1},
        {"a raw U+FFFE", cad("a\xEF\xBF\xBE"), "a character XML cannot carry (U+FFFE)", at + 1},
        {"a raw U+FFFF", cad("a\xEF\xBF\xBF"), "a character XML cannot carry (U+FFFF)", at + 1},
        {"a surrogate in UTF-8", cad("E\xED\xA0\x80iche"), "a lone surrogate (U+D800)", at + 1},
        {"a UTF-8 sequence cut short", cad("x\xC3"), "a byte sequence that is no UTF-8", at + 1},
        {"Latin-1 bytes in an undeclared file", cad("Gr\xF6\xDF" "e"), "a byte sequence that is no UTF-8", at + 2},
        {"no UTF-8 in a comment either", cad("oak", "", "<!-- Gr\xF6\xDF" "e -->"), "a byte sequence that is no UTF-8",
         end + 7},
        {"an undeclared entity", cad("oiled &bogus; oak"),
         "a reference to an entity other than the five predefined ones (&bogus;)", at + 6},
        {"a declared entity", cad("&bogus;", declared),
         "a reference to an entity other than the five predefined ones (&bogus;)", at + declared.size()},
        {"a bare ampersand", cad("R&D"), "a \"&\" that begins no reference", at + 1},
        // The XML library takes "<" in an attribute value as text: no comment opens there.
        {"an undeclared entity after an attribute value holding \"<!--\"",
         cad("oiled &bogus; oak").insert(plain.find("<materialsList>"), opensNoComment),
         "a reference to an entity other than the five predefined ones (&bogus;)", at + 6 + opensNoComment.size()},
        {"a second root element", cad("oak", "", "<geom/>"), "a second root element", end},
        {"text after the root element", cad("oak", "", "\nmore"), "text after the root element", end},
        {"text before the root element", cad("oak", "x"), "text before the root element", 0},
        {"a control in a Latin-1 file", cad("a\x02", latin1), "a character XML cannot carry (U+0002)",
         at + latin1.size() + 1},
        {"a lone surrogate in UTF-16", Utf16(cad("E@iche"), true, false, {0xD800}), "a lone surrogate (U+D800)",
         2 + 2 * (at + 1)},
        {"a lone trail surrogate in UTF-16 without a byte order mark", Utf16(cad("@"), false, false, {0xDC00}),
         "a lone surrogate (U+DC00)", 2 * at},
        {"a character reference to U+0000 in UTF-16", Utf16(cad("&#0;"), true, true),
         "a character reference to a character XML cannot carry (&#0;)", 2 + 2 * at},
        {"UTF-16 that ends inside a unit", Utf16(plain, true) + "x", "a byte sequence that is no UTF-16",
         2 + 2 * end},
        {"cut short", plain.substr(0, plain.size() - 5), "Could not determine tag type", plain.size() - 6},
    };
    for (const Refused& c : refused) {
        SCOPED_TRACE(c.what);
        Report().Clear();
        TarvelDB db;
        ASSERT_NO_THROW(db = TarvelDB::LoadFromFile(WriteCad(c.bytes)));
        EXPECT_FALSE(db.valid);
        EXPECT_TRUE(db.materials.empty());
        EXPECT_TRUE(db.parts.empty());
        EXPECT_TRUE(db.assemblies.empty());
        EXPECT_EQ(ReportLines(), (Lines{prefix + c.fault + " at offset " + std::to_string(c.offset), kAlert}));
        EXPECT_EQ(Report().Alerts(), (Lines{kAlert}));
    }

    struct Whole {
        const char* what;
        std::string bytes;
        std::wstring name;  // as the material holds it
    };
    const Whole whole[] = {
        {"the five predefined entities", cad("&amp;&lt;&gt;&apos;&quot;"), L"&<>'\""},
        {"character references", cad("&#233;&#xE9;&#x9;&#x10000;"), {0x00E9, 0x00E9, L'\t', 0xD800, 0xDC00}},
        {"U+FFFD and the last character", cad("\xEF\xBF\xBD\xF4\x8F\xBF\xBF"), {0xFFFD, 0xDBFF, 0xDFFF}},
        {"a byte order mark", cad("oak", "\xEF\xBB\xBF"), L"oak"},
        {"Latin-1 declared", cad("Gr\xF6\xDF" "e", latin1), L"Gr\u00F6\u00DFe"},
        {"Latin-1 declared in capitals and as latin1", cad("\xE9", "<?xml version=\"1.0\" encoding='LATIN1'?>"),
         L"\u00E9"},
        {"UTF-16 with a byte order mark", Utf16(cad("E@iche"), true, false, {0x00E4}), L"E\u00E4iche"},
        {"UTF-16 big endian", Utf16(cad("@@"), true, true, {0xD83D, 0xDE00}), {0xD83D, 0xDE00}},
        {"UTF-16 without a byte order mark", Utf16(cad("oak"), false), L"oak"},
        {"what only looks like a fault in comments, CDATA and processing instructions",
         cad("oak", "<?pi &bogus; &#0;?>",
             "<!-- R&D &bogus; &#0; --><?after & ?>\n<!-- and after the root -->\n"),
         L"oak"},
        {"\"<!--\" in an attribute value, and a comment after the root", cad("oak", "", "<!-- R&D -->")
             .insert(plain.find("<materialsList>"), opensNoComment), L"oak"},
        {"CDATA and comments inside", cad("oak").insert(plain.find("<materialsList>"),
                                                       "<note><![CDATA[ R&D &bogus; &#0; <x> ]]><!-- & --></note>"),
         L"oak"},
        {"a document type without entities", cad("a&amp;b", "<!DOCTYPE geom [<!-- & --><!ENTITY x \"a&amp;b\">]>"),
         L"a&b"},
        {"duplicate attributes: the first counts",
         cad("oak").replace(plain.find("name=\"oak\""), 10, "name=\"oak\" name=\"pine\""), L"oak"},
    };
    for (const Whole& c : whole) {
        SCOPED_TRACE(c.what);
        Report().Clear();
        const TarvelDB db = TarvelDB::LoadFromFile(WriteCad(c.bytes));
        EXPECT_TRUE(db.valid);
        EXPECT_EQ(ReportLines(), Lines{});
        ASSERT_EQ(db.materials.size(), 1u);
        EXPECT_EQ(db.materials[0]->name, c.name);
        EXPECT_EQ(db.parts.size(), 1u);
        EXPECT_EQ(db.assemblies.size(), 1u);
    }
}

// The reader's own check of a value's UTF-8 stands behind the file's, for a document
// read by other means.
TEST_F(ImportTest, MalformedUtf8InAValueIsTheReadersError)
{
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string("<geom><author value=\"x\xC3\"/><format unit=\"mm\"/></geom>"));
    ImportContext context;
    try {
        ImportTarvelDB(context, doc.child("geom"));
        ADD_FAILURE();
    } catch (const ostrel::importers::PugiXmlImportException& e) {
        EXPECT_EQ(std::string(e.what()), "Xml ImportError: no UTF-8 text in @value, node=author");
    }
}

// A number whose text is not wholly a number keeps the value the number reading gives
// it and is said, with the query and element of its missing-value warning; plain
// numbers and empty values are read as they always were.
TEST_F(ImportTest, NumbersThatAreNotPlainKeepTheirValueAndAreSaid)
{
    const auto cylinder = [](const std::string& radius) {
        return Part("P", "<solid_cylinder>" + kBoolOp + kStyle3D +
                             "<point3D name=\"start\" x=\"0\" y=\"0\" z=\"0\"/><radius value=\"" + radius +
                             "\"/><height value=\"5\"/></solid_cylinder>") +
               kTail;
    };
    const double max = std::numeric_limits<double>::max();
    const struct {
        std::string text;
        double radius;
        bool plain;
    } doubles[] = {
        {"12,5", 12, false},   {"NaN", 0, false},    {"inf", 0, false},   {"1e309", max, false},
        {" 3 ", 3, true},      {"12.5mm", 12.5, false}, {"-0", -0.0, true}, {"", 0, true},
        {"+2.5e1", 25, true},  {"0x10", 0, false},   {"1234567890.123456", 1234567890.123456, true},
        {".5", 0.5, true},     {"5.", 5, true},      {"1e", 0, false},    {"1e-400", 0, true},
    };
    for (const auto& c : doubles) {
        SCOPED_TRACE(c.text);
        Report().Clear();
        const TarvelDB db = LoadXml(Geom(cylinder(c.text)));
        ASSERT_TRUE(db.valid);
        const auto solid = std::dynamic_pointer_cast<Cylinder3D>(db.parts.at(0)->solids.at(0));
        ASSERT_TRUE(solid);
        EXPECT_EQ(solid->radius, c.radius);
        EXPECT_EQ(std::signbit(solid->radius), std::signbit(c.radius));
        EXPECT_EQ(ReportLines(),
                  c.plain ? Lines{} : Lines{W + "not a plain number in radius/@value, node=solid_cylinder"});
        EXPECT_EQ(db.lossWarnings, c.plain ? 0u : 1u);
    }
    // A radius past the largest double is written as the largest, as it always was.
    EXPECT_NE(Script(LoadXml(Geom(cylinder("1e309") + Assembly("A", Component("P"))))).find("    CYLIND 0.005, 1.79769e+305"), std::string::npos);

    // Integers, point coordinates and matrix cells alike; an unsigned value read from a
    // negative number would wrap, so it is not plain either.
    const struct {
        const char* what;
        std::string body;
        Lines report;
        std::function<void(const TarvelDB&)> check;
    } others[] = {
        {"colours",
         "<materialsList><material id=\"m\" name=\"n\"><color name=\"ambient\" red=\"-1\" green=\"70000\" blue=\"255\"/>"
         "<color name=\"diffuse\" red=\"-0\" green=\" 7\" blue=\"8 \"/><color name=\"specular\" red=\"1\" "
         "green=\"1\" blue=\"1\"/><color name=\"emissive\" red=\"1\" green=\"1\" blue=\"1.5\"/><shininess "
         "value=\"5\"/><transparency value=\"0.5\"/></material></materialsList>" +
             kTail,
         {W + "not a plain number in @green, node=color", W + "not a plain number in @red, node=color",
          W + "not a plain number in @blue, node=color"},
         [](const TarvelDB& db) {
             const auto& m = *db.materials.at(0);
             EXPECT_EQ(m.ambient.red, 65535);
             EXPECT_EQ(m.ambient.green, 65535);
             EXPECT_EQ(m.ambient.blue, 255);
             EXPECT_EQ(m.diffuse.red, 0);
             EXPECT_EQ(m.diffuse.green, 7);
             EXPECT_EQ(m.emissive.blue, 1);
         }},
        {"a style's layer, a simple flag, a point and a matrix cell",
         Part("P", "<solid_block><bool_op op=\"union\" simple=\"yes\"/><style3D colRed=\"1\" colGreen=\"2\" "
                   "colBlue=\"3\" layer=\"1e3\"/><transform M0=\"1\" M1=\"0\" M2=\"0\" M3=\"0\" M4=\"0\" M5=\"one\" "
                   "M6=\"0\" M7=\"0\" M8=\"0\" M9=\"0\" M10=\"1\" M11=\"0\" M12=\"0\" M13=\"0\" M14=\"0\" M15=\"1\"/>"
                   "<point3D name=\"start\" x=\"1,5\" y=\"0\" z=\"0\"/><point3D name=\"end\" x=\"1\" y=\"1\" "
                   "z=\"1\"/></solid_block>") +
             kTail,
         {W + "not a plain number in @simple, node=bool_op", W + "not a plain number in @layer, node=style3D",
          W + "not a plain number in @M5, node=transform", W + "not a plain number in @x, node=point3D"},
         [](const TarvelDB& db) {
             const auto& solid = *db.parts.at(0)->solids.at(0);
             EXPECT_FALSE(solid.simple);
             EXPECT_EQ(solid.style.layer, 1);
             EXPECT_EQ(solid.transform[1][1], 0);
             EXPECT_EQ(std::dynamic_pointer_cast<Block3D>(db.parts.at(0)->solids.at(0))->start.x, 1);
         }},
    };
    for (const auto& c : others) {
        SCOPED_TRACE(c.what);
        Report().Clear();
        const TarvelDB db = LoadXml(Geom(c.body));
        ASSERT_TRUE(db.valid);
        EXPECT_EQ(ReportLines(), c.report);
        EXPECT_EQ(db.lossWarnings, c.report.size());
        c.check(db);
    }
}

// The encoding is the one the XML library would detect.
TEST(XmlEncodingTest, DetectedAsTheXmlLibraryDetectsIt)
{
    const std::string inputs[] = {
        "<geom/>",
        "\xEF\xBB\xBF<geom/>",
        std::string("\xFF\xFE<\0g\0", 6),
        std::string("\xFE\xFF\0<\0g", 6),
        std::string("<\0g\0", 4),
        std::string("\0<\0g", 4),
        std::string("<\0?\0x\0m\0", 8),
        std::string("\xFF\xFE\0\0<\0\0\0", 8),
        std::string("\0\0\xFE\xFF\0\0\0<", 8),
        std::string("<\0\0\0g\0\0\0", 8),
        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><geom/>",
        "<?xml version=\"1.0\" encoding = 'iso-8859-1'?><geom/>",
        "<?xml version=\"1.0\" encoding=\"latin1\"?><geom/>",
        "<?xml version=\"1.0\" encoding=\"ISO-8859-15\"?><geom/>",
        "<?xml version=\"1.0\" encoding=\"windows-1252\"?><geom/>",
        "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><geom/>",
        " <?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><geom/>",
        "<?xml version=\"1.0\"?><geom encoding=\"latin1\"/>",
        "<a>",
    };
    for (const std::string& input : inputs) {
        pugi::xml_document doc;
        const pugi::xml_parse_result parsed = doc.load_buffer(input.data(), input.size());
        EXPECT_EQ(ostrel::importers::DetectXmlEncoding(input), parsed.encoding) << ::testing::PrintToString(input);
    }
}

TEST_F(ImportTest, Utf16FilesAreRead)
{
    const std::string xml = Geom(Part("P\xC3\xA9") + kTail);
    std::u16string units;
    utf8::utf8to16(xml.begin(), xml.end(), std::back_inserter(units));
    std::string bytes = "\xFF\xFE";
    for (char16_t u : units) {
        bytes.push_back(static_cast<char>(u & 0xFF));
        bytes.push_back(static_cast<char>(u >> 8));
    }
    const TarvelDB db = TarvelDB::LoadFromFile(WriteCad(bytes));
    ASSERT_EQ(db.parts.size(), 1u);
    EXPECT_EQ(db.parts[0]->id, (std::wstring{L'P', 0x00E9}));
}

// The entities of a load share their memory; what a caller still holds stays whole
// when the database is gone.
TEST_F(ImportTest, EntitiesOutliveTheirDatabase)
{
    std::shared_ptr<tarvel::Part> part;
    {
        const TarvelDB db = LoadXml(Geom(Part("P") + kTail));
        part = db.parts.at(0);
    }
    EXPECT_EQ(part->id, L"P");
    ASSERT_EQ(part->solids.size(), 1u);
    auto block = std::dynamic_pointer_cast<Block3D>(part->solids[0]);
    ASSERT_TRUE(block);
    EXPECT_EQ(block->end, glm::dvec3(1, 1, 1));
}

TEST_F(ImportTest, RegistryRules)
{
    ImportContext context;
    auto a = std::make_shared<tarvel::Material>();
    auto b = std::make_shared<tarvel::Material>();
    context.Register(a, L"m");
    context.Register(b, L"m");
    context.Register(a, L"");
    context.Register(std::shared_ptr<tarvel::Material>(), L"x");
    EXPECT_EQ(context.FindMaterial(L"m"), b);
    EXPECT_FALSE(context.FindMaterial(L""));
    EXPECT_FALSE(context.FindMaterial(L"x"));
    EXPECT_FALSE(context.FindMaterial(L"M"));
    EXPECT_FALSE(context.FindSketch(L"m"));
}

TEST_F(ImportTest, FrameworkReadersOfTheValueTypes)
{
    namespace oi = ostrel::importers;
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string("<e><color red=\"255\"/><style3D/><style2D lineStyle=\"l\" layer=\"3\"/></e>"));
    const pugi::xml_node e = doc.document_element();
    const oi::ScopedEmptyValueReport report(&ReportEmptyValue);
    const RGBColor color = oi::Import<RGBColor>(e, "color");
    EXPECT_EQ(color.red, 255);
    EXPECT_EQ(color.green, 0);
    const Style3D style = oi::Import<Style3D>(e, "style3D");
    EXPECT_EQ(style.layer, 0);
    ImportContext context;
    auto lineStyle = std::make_shared<LineStyle>();
    context.Register(lineStyle, L"l");
    const Style2D style2D = oi::Import<Style2D>(e, "style2D", context);
    EXPECT_EQ(style2D.lineStyle, lineStyle);
    EXPECT_EQ(style2D.layer, 3);
    EXPECT_EQ(ReportLines(), (Lines{W + "empty @blue, node=color", W + "empty @green, node=color",
                              W + "empty @colBlue, node=style3D", W + "empty @colGreen, node=style3D",
                              W + "empty @colRed, node=style3D", W + "empty @layer, node=style3D"}));
    try {
        oi::Import<RGBColor>(e, "color/@red");
        ADD_FAILURE();
    } catch (const oi::PugiXmlImportException& error) {
        EXPECT_STREQ(error.what(), "Xml ImportError: struct tarvel::RGBColor is not importable from xml_attribute!");
    }
}

}  // namespace
