#include "RandomCad.hpp"

#include <random>
#include <vector>

namespace tarvel::testing {
namespace {

class Gen {
public:
    explicit Gen(std::uint32_t seed) : rng_(seed) {}

    int Int(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
    bool Chance(int percent) { return Int(1, 100) <= percent; }
    std::string Num()
    {
        static const char* odd[] = {"0", "-0", "1e-7", "-3.5e-6", "1234567", "abc", "", "1,5", " 12.5", "1e400"};
        if (Chance(8))
            return odd[Int(0, 9)];
        return std::to_string(Int(-2000, 2000) / (Chance(30) ? 7.0 : 1.0));
    }
    template <typename T>
    const T& Pick(const std::vector<T>& v) { return v[static_cast<std::size_t>(Int(0, static_cast<int>(v.size()) - 1))]; }

private:
    std::mt19937 rng_;
};

std::string Point(Gen& g, const char* name)
{
    return std::string("<point3D name=\"") + name + "\" x=\"" + g.Num() + "\" y=\"" + g.Num() + "\" z=\"" + g.Num() +
           "\"/>";
}

std::string Point2D(Gen& g, const char* name)
{
    return std::string("<point2D name=\"") + name + "\" x=\"" + g.Num() + "\" y=\"" + g.Num() + "\"/>";
}

std::string Matrix(Gen& g, const char* element)
{
    std::string xml = std::string("<") + element;
    for (int i = 0; i < 16; ++i) {
        if (g.Chance(3))
            continue;  // a missing cell
        const bool diagonal = i % 5 == 0;
        const std::string value = i >= 12 && i < 15 ? g.Num() : (diagonal ? "1" : (g.Chance(20) ? "0.5" : "0"));
        xml += " M" + std::to_string(i) + "=\"" + value + "\"";
    }
    return xml + "/>";
}

std::string Sketch(Gen& g, const std::string& id)
{
    std::string xml = "<sketch id=\"" + id + "\" name=\"sketch " + id + "\"><outerWire>";
    const int entries = g.Int(0, 5);
    for (int i = 0; i < entries; ++i) {
        const std::string style = "<style2D lineStyle=\"ls\" layer=\"1\"/>";
        switch (g.Int(0, 2)) {
        case 0:
            xml += "<line2D>" + style + Point2D(g, "start") + Point2D(g, "end") + "</line2D>";
            break;
        case 1:
            xml += "<arc2D>" + style + Point2D(g, "center") + "<angle name=\"start\" value=\"" +
                   std::to_string(g.Int(-360, 360)) + "\"/><angle name=\"end\" value=\"" +
                   std::to_string(g.Int(-360, 720)) + "\"/><radius value=\"" + g.Num() + "\"/></arc2D>";
            break;
        default:
            xml += "<circle2D>" + style + Point2D(g, "center") + "<radius value=\"" + g.Num() + "\"/></circle2D>";
            break;
        }
    }
    return xml + "</outerWire></sketch>";
}

std::string Solid(Gen& g, const std::vector<std::string>& sketches)
{
    static const std::vector<std::string> kinds = {"solid_block",   "solid_cone",    "solid_cylinder", "solid_sphere",
                                                   "solid_torus",   "solid_extrude", "solid_revolve"};
    static const std::vector<std::string> ops = {"none", "union", "subtract", "intersect", "Union", ""};
    const std::string kind = g.Pick(kinds);
    std::string xml = "<" + kind + ">";
    if (g.Chance(95))
        xml += "<bool_op op=\"" + g.Pick(ops) + "\" simple=\"" + std::to_string(g.Int(0, 1)) + "\"/>";
    xml += "<style3D colRed=\"1\" colGreen=\"2\" colBlue=\"3\" layer=\"0\"/>";
    if (g.Chance(50))
        xml += Matrix(g, "transform");
    const std::string sketchRef =
        "<sketchref value=\"" + (sketches.empty() || g.Chance(10) ? std::string("missing") : g.Pick(sketches)) + "\"/>";
    if (kind == "solid_block") {
        xml += Point(g, "start") + Point(g, "end");
    } else if (kind == "solid_cone" || kind == "solid_cylinder") {
        xml += Point(g, "start") + "<radius value=\"" + g.Num() + "\"/><height value=\"" + g.Num() + "\"/>";
    } else if (kind == "solid_sphere") {
        xml += Point(g, "center") + "<radius value=\"" + g.Num() + "\"/>";
    } else if (kind == "solid_torus") {
        xml += Point(g, "center") + "<majorradius value=\"" + g.Num() + "\"/><minorradius value=\"" + g.Num() + "\"/>";
    } else if (kind == "solid_extrude") {
        xml += Point(g, "start") + "<length value=\"" + g.Num() + "\"/><angle value=\"0\"/>" + sketchRef;
    } else {
        static const std::vector<std::string> axes = {"x=\"1\" y=\"0\" z=\"0\"", "x=\"0\" y=\"1\" z=\"0\"",
                                                      "x=\"-1\" y=\"0\" z=\"0\"", "x=\"0\" y=\"-1\" z=\"0\"",
                                                      "x=\"1\" y=\"1\" z=\"0\"", "x=\"0\" y=\"0\" z=\"0\""};
        xml += Point(g, "start") + "<axis " + g.Pick(axes) + "/><angle value=\"" + std::to_string(g.Int(1, 360)) +
               "\"/>";
        if (g.Chance(40))
            xml += Matrix(g, "sketch_transform");
        xml += sketchRef;
    }
    return xml + "</" + kind + ">";
}

}  // namespace

std::string RandomCad(std::uint32_t seed)
{
    Gen g(seed);
    std::string xml = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<geom>";
    static const std::vector<std::string> odd = {"a&quot;b", "line&#10;break", "x y", "\xC3\xA9t\xC3\xA9", "P", "p", ""};
    const auto id = [&](const char* prefix, int i) {
        return g.Chance(10) ? g.Pick(odd) : std::string(prefix) + std::to_string(i);
    };

    std::vector<std::string> materials;
    xml += "<materialsList>";
    for (int i = 0, n = g.Int(0, 3); i < n; ++i) {
        materials.push_back(id("m", i));
        xml += "<material id=\"" + materials.back() + "\" name=\"Mat " + materials.back() + "\">";
        for (const char* c : {"ambient", "diffuse", "specular", "emissive"})
            xml += std::string("<color name=\"") + c + "\" red=\"" + std::to_string(g.Int(0, 300)) + "\" green=\"" +
                   std::to_string(g.Int(0, 255)) + "\" blue=\"" + std::to_string(g.Int(0, 255)) + "\"/>";
        xml += "<shininess value=\"" + g.Num() + "\"/><transparency value=\"0.1\"/></material>";
    }
    xml += "</materialsList><lineStylesList><lineStyle id=\"ls\" name=\"l\" colRed=\"0\" colGreen=\"0\" "
           "colBlue=\"0\" line_def=\"d\"/></lineStylesList><sketchList>";
    std::vector<std::string> sketches;
    for (int i = 0, n = g.Int(0, 4); i < n; ++i) {
        sketches.push_back(id("s", i));
        xml += Sketch(g, sketches.back());
    }
    xml += "</sketchList>";

    std::vector<std::string> elements;
    for (int i = 0, n = g.Int(1, 6); i < n; ++i) {
        elements.push_back(id("P", i));
        const std::string material = materials.empty() || g.Chance(30) ? "" : g.Pick(materials);
        xml += "<part id=\"" + elements.back() + "\" name=\"n\" materialref=\"" + material + "\" type=\"" +
               (g.Chance(5) ? "other" : "geom") + "\"><geometry>";
        for (int s = 0, solids = g.Int(0, 5); s < solids; ++s)
            xml += Solid(g, sketches);
        xml += "</geometry></part>";
    }
    static const std::vector<std::string> modes = {"3-union,all", "4-subtract,all", "6-intersect,all", "0-none",
                                                   "3-Union,all"};
    for (int i = 0, n = g.Int(1, 5); i < n; ++i) {
        const std::string assembly = id("A", i);
        xml += "<assembly id=\"" + assembly + "\" name=\"n\" materialref=\"\"><attributeList><attrib "
               "name=\"tv_prop_bool_op\" value=\"" +
               g.Pick(modes) + "\"/></attributeList>";
        for (int c = 0, children = g.Int(0, 3); c < children; ++c) {
            const std::string of = g.Chance(8) ? (g.Chance(50) ? assembly : std::string("unknown")) : g.Pick(elements);
            const std::string material = materials.empty() || g.Chance(60) ? "" : g.Pick(materials);
            xml += "<component instance_of=\"" + of + "\" materialref=\"" + material + "\"/>";
        }
        xml += "</assembly>";
        elements.push_back(assembly);
    }
    return xml + "<author value=\"random\"/><format unit=\"" + (g.Chance(80) ? "mm" : "inch") + "\"/></geom>\n";
}

}  // namespace tarvel::testing
