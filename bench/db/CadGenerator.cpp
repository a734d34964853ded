#include "CadGenerator.hpp"

#include <algorithm>
#include <cstdlib>
#include <random>
#include <vector>

namespace tarvel::bench {
namespace {

class Writer {
public:
    // A rough writer leaves out optional values and adds unknown elements; a regular
    // one never does, and draws no random numbers for them.
    Writer(std::uint32_t seed, GeneratedCad& result, bool rough) : rng_(seed), result_(result), out_(result.xml), rough_(rough)
    {
        if (rough_)
            nextOmission_ = static_cast<std::size_t>(Int(500, 1300));
    }

    int Int(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
    bool Chance(int percent) { return Int(1, 100) <= percent; }
    std::string Num(int lo, int hi)
    {
        const int v = Int(lo * 10, hi * 10);
        return std::to_string(v / 10) + (v % 10 != 0 ? "." + std::to_string(std::abs(v % 10)) : "");
    }
    // Whether the next optional value is left out: about one every 900 bytes.
    bool Omit()
    {
        if (!rough_ || out_.size() < nextOmission_)
            return false;
        nextOmission_ = out_.size() + static_cast<std::size_t>(Int(500, 1300));
        ++result_.omissions;
        return true;
    }
    // An optional attribute: ' name="value"', or nothing when it is left out.
    std::string Attribute(const char* name, const std::string& value)
    {
        return Omit() ? std::string() : std::string(" ") + name + "=\"" + value + "\"";
    }
    // An optional value element on its own line.
    void Value(const char* indent, const char* name, const std::string& value)
    {
        if (Omit())
            return;
        out_ += std::string(indent) + "<" + name + " value=\"" + value + "\"/>\n";
    }
    // Now and then an element the import does not know, with some content.
    void MaybeUnknown(const char* indent, double perMille)
    {
        if (std::uniform_real_distribution<double>(0, 1000)(rng_) >= perMille)
            return;
        static const char* names[] = {"solid_loft", "metadata", "spline2D", "annotation", "featureTree"};
        const char* name = names[Int(0, 4)];
        out_ += std::string(indent) + "<" + name + " id=\"u" + std::to_string(result_.unknown++) +
                "\" version=\"2\">\n" + indent + "  <entry key=\"source\" value=\"export " + Num(1, 9) + "\"/>\n" +
                indent + "  <entry key=\"tolerance\" value=\"" + Num(0, 1) + "\"/>\n" + indent + "</" + name + ">\n";
    }

    std::mt19937& Rng() { return rng_; }

private:
    std::mt19937 rng_;
    GeneratedCad& result_;
    std::string& out_;
    bool rough_;
    std::size_t nextOmission_ = 0;
};

void Point3(std::string& out, Writer& w, const char* name)
{
    out += "        <point3D name=\"";
    out += name;
    out += "\" x=\"" + w.Num(-1000, 1000) + "\" y=\"" + w.Num(-1000, 1000) + "\" z=\"" + w.Num(0, 2000) + "\"/>\n";
}

void Common(std::string& out, Writer& w, int solidIndex)
{
    static const char* ops[] = {"none", "union", "subtract", "intersect"};
    if (!w.Omit())  // a solid without bool_op: two warnings
        out += std::string("        <bool_op op=\"") + (solidIndex == 0 ? "none" : ops[w.Int(0, 3)]) + "\" simple=\"" +
               std::to_string(w.Int(0, 1)) + "\"/>\n";
    out += "        <style3D colRed=\"" + std::to_string(w.Int(0, 255)) + "\" colGreen=\"" +
           std::to_string(w.Int(0, 255)) + "\" colBlue=\"" + std::to_string(w.Int(0, 255)) + "\"" +
           w.Attribute("layer", "1") + "/>\n";
    if (w.Int(0, 2) == 0)
        out += "        <transform M0=\"1\" M1=\"0\" M2=\"0\" M3=\"0\" M4=\"0\" M5=\"0.866025\" M6=\"0.5\" M7=\"0\" "
               "M8=\"0\" M9=\"-0.5\" M10=\"0.866025\" M11=\"0\" M12=\"" +
               w.Num(-500, 500) + "\" M13=\"" + w.Num(-500, 500) + "\" M14=\"" + w.Num(0, 500) + "\"" +
               w.Attribute("M15", "1") + "/>\n";
}

// The share of each kind of solid, as upper bounds of a draw from 0 to 99: blocks,
// cylinders, cones, spheres, tori, extrusions; revolutions take the rest.
struct SolidMix {
    int block, cylinder, cone, sphere, torus, extrude;
};
constexpr SolidMix kRegularMix = {35, 45, 55, 62, 67, 87};
constexpr SolidMix kRoughMix = {25, 37, 45, 53, 60, 82};

void Solid(std::string& out, Writer& w, int index, int sketches, const SolidMix& mix)
{
    const int kind = w.Int(0, 99);
    const char* in = "        ";
    const auto sketchRef = [&] { w.Value(in, "sketchref", "sk" + std::to_string(w.Int(0, sketches - 1))); };
    if (kind < mix.block) {
        out += "      <solid_block>\n";
        Common(out, w, index);
        Point3(out, w, "start");
        Point3(out, w, "end");
        out += "      </solid_block>\n";
    } else if (kind < mix.cone) {
        const char* tag = kind < mix.cylinder ? "solid_cylinder" : "solid_cone";
        out += std::string("      <") + tag + ">\n";
        Common(out, w, index);
        Point3(out, w, "start");
        w.Value(in, "radius", w.Num(1, 200));
        w.Value(in, "height", w.Num(-800, 800));
        out += std::string("      </") + tag + ">\n";
    } else if (kind < mix.sphere) {
        out += "      <solid_sphere>\n";
        Common(out, w, index);
        Point3(out, w, "center");
        w.Value(in, "radius", w.Num(1, 300));
        out += "      </solid_sphere>\n";
    } else if (kind < mix.torus) {
        out += "      <solid_torus>\n";
        Common(out, w, index);
        Point3(out, w, "center");
        w.Value(in, "majorradius", w.Num(100, 300));
        w.Value(in, "minorradius", w.Num(5, 90));
        out += "      </solid_torus>\n";
    } else if (kind < mix.extrude) {
        out += "      <solid_extrude>\n";
        Common(out, w, index);
        Point3(out, w, "start");
        w.Value(in, "length", w.Num(10, 1500));
        w.Value(in, "angle", "0");
        sketchRef();
        out += "      </solid_extrude>\n";
    } else {
        static const char* axes[] = {"x=\"1\" y=\"0\" z=\"0\"", "x=\"0\" y=\"1\" z=\"0\"", "x=\"-1\" y=\"0\" z=\"0\"",
                                     "x=\"0\" y=\"-1\" z=\"0\""};
        out += "      <solid_revolve>\n";
        Common(out, w, index);
        Point3(out, w, "start");
        out += std::string("        <axis ") + axes[w.Int(0, 3)] + "/>\n";
        w.Value(in, "angle", std::to_string(w.Int(1, 360)));
        if (w.Int(0, 1) == 0)
            out += "        <sketch_transform M0=\"1\" M1=\"0\" M2=\"0\" M3=\"0\" M4=\"0\" M5=\"1\" M6=\"0\" M7=\"0\" "
                   "M8=\"0\" M9=\"0\" M10=\"1\" M11=\"0\" M12=\"" +
                   w.Num(-100, 100) + "\" M13=\"0\" M14=\"0\" M15=\"1\"/>\n";
        sketchRef();
        out += "      </solid_revolve>\n";
    }
}

void Sketch(std::string& out, Writer& w, int index)
{
    out += "    <sketch id=\"sk" + std::to_string(index) + "\" name=\"Profile " + std::to_string(index) +
           "\">\n      <outerWire>\n";
    const auto style = "          <style2D lineStyle=\"ls" + std::to_string(w.Int(0, 9)) + "\" layer=\"1\"/>\n";
    const auto p2 = [&](const char* name, const std::string& x, const std::string& y) {
        out += std::string("          <point2D name=\"") + name + "\" x=\"" + x + "\" y=\"" + y + "\"/>\n";
    };
    const int shape = w.Int(0, 2);
    const std::string a = w.Num(10, 200), b = w.Num(10, 200), c = w.Num(210, 400);
    if (shape == 0) {  // a closed outline of lines and a rounded corner above the x axis
        out += "        <line2D>\n" + style;
        p2("start", a, "0");
        p2("end", c, "0");
        out += "        </line2D>\n        <line2D>\n" + style;
        p2("start", c, "0");
        p2("end", c, b);
        out += "        </line2D>\n        <arc2D>\n" + style;
        p2("center", a, b);
        out += "          <angle name=\"start\" value=\"0\"/>\n          <angle name=\"end\" value=\"90\"/>\n";
        out += "          <radius value=\"" + c + "\"/>\n        </arc2D>\n        <line2D>\n" + style;
        p2("start", a, b);
        p2("end", a, "0");
        out += "        </line2D>\n";
    } else if (shape == 1) {
        out += "        <circle2D>\n" + style;
        p2("center", c, c);
        out += "          <radius value=\"" + a + "\"/>\n        </circle2D>\n";
    } else {  // a half disc on the axis
        out += "        <arc2D>\n" + style;
        p2("center", "0", "0");
        out += "          <angle name=\"start\" value=\"0\"/>\n          <angle name=\"end\" value=\"180\"/>\n";
        out += "          <radius value=\"" + a + "\"/>\n        </arc2D>\n        <line2D>\n" + style;
        p2("start", "-" + a, "0");
        p2("end", a, "0");
        out += "        </line2D>\n";
    }
    out += "      </outerWire>\n    </sketch>\n";
}

}  // namespace

GeneratedCad GenerateCad(std::size_t targetBytes, std::uint32_t seed)
{
    GeneratedCad result;
    Writer w(seed, result, false);
    std::string& out = result.xml;
    out.reserve(targetBytes + targetBytes / 8);
    out += "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<geom>\n  <tvConfiguration>\n    <configParams>\n";
    for (int i = 0; i < 12; ++i)
        out += "      <configPos pos=\"" + std::to_string(i) + "\" name=\"param" + std::to_string(i) + "\" value=\"" +
               w.Num(0, 2000) + "\" type=\"length\"/>\n";
    out += "    </configParams>\n  </tvConfiguration>\n  <materialsList>\n";
    const int materials = 24;
    for (int i = 0; i < materials; ++i) {
        out += "    <material id=\"mat" + std::to_string(i) + "\" name=\"Material " + std::to_string(i) + "\">\n";
        for (const char* c : {"ambient", "diffuse", "specular", "emissive"})
            out += std::string("      <color name=\"") + c + "\" red=\"" + std::to_string(w.Int(0, 255)) +
                   "\" green=\"" + std::to_string(w.Int(0, 255)) + "\" blue=\"" + std::to_string(w.Int(0, 255)) +
                   "\"/>\n";
        out += "      <shininess value=\"" + w.Num(0, 100) + "\"/>\n      <transparency value=\"0\"/>\n    </material>\n";
    }
    out += "  </materialsList>\n  <lineStylesList>\n";
    for (int i = 0; i < 10; ++i)
        out += "    <lineStyle id=\"ls" + std::to_string(i) + "\" name=\"Line " + std::to_string(i) +
               "\" colRed=\"0\" colGreen=\"0\" colBlue=\"0\" line_def=\"solid\"/>\n";
    out += "  </lineStylesList>\n  <sketchList>\n";
    const int sketches = static_cast<int>(std::max<std::size_t>(20, targetBytes / 40000));
    for (int i = 0; i < sketches; ++i)
        Sketch(out, w, i);
    out += "  </sketchList>\n";
    result.materials = static_cast<std::size_t>(materials);
    result.sketches = static_cast<std::size_t>(sketches);

    // Parts until about nine tenths of the size; assemblies take the rest.
    const std::size_t partBytes = targetBytes / 10 * 9;
    while (out.size() < partBytes) {
        const std::size_t p = result.parts++;
        out += "  <part id=\"part" + std::to_string(p) + "\" name=\"Part " + std::to_string(p) + "\" materialref=\"mat" +
               std::to_string(w.Int(0, materials - 1)) + "\" type=\"geom\">\n    <geometry>\n";
        const int solids = w.Int(1, 6);
        for (int s = 0; s < solids; ++s)
            Solid(out, w, s, sketches, kRegularMix);
        result.solids += static_cast<std::size_t>(solids);
        out += "    </geometry>\n  </part>\n";
    }
    // Groups of parts, each part used by one or two groups; then groups of groups.
    static const char* modes[] = {"0-none", "3-union,all", "4-subtract,all", "6-intersect,all"};
    std::vector<std::string> level;
    std::size_t next = 0;
    const auto assembly = [&](const std::vector<std::string>& children) {
        const std::string id = "asm" + std::to_string(result.assemblies++);
        out += "  <assembly id=\"" + id + "\" name=\"Assembly\" materialref=\"\">\n    <attributeList>\n      <attrib "
               "name=\"tv_prop_bool_op\" value=\"" +
               std::string(modes[w.Int(0, 3)]) + "\"/>\n    </attributeList>\n";
        for (const auto& child : children)
            out += "    <component instance_of=\"" + child + "\" materialref=\"" +
                   (w.Int(0, 3) == 0 ? "mat" + std::to_string(w.Int(0, materials - 1)) : std::string()) + "\"/>\n";
        result.components += children.size();
        out += "  </assembly>\n";
        return id;
    };
    while (next < result.parts) {
        std::vector<std::string> children;
        for (int i = w.Int(2, 8); i > 0 && next < result.parts; --i)
            children.push_back("part" + std::to_string(next++));
        if (next > 3 && w.Int(0, 2) == 0)  // a shared part
            children.push_back("part" + std::to_string(w.Int(0, static_cast<int>(next) - 1)));
        level.push_back(assembly(children));
    }
    result.depth = 1;
    while (level.size() > 1) {
        ++result.depth;
        std::vector<std::string> upper;
        for (std::size_t i = 0; i < level.size(); i += 6) {
            std::vector<std::string> children(level.begin() + static_cast<long>(i),
                                              level.begin() + static_cast<long>(std::min(level.size(), i + 6)));
            upper.push_back(assembly(children));
        }
        level = std::move(upper);
    }
    out += "  <author value=\"Tarvel benchmark generator\"/>\n  <format unit=\"mm\"/>\n</geom>\n";
    return result;
}

}  // namespace tarvel::bench

namespace tarvel::bench {
namespace {

// The rough kind: as many sketches, materials, parts, solids, assemblies and unknown
// elements per megabyte as a 51 MB export that we measured.
constexpr double kMaterialsPerMb = 98;
constexpr double kSketchesPerMb = 267;
constexpr std::size_t kChainDepth = 100;  // one long chain of nested assemblies

// A closed outline above the x axis: a polygon of lines with rounded corners, a
// circle, or a half disc on the axis; some arcs run downward (negative sweep).
void RoughSketch(std::string& out, Writer& w, int index)
{
    out += "    <sketch id=\"sk" + std::to_string(index) + "\"" +
           w.Attribute("name", "Profile " + std::to_string(index)) + ">\n      <outerWire>\n";
    const auto style = [&] {
        return "          <style2D lineStyle=\"ls" + std::to_string(w.Int(0, 9)) + "\"" + w.Attribute("layer", "1") +
               "/>\n";
    };
    const auto p2 = [&](const char* name, const std::string& x, const std::string& y) {
        out += std::string("          <point2D name=\"") + name + "\" x=\"" + x + "\" y=\"" + y + "\"/>\n";
    };
    const auto line = [&](const std::string& x0, const std::string& y0, const std::string& x1, const std::string& y1) {
        out += "        <line2D>\n" + style();
        p2("start", x0, y0);
        p2("end", x1, y1);
        out += "        </line2D>\n";
    };
    const auto arc = [&](const std::string& cx, const std::string& cy, const std::string& from, const std::string& to,
                         const std::string& r) {
        out += "        <arc2D>\n" + style();
        p2("center", cx, cy);
        out += "          <angle name=\"start\" value=\"" + from + "\"/>\n          <angle name=\"end\" value=\"" + to +
               "\"/>\n          <radius value=\"" + r + "\"/>\n        </arc2D>\n";
    };
    const int shape = w.Int(0, 9);
    const std::string a = w.Num(10, 200), b = w.Num(10, 200), c = w.Num(210, 400);
    if (shape < 5) {  // a polygon with a rounded corner, some with more points
        line(a, "0", c, "0");
        line(c, "0", c, b);
        if (shape < 2)
            arc(a, b, "0", "90", c);
        else
            arc(a, b, "450", "0", c);  // the same corner swept downward
        for (int i = 0, extra = w.Int(0, 4); i < extra; ++i)
            line(a, b, w.Num(10, 200), w.Num(10, 200));
        line(a, b, a, "0");
    } else if (shape < 8) {
        out += "        <circle2D>\n" + style();
        p2("center", c, c);
        out += "          <radius value=\"" + a + "\"/>\n        </circle2D>\n";
    } else {  // a half disc on the axis
        arc("0", "0", "0", "180", a);
        line("-" + a, "0", a, "0");
    }
    w.MaybeUnknown("        ", 60);
    out += "      </outerWire>\n    </sketch>\n";
}

}  // namespace

GeneratedCad GenerateRoughCad(std::size_t targetBytes, std::uint32_t seed)
{
    GeneratedCad result;
    Writer w(seed, result, true);
    std::string& out = result.xml;
    out.reserve(targetBytes + targetBytes / 8);
    const double mb = static_cast<double>(targetBytes) / 1048576.0;
    out += "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<geom>\n  <exportInfo tool=\"generator\" build=\"7\"/>\n"
           "  <tvConfiguration>\n    <configParams>\n";
    for (int i = 0; i < 40; ++i)
        out += "      <configPos pos=\"" + std::to_string(i) + "\"" + w.Attribute("name", "param" + std::to_string(i)) +
               " value=\"" + w.Num(0, 2000) + "\" type=\"length\"/>\n";
    out += "    </configParams>\n  </tvConfiguration>\n  <materialsList>\n";
    const int materials = std::max(5, static_cast<int>(kMaterialsPerMb * mb));
    for (int i = 0; i < materials; ++i) {
        out += "    <material id=\"mat" + std::to_string(i) + "\"" + w.Attribute("name", "Material " + std::to_string(i)) +
               ">\n";
        for (const char* c : {"ambient", "diffuse", "specular", "emissive"})
            out += std::string("      <color name=\"") + c + "\"" + w.Attribute("red", std::to_string(w.Int(0, 255))) +
                   " green=\"" + std::to_string(w.Int(0, 255)) + "\" blue=\"" + std::to_string(w.Int(0, 255)) +
                   "\"/>\n";
        w.Value("      ", "shininess", w.Num(0, 100));
        w.Value("      ", "transparency", "0");
        out += "    </material>\n";
    }
    result.materials = static_cast<std::size_t>(materials);
    out += "  </materialsList>\n  <lineStylesList>\n";
    for (int i = 0; i < 10; ++i)
        out += "    <lineStyle id=\"ls" + std::to_string(i) + "\" name=\"Line " + std::to_string(i) +
               "\" colRed=\"0\" colGreen=\"0\" colBlue=\"0\" line_def=\"solid\"/>\n";
    out += "  </lineStylesList>\n  <sketchList>\n";
    const int sketches = std::max(20, static_cast<int>(kSketchesPerMb * mb));
    for (int i = 0; i < sketches; ++i)
        RoughSketch(out, w, i);
    result.sketches = static_cast<std::size_t>(sketches);
    out += "  </sketchList>\n";

    // Unknown elements (about 39 per megabyte): some in sketches, most inside geometry,
    // the rest inside parts and between them.
    const std::size_t partBytes = targetBytes / 100 * 93;
    while (out.size() < partBytes) {
        const std::size_t p = result.parts++;
        out += "  <part id=\"part" + std::to_string(p) + "\"" + w.Attribute("name", "Part " + std::to_string(p)) +
               w.Attribute("materialref", "mat" + std::to_string(w.Int(0, materials - 1))) +
               " type=\"geom\">\n    <geometry>\n";
        const int solids = w.Int(1, 5);
        for (int s = 0; s < solids; ++s)
            Solid(out, w, s, sketches, kRoughMix);
        result.solids += static_cast<std::size_t>(solids);
        w.MaybeUnknown("      ", 35);
        out += "    </geometry>\n";
        w.MaybeUnknown("    ", 8);
        out += "  </part>\n";
        if (p % 1000 == 999)
            w.MaybeUnknown("  ", 1000);
    }

    // A long chain of nested assemblies over the first parts, then groups of two to
    // eight parts, then groups of one to three assemblies up to one root; one part in
    // ten stands in no assembly, one in twenty in two.
    static const char* modes[] = {"0-none", "3-union,all", "4-subtract,all", "6-intersect,all"};
    const auto assembly = [&](const std::vector<std::string>& children) {
        const std::string id = "asm" + std::to_string(result.assemblies++);
        out += "  <assembly id=\"" + id + "\" name=\"Assembly\" materialref=\"\">\n    <attributeList>\n      <attrib "
               "name=\"tv_prop_bool_op\" value=\"" +
               std::string(modes[w.Int(0, 3)]) + "\"/>\n    </attributeList>\n";
        for (const auto& child : children) {
            out += "    <component instance_of=\"" + child + "\"" +
                   w.Attribute("materialref",
                               w.Int(0, 3) == 0 ? "mat" + std::to_string(w.Int(0, materials - 1)) : std::string()) +
                   "/>\n";
            ++result.components;
        }
        out += "  </assembly>\n";
        return id;
    };
    std::size_t next = 0;
    std::string chain;
    for (std::size_t i = 0; i < kChainDepth && next < result.parts; ++i) {
        std::vector<std::string> children = {"part" + std::to_string(next++)};
        if (!chain.empty())
            children.push_back(chain);
        chain = assembly(children);
    }
    result.depth = kChainDepth;
    std::vector<std::string> level;
    if (!chain.empty())
        level.push_back(chain);
    while (next < result.parts) {
        std::vector<std::string> children;
        for (int i = w.Int(2, 8); i > 0 && next < result.parts; --i) {
            if (w.Chance(10)) {
                ++next;  // a part no assembly lists
                continue;
            }
            children.push_back("part" + std::to_string(next++));
        }
        if (next > 3 && w.Chance(20))
            children.push_back("part" + std::to_string(w.Int(0, static_cast<int>(next) - 1)));
        if (!children.empty())
            level.push_back(assembly(children));
    }
    std::size_t levels = 1;
    while (level.size() > 1) {
        std::vector<std::string> upper;
        for (std::size_t i = 0; i < level.size();) {
            const std::size_t take = std::min<std::size_t>(level.size() - i, static_cast<std::size_t>(w.Int(1, 3)));
            upper.push_back(assembly(std::vector<std::string>(level.begin() + static_cast<long>(i),
                                                              level.begin() + static_cast<long>(i + take))));
            i += take;
        }
        level = std::move(upper);
        ++levels;
    }
    result.depth = std::max(result.depth + levels, levels);
    out += "  <author" + w.Attribute("value", "Tarvel benchmark generator") + "/>\n  <format unit=\"mm\"/>\n</geom>\n";
    return result;
}

}  // namespace tarvel::bench
