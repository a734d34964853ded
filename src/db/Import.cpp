#include "db/Import.hpp"

#include "db/FastQuery.hpp"

#include "ostrel/Text.hpp"
#include "ostrel/interop/HostApi.hpp"

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <iterator>
#include <locale>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

namespace {

// A plain "[-]digits[.digits]" text with at most 15 digits, as a double: the digits
// and the power of ten are both exact, so one division rounds correctly, giving the
// value from_chars gives. Anything else answers false.
bool PlainDecimal(const char* text, double& value)
{
    const char* p = text;
    const bool negative = *p == '-';
    if (negative)
        ++p;
    std::uint64_t digits = 0;
    int count = 0;
    int fraction = 0;
    while (*p >= '0' && *p <= '9') {
        digits = digits * 10 + static_cast<unsigned>(*p++ - '0');
        ++count;
    }
    if (count == 0)
        return false;
    if (*p == '.') {
        ++p;
        while (*p >= '0' && *p <= '9') {
            digits = digits * 10 + static_cast<unsigned>(*p++ - '0');
            ++count;
            ++fraction;
        }
        if (fraction == 0)
            return false;
    }
    if (*p != '\0' || count > 15)
        return false;
    static constexpr double kPowers[16] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                           1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    const double magnitude = static_cast<double>(digits) / kPowers[fraction];
    value = negative ? -magnitude : magnitude;
    return true;
}

// A number attribute's value, read as ReadValue reads an attribute result.
template <typename T>
T NumberOf(const pugi::xml_attribute& attribute)
{
    const char* text = attribute.value();
    if constexpr (std::is_same_v<T, double>) {
        double value = 0;
        if (PlainDecimal(text, value))
            return value;
    } else {
        // Up to four digits, unsigned, fit every integer type read here.
        const char* p = text;
        unsigned value = 0;
        while (*p >= '0' && *p <= '9' && p - text < 5)
            value = value * 10 + static_cast<unsigned>(*p++ - '0');
        if (*p == '\0' && p != text && p - text <= 4)
            return static_cast<T>(value);
    }
    static const std::locale& classic = std::locale::classic();
    return ostrel::FromString<T>(text, classic);
}

}  // namespace

namespace ostrel::importers {

template <>
tarvel::RGBColor ImportFromNode<tarvel::RGBColor>(const pugi::xml_node& element)
{
    tarvel::RGBColor color;
    color.blue = ImportOptional<unsigned short>(element, "@blue");
    color.green = ImportOptional<unsigned short>(element, "@green");
    color.red = ImportOptional<unsigned short>(element, "@red");
    return color;
}

template <>
tarvel::Style3D ImportFromNode<tarvel::Style3D>(const pugi::xml_node& element)
{
    // One pass over the attributes; each takes the first of its name, and the
    // warnings follow in the fixed order.
    static const char* const queries[4] = {"@colBlue", "@colGreen", "@colRed", "@layer"};
    pugi::xml_attribute found[4];
    for (pugi::xml_attribute attribute = element.first_attribute(); attribute; attribute = attribute.next_attribute()) {
        const char* name = attribute.name();
        int index = -1;
        if (name[0] == 'c' && name[1] == 'o' && name[2] == 'l') {
            if (std::strcmp(name + 3, "Blue") == 0)
                index = 0;
            else if (std::strcmp(name + 3, "Green") == 0)
                index = 1;
            else if (std::strcmp(name + 3, "Red") == 0)
                index = 2;
        } else if (std::strcmp(name, "layer") == 0) {
            index = 3;
        }
        if (index >= 0 && !found[index])
            found[index] = attribute;
    }
    const auto read = [&](int index, auto value) {
        if (!found[index]) {
            ReportEmptyValue(element.name(), queries[index]);
            return decltype(value){};
        }
        return NumberOf<decltype(value)>(found[index]);
    };
    tarvel::Style3D style;
    style.color.blue = read(0, static_cast<unsigned short>(0));
    style.color.green = read(1, static_cast<unsigned short>(0));
    style.color.red = read(2, static_cast<unsigned short>(0));
    style.layer = read(3, 0);
    return style;
}

}  // namespace ostrel::importers

namespace tarvel {

namespace oi = ostrel::importers;
using import::Path;

namespace {

// The result's text as wide text; plain ASCII is widened directly, anything else
// goes through the validating conversion.
std::wstring WideText(const pugi::xpath_node& result)
{
    const char* text = oi::ResultText(result);
    std::size_t length = 0;
    while (text[length] != '\0') {
        if (static_cast<unsigned char>(text[length]) >= 0x80)
            return ostrel::Utf8ToWString(text);
        ++length;
    }
    return std::wstring(text, text + length);
}

// The ASCII text of a result, or false (then the wide form is needed).
bool AsciiText(const pugi::xpath_node& result, std::string_view& text)
{
    const char* value = oi::ResultText(result);
    std::size_t length = 0;
    while (value[length] != '\0') {
        if (static_cast<unsigned char>(value[length]) >= 0x80)
            return false;
        ++length;
    }
    text = std::string_view(value, length);
    return true;
}

// The entity an optional id refers to, looked up as the id's wide text would be.
template <typename FindAscii, typename FindWide>
auto FindOptional(const pugi::xml_node& element, const Path& path, const pugi::xpath_node& result,
                  FindAscii&& findAscii, FindWide&& findWide)
{
    if (!result) {
        oi::ReportEmptyValue(element.name(), path.Text());
        return findWide(std::wstring());
    }
    std::string_view text;
    if (AsciiText(result, text))
        return findAscii(text);
    return findWide(WideText(result));
}

// The optional rule over a result already found for the path.
template <typename T>
T OptionalOf(const pugi::xml_node& element, const Path& path, const pugi::xpath_node& result)
{
    if (!result) {
        oi::ReportEmptyValue(element.name(), path.Text());
        return T{};
    }
    if constexpr (std::is_same_v<T, std::wstring>)
        return WideText(result);
    else if constexpr (std::is_arithmetic_v<T>)
        return result.attribute() ? NumberOf<T>(result.attribute()) : oi::ReadValue<T>(result);
    else
        return oi::ReadValue<T>(result);
}

// The optional rule over a fixed query.
template <typename T>
T Optional(const pugi::xml_node& element, const Path& path)
{
    return OptionalOf<T>(element, path, path.First(element));
}

// The optional rule for a text only compared: "" when missing.
const char* OptionalText(const pugi::xml_node& element, const Path& path)
{
    const pugi::xpath_node result = path.First(element);
    if (!result) {
        oi::ReportEmptyValue(element.name(), path.Text());
        return "";
    }
    return oi::ResultText(result);
}

// The required rule for an element result, read as the value type T.
template <typename T>
pugi::xml_node RequiredElementOf(const Path& path, const pugi::xpath_node& result)
{
    if (!result)
        oi::ThrowNoResult(path.Text(), oi::TypeLabel<T>::value);
    if (result.attribute())
        oi::ImportFromAttribute<T>(result.attribute());
    if (!result.node() || result.node().type() != pugi::node_element)
        oi::ThrowEmptyNode();
    return result.node();
}

template <typename T>
pugi::xml_node RequiredElement(const pugi::xml_node& element, const Path& path)
{
    return RequiredElementOf<T>(path, path.First(element));
}

// A point's "@x", "@y" (and "@z") in one pass over its attributes, each the first
// of its name; a missing one throws as its query would, in x, y, z order.
template <typename V>
V ReadPoint(const pugi::xml_node& element)
{
    constexpr int n = V::length();
    static const char* const queries[3] = {"@x", "@y", "@z"};
    pugi::xml_attribute found[3];
    for (pugi::xml_attribute attribute = element.first_attribute(); attribute; attribute = attribute.next_attribute()) {
        const char* name = attribute.name();
        const int index = name[0] - 'x';
        if (index >= 0 && index < n && name[1] == '\0' && !found[index])
            found[index] = attribute;
    }
    for (int i = 0; i < n; ++i)
        if (!found[i])
            oi::ThrowNoResult(queries[i], oi::TypeLabel<V>::value);
    V point;
    for (int i = 0; i < n; ++i)
        point[i] = NumberOf<double>(found[i]);
    return point;
}

template <typename T>
T ReadNode(const pugi::xml_node& node)
{
    if constexpr (std::is_same_v<T, glm::dvec3> || std::is_same_v<T, glm::dvec2>)
        return ReadPoint<T>(node);
    else
        return oi::ImportFromNode<T>(node);
}

template <typename T>
T RequiredOf(const Path& path, const pugi::xpath_node& result)
{
    return ReadNode<T>(RequiredElementOf<T>(path, result));
}

template <typename T>
T Required(const pugi::xml_node& element, const Path& path)
{
    return RequiredOf<T>(path, path.First(element));
}

// The first result of each path for one element, the one-step paths found in a
// single walk over its children instead of one walk each.
template <std::size_t N>
class Found {
public:
    Found(const pugi::xml_node& element, const Path* const (&paths)[N])
    {
        char initial[N];
        bool open[N];
        std::size_t left = 0;
        for (std::size_t i = 0; i < N; ++i) {
            open[i] = paths[i]->OneStep();
            if (open[i]) {
                initial[i] = paths[i]->StepInitial();
                ++left;
            } else {
                results_[i] = paths[i]->First(element);
            }
        }
        for (pugi::xml_node child = element.first_child(); child && left > 0; child = child.next_sibling()) {
            const char* name = child.name();
            for (std::size_t i = 0; i < N; ++i) {
                if (!open[i] || name[0] != initial[i])
                    continue;
                results_[i] = paths[i]->FromChild(child, name);
                if (results_[i]) {
                    open[i] = false;
                    --left;
                }
            }
        }
    }

    const pugi::xpath_node& operator[](std::size_t i) const { return results_[i]; }

private:
    pugi::xpath_node results_[N];
};

Style2D RequiredStyle2D(const pugi::xml_node& element, ImportContext& context)
{
    static const Path query("style2D");
    return ImportFromNode<Style2D>(RequiredElement<Style2D>(element, query), context);
}

pugi::xml_node FirstChildElement(const pugi::xml_node& element, const char* name)
{
    for (pugi::xml_node child = element.first_child(); child; child = child.next_sibling()) {
        const char* childName = child.name();
        if (childName[0] == name[0] && std::strcmp(childName, name) == 0 && child.type() == pugi::node_element)
            return child;
    }
    return pugi::xml_node();
}

const Path kId("@id");
const Path kName("@name");

// configuration, materials, line styles, sketches

std::shared_ptr<ConfigParam> ImportConfigParam(const pugi::xml_node& element)
{
    static const Path pos("@pos"), value("@value"), type("@type");
    auto entity = std::make_shared<ConfigParam>();
    entity->id = Optional<std::wstring>(element, pos);
    entity->name = Optional<std::wstring>(element, kName);
    entity->value = Optional<std::wstring>(element, value);
    entity->type = Optional<std::wstring>(element, type);
    return entity;
}

std::shared_ptr<Material> ImportMaterial(const pugi::xml_node& element)
{
    static const Path ambient("color[@name='ambient']"), diffuse("color[@name='diffuse']"),
        specular("color[@name='specular']"), emissive("color[@name='emissive']"), shininess("shininess/@value"),
        transparency("transparency/@value");
    auto entity = std::make_shared<Material>();
    entity->id = Optional<std::wstring>(element, kId);
    entity->name = Optional<std::wstring>(element, kName);
    entity->ambient = Required<RGBColor>(element, ambient);
    entity->diffuse = Required<RGBColor>(element, diffuse);
    entity->specular = Required<RGBColor>(element, specular);
    entity->emissive = Required<RGBColor>(element, emissive);
    entity->shininess = Optional<double>(element, shininess);
    entity->transparency = Optional<double>(element, transparency);
    return entity;
}

std::shared_ptr<LineStyle> ImportLineStyle(const pugi::xml_node& element)
{
    static const Path blue("@colBlue"), green("@colGreen"), red("@colRed"), lineDef("@line_def");
    auto entity = std::make_shared<LineStyle>();
    entity->id = Optional<std::wstring>(element, kId);
    entity->name = Optional<std::wstring>(element, kName);
    entity->color.blue = Optional<unsigned short>(element, blue);
    entity->color.green = Optional<unsigned short>(element, green);
    entity->color.red = Optional<unsigned short>(element, red);
    entity->lineDef = Optional<std::wstring>(element, lineDef);
    return entity;
}

const Path kCenter2D("point2D[@name='center']");
const Path kRadius("radius/@value");

std::shared_ptr<BasicEntry2D> ImportLine(ImportContext& context, const pugi::xml_node& element)
{
    static const Path start("point2D[@name='start']"), end("point2D[@name='end']");
    auto entry = std::make_shared<Line2D>();
    entry->style = RequiredStyle2D(element, context);
    entry->start = Required<glm::dvec2>(element, start);
    entry->end = Required<glm::dvec2>(element, end);
    return entry;
}

std::shared_ptr<BasicEntry2D> ImportArc(ImportContext& context, const pugi::xml_node& element)
{
    static const Path startAngle("angle[@name='start']/@value"), endAngle("angle[@name='end']/@value");
    auto entry = std::make_shared<Arc2D>();
    entry->style = RequiredStyle2D(element, context);
    entry->center = Required<glm::dvec2>(element, kCenter2D);
    entry->startAngle = Optional<double>(element, startAngle);
    entry->endAngle = Optional<double>(element, endAngle);
    entry->radius = Optional<double>(element, kRadius);
    return entry;
}

std::shared_ptr<BasicEntry2D> ImportCircle(ImportContext& context, const pugi::xml_node& element)
{
    auto entry = std::make_shared<Circle2D>();
    entry->style = RequiredStyle2D(element, context);
    entry->center = Required<glm::dvec2>(element, kCenter2D);
    entry->radius = Optional<double>(element, kRadius);
    return entry;
}

std::shared_ptr<Sketch> ImportSketch(ImportContext& context, const pugi::xml_node& element)
{
    auto entity = std::make_shared<Sketch>();
    entity->id = Optional<std::wstring>(element, kId);
    entity->name = Optional<std::wstring>(element, kName);
    const pugi::xml_node wire = FirstChildElement(element, "outerWire");
    for (pugi::xml_node child = wire.first_child(); child; child = child.next_sibling()) {
        if (child.type() != pugi::node_element)
            continue;
        const char* name = child.name();
        if (std::strcmp(name, "line2D") == 0)
            entity->entries.push_back(ImportLine(context, child));
        else if (std::strcmp(name, "arc2D") == 0)
            entity->entries.push_back(ImportArc(context, child));
        else if (std::strcmp(name, "circle2D") == 0)
            entity->entries.push_back(ImportCircle(context, child));
    }
    return entity;
}

// parts, solids, assemblies

void ReadElementData(ImportContext& context, const pugi::xml_node& element, Element& entity)
{
    static const Path materialRef("@materialref"), attribs("attributeList/attrib"), value("@value");
    entity.id = Optional<std::wstring>(element, kId);
    entity.name = Optional<std::wstring>(element, kName);
    entity.material = FindOptional(
        element, materialRef, materialRef.First(element),
        [&](std::string_view id) { return context.FindMaterialAscii(id); },
        [&](const std::wstring& id) { return context.FindMaterial(id); });
    entity.boolMode = "NONE";
    attribs.ForEachElement(element, [&](const pugi::xml_node& attrib) {
        if (std::strcmp(OptionalText(attrib, kName), "tv_prop_bool_op") != 0)
            return;
        const char* mode = OptionalText(attrib, value);
        if (std::strcmp(mode, "3-union,all") == 0)
            entity.boolMode = "UNION_ALL";
        else if (std::strcmp(mode, "4-subtract,all") == 0)
            entity.boolMode = "SUBTRACT_ALL";
        else if (std::strcmp(mode, "6-intersect,all") == 0)
            entity.boolMode = "INTERSECT_ALL";
    });
}

glm::dmat4 ReadMatrix(const pugi::xml_node& element)
{
    static const char* const names[16] = {"@M0", "@M1", "@M2",  "@M3",  "@M4",  "@M5",  "@M6",  "@M7",
                                          "@M8", "@M9", "@M10", "@M11", "@M12", "@M13", "@M14", "@M15"};
    // One pass over the attributes; the warnings then follow in M0 to M15 order.
    pugi::xml_attribute found[16];
    for (pugi::xml_attribute attribute = element.first_attribute(); attribute; attribute = attribute.next_attribute()) {
        const char* name = attribute.name();
        if (name[0] != 'M' || name[1] < '0' || name[1] > '9')
            continue;
        int index = name[1] - '0';
        if (name[2] != '\0') {
            if (index != 1 || name[2] < '0' || name[2] > '5' || name[3] != '\0')
                continue;
            index = 10 + (name[2] - '0');
        }
        if (!found[index])
            found[index] = attribute;
    }
    glm::dmat4 matrix(0.0);
    for (int i = 0; i < 16; ++i) {
        double value = 0;
        if (found[i])
            value = NumberOf<double>(found[i]);
        else
            oi::ReportEmptyValue(element.name(), names[i]);
        matrix[i % 4][i / 4] = value;  // attribute M(4r + c) is element (r, c)
    }
    return matrix;
}

std::shared_ptr<Sketch> FindSketchOf(ImportContext& context, const pugi::xml_node& element, const Path& path,
                                     const pugi::xpath_node& result)
{
    return FindOptional(
        element, path, result, [&](std::string_view id) { return context.FindSketchAscii(id); },
        [&](const std::wstring& id) { return context.FindSketch(id); });
}

const Path kBoolOp("bool_op");
const Path kStyle3D("style3D");
const Path kTransform("transform");
const Path kStart3D("point3D[@name='start']");
const Path kCenter3D("point3D[@name='center']");

// A solid's first three paths are kBoolOp, kStyle3D and kTransform.
template <std::size_t N>
void ReadSolidCommon(const Found<N>& found, BasicEntry3D& solid)
{
    static const Path op("@op"), simple("@simple");
    const pugi::xml_node boolOp = found[0].node();
    const char* operation = OptionalText(boolOp, op);
    solid.boolOp = std::strcmp(operation, "union") == 0       ? 1
                   : std::strcmp(operation, "subtract") == 0  ? 2
                   : std::strcmp(operation, "intersect") == 0 ? 3
                                                              : 0;
    solid.simple = Optional<int>(boolOp, simple) == 1;
    solid.style = RequiredOf<Style3D>(kStyle3D, found[1]);
    const pugi::xml_node transform = found[2].node();
    if (transform)
        solid.transform = ReadMatrix(transform);
}

std::shared_ptr<BasicEntry3D> ImportSolid(ImportContext& context, const pugi::xml_node& element, const char* kind)
{
    static const Path end("point3D[@name='end']"), height("height/@value"), majorRadius("majorradius/@value"),
        minorRadius("minorradius/@value"), length("length/@value"), angle("angle/@value"),
        sketchRef("sketchref/@value"), axis("axis"), sketchTransformPath("sketch_transform");
    if (std::strcmp(kind, "solid_block") == 0) {
        static const Path* const paths[] = {&kBoolOp, &kStyle3D, &kTransform, &kStart3D, &end};
        const Found found(element, paths);
        auto solid = std::make_shared<Block3D>();
        ReadSolidCommon(found, *solid);
        solid->start = RequiredOf<glm::dvec3>(kStart3D, found[3]);
        solid->end = RequiredOf<glm::dvec3>(end, found[4]);
        return solid;
    }
    if (std::strcmp(kind, "solid_cone") == 0 || std::strcmp(kind, "solid_cylinder") == 0) {
        static const Path* const paths[] = {&kBoolOp, &kStyle3D, &kTransform, &kStart3D, &kRadius, &height};
        const Found found(element, paths);
        const auto read = [&](auto solid) {
            ReadSolidCommon(found, *solid);
            solid->start = RequiredOf<glm::dvec3>(kStart3D, found[3]);
            solid->radius = OptionalOf<double>(element, kRadius, found[4]);
            solid->height = OptionalOf<double>(element, height, found[5]);
            return std::shared_ptr<BasicEntry3D>(std::move(solid));
        };
        if (kind[7] == 'o')
            return read(std::make_shared<Cone3D>());
        return read(std::make_shared<Cylinder3D>());
    }
    if (std::strcmp(kind, "solid_sphere") == 0) {
        static const Path* const paths[] = {&kBoolOp, &kStyle3D, &kTransform, &kCenter3D, &kRadius};
        const Found found(element, paths);
        auto solid = std::make_shared<Sphere3D>();
        ReadSolidCommon(found, *solid);
        solid->center = RequiredOf<glm::dvec3>(kCenter3D, found[3]);
        solid->radius = OptionalOf<double>(element, kRadius, found[4]);
        return solid;
    }
    if (std::strcmp(kind, "solid_torus") == 0) {
        static const Path* const paths[] = {&kBoolOp, &kStyle3D, &kTransform, &kCenter3D, &majorRadius, &minorRadius};
        const Found found(element, paths);
        auto solid = std::make_shared<Torus3D>();
        ReadSolidCommon(found, *solid);
        solid->center = RequiredOf<glm::dvec3>(kCenter3D, found[3]);
        solid->majorRadius = OptionalOf<double>(element, majorRadius, found[4]);
        solid->minorRadius = OptionalOf<double>(element, minorRadius, found[5]);
        return solid;
    }
    if (std::strcmp(kind, "solid_extrude") == 0) {
        static const Path* const paths[] = {&kBoolOp, &kStyle3D, &kTransform, &kStart3D, &length, &angle, &sketchRef};
        const Found found(element, paths);
        auto solid = std::make_shared<Extrude3D>();
        ReadSolidCommon(found, *solid);
        solid->start = RequiredOf<glm::dvec3>(kStart3D, found[3]);
        solid->length = OptionalOf<double>(element, length, found[4]);
        solid->angle = OptionalOf<double>(element, angle, found[5]);
        solid->sketch = FindSketchOf(context, element, sketchRef, found[6]);
        return solid;
    }
    if (std::strcmp(kind, "solid_revolve") == 0) {
        static const Path* const paths[] = {&kBoolOp, &kStyle3D,  &kTransform,          &kStart3D,
                                            &axis,    &angle,     &sketchTransformPath, &sketchRef};
        const Found found(element, paths);
        auto solid = std::make_shared<Revolve3D>();
        ReadSolidCommon(found, *solid);
        solid->start = RequiredOf<glm::dvec3>(kStart3D, found[3]);
        solid->axis = RequiredOf<glm::dvec3>(axis, found[4]);
        solid->angle = OptionalOf<double>(element, angle, found[5]);
        const pugi::xml_node sketchTransform = found[6].node();
        if (sketchTransform)
            solid->sketchTransform = ReadMatrix(sketchTransform);
        solid->sketch = FindSketchOf(context, element, sketchRef, found[7]);
        return solid;
    }
    return nullptr;
}

std::shared_ptr<Part> ImportPart(ImportContext& context, const pugi::xml_node& element)
{
    static const Path type("@type");
    auto part = std::make_shared<Part>();
    ReadElementData(context, element, *part);
    context.Register(std::shared_ptr<Element>(part), part->id);
    const pugi::xpath_node typeResult = type.First(element);
    std::string_view asciiType;
    if (!typeResult) {
        oi::ReportEmptyValue(element.name(), type.Text());
    } else if (!AsciiText(typeResult, asciiType)) {
        const std::wstring wide = WideText(typeResult);
        if (!wide.empty() && wide != L"geom")
            return part;
    } else if (!asciiType.empty() && asciiType != "geom") {
        return part;
    }
    const pugi::xml_node geometry = FirstChildElement(element, "geometry");
    std::size_t children = 0;
    for (pugi::xml_node child = geometry.first_child(); child; child = child.next_sibling())
        ++children;
    part->solids.reserve(children);
    for (pugi::xml_node child = geometry.first_child(); child; child = child.next_sibling()) {
        if (child.type() != pugi::node_element)
            continue;
        const char* name = child.name();
        if (std::strncmp(name, "solid_", 6) != 0)
            continue;
        if (auto solid = ImportSolid(context, child, name))
            part->solids.push_back(std::move(solid));
    }
    return part;
}

std::shared_ptr<Assembly> ImportAssembly(ImportContext& context, const pugi::xml_node& element)
{
    static const Path materialRef("@materialref");
    auto assembly = std::make_shared<Assembly>();
    ReadElementData(context, element, *assembly);
    context.Register(std::shared_ptr<Element>(assembly), assembly->id);
    for (pugi::xml_node component = element.first_child(); component; component = component.next_sibling()) {
        if (component.type() != pugi::node_element || std::strcmp(component.name(), "component") != 0)
            continue;
        const pugi::xpath_node instanceOf = oi::Query<std::wstring>(component, "@instance_of");
        std::string_view asciiId;
        std::shared_ptr<Element> child = AsciiText(instanceOf, asciiId) ? context.FindElementAscii(asciiId)
                                                                        : context.FindElement(WideText(instanceOf));
        // Neither an unknown element nor the assembly itself may become a child:
        // the emission needs every child present and a tree without cycles.
        if (!child) {
            ReportImportWarning(std::string("no element ") + instanceOf.attribute().value() +
                                " for @instance_of, node=component, skipped");
            continue;
        }
        if (child.get() == assembly.get()) {
            ReportImportWarning(std::string("assembly ") + instanceOf.attribute().value() +
                                " lists itself in @instance_of, node=component, skipped");
            continue;
        }
        const pugi::xpath_node ref = materialRef.First(component);
        std::string_view asciiRef;
        if (!ref) {
            oi::ReportEmptyValue(component.name(), materialRef.Text());
        } else if (!AsciiText(ref, asciiRef)) {
            const std::wstring wide = WideText(ref);
            if (!wide.empty())
                child->material = context.FindMaterial(wide);
        } else if (!asciiRef.empty()) {
            child->material = context.FindMaterialAscii(asciiRef);
        }
        assembly->children.push_back(std::move(child));
    }
    return assembly;
}

}  // namespace

template <>
Style2D ImportFromNode<Style2D>(const pugi::xml_node& element, ImportContext& context)
{
    static const Path lineStyle("@lineStyle"), layer("@layer");
    Style2D style;
    style.lineStyle = context.FindLineStyle(Optional<std::wstring>(element, lineStyle));
    style.layer = Optional<int>(element, layer);
    return style;
}

namespace {

// "cad data xml import warning: " and the parts of the text, to the Session Report
// without an alert. The host takes the text in its default character code; ASCII
// text, the usual case, is handed over as the same units directly.
void ReportWarningLine(std::initializer_list<std::string_view> parts)
{
    constexpr std::string_view prefix = "cad data xml import warning: ";
    std::size_t size = prefix.size();
    for (const auto part : parts)
        size += part.size();
    std::u16string units(size, u'\0');
    std::size_t used = 0;
    unsigned char high = 0;  // the high bits of every byte: non-zero for text beyond ASCII
    bool ended = false;      // a zero byte ends the text, as it ends a C string
    const auto add = [&](std::string_view text) {
        for (std::size_t i = 0; i < text.size() && !ended; ++i) {
            const auto c = static_cast<unsigned char>(text[i]);
            ended = c == 0;
            high |= c;
            units[used] = c;
            used += ended ? 0 : 1;
        }
    };
    add(prefix);
    for (const auto part : parts)
        add(part);
    units.resize(used);
    const bool ascii = (high & 0x80) == 0;
    if (ascii) {
        HostApi_Report(GS::UniString(std::move(units)), false);
        return;
    }
    std::string line;
    line.reserve(size);
    line += prefix;
    for (const auto part : parts)
        line += part;
    HostApi_Report(GS::UniString(line.c_str(), GS::CC_Default), false);
}

}  // namespace

void ReportImportWarning(const std::string& text) { ReportWarningLine({text}); }

void ReportEmptyValue(const char* nodeName, const char* query)
{
    ReportWarningLine({"empty ", query != nullptr ? query : "", ", node=", nodeName != nullptr ? nodeName : ""});
}

void ImportTarvelDB(ImportContext& context, const pugi::xml_node& geom, TarvelDB& database)
{
    static const Path configs("tvConfiguration/configParams/configPos"), materials("materialsList/material"),
        lineStyles("lineStylesList/lineStyle"), sketches("sketchList/sketch"), parts("part"),
        assemblies("assembly"), value("@value"), unit("@unit");
    const oi::ScopedEmptyValueReport report(&ReportEmptyValue);
    // One walk over the (many) children of geom finds where every section starts.
    static const Path* const sectionPaths[] = {&configs, &materials, &lineStyles, &sketches, &parts, &assemblies};
    constexpr std::size_t sectionCount = std::size(sectionPaths);
    std::vector<pugi::xml_node> starts[sectionCount];
    pugi::xml_node author, format;
    std::size_t elements = 0;
    for (pugi::xml_node child = geom.first_child(); child; child = child.next_sibling()) {
        ++elements;
        const char* name = child.name();
        for (std::size_t i = 0; i < sectionCount; ++i)
            if (sectionPaths[i]->Walkable() && sectionPaths[i]->FirstStepSelects(child, name))
                starts[i].push_back(child);
        if (child.type() == pugi::node_element) {
            if (!author && std::strcmp(name, "author") == 0)
                author = child;
            else if (!format && std::strcmp(name, "format") == 0)
                format = child;
        }
    }
    context.ReserveElements(elements);
    const auto forEach = [&](std::size_t section, auto&& f) {
        const Path& path = *sectionPaths[section];
        if (!path.Walkable()) {
            path.ForEachElement(geom, f);
            return;
        }
        for (const pugi::xml_node& start : starts[section])
            path.ForEachElementBelow(start, f);
    };

    forEach(0, [&](const pugi::xml_node& e) { database.AddConfigParam(ImportConfigParam(e)); });
    forEach(1, [&](const pugi::xml_node& e) {
        auto entity = ImportMaterial(e);
        context.Register(entity, entity->id);
        database.AddMaterial(entity);
    });
    forEach(2, [&](const pugi::xml_node& e) {
        auto entity = ImportLineStyle(e);
        context.Register(entity, entity->id);
        database.AddLineStyle(entity);
    });
    forEach(3, [&](const pugi::xml_node& e) {
        auto entity = ImportSketch(context, e);
        context.Register(entity, entity->id);
        database.AddSketch(entity);
    });
    forEach(4, [&](const pugi::xml_node& e) { database.AddPart(ImportPart(context, e)); });
    forEach(5, [&](const pugi::xml_node& e) { database.AddAssembly(ImportAssembly(context, e)); });
    database.SetAuthor(Optional<std::wstring>(author, value));
    database.SetUnit(Optional<std::wstring>(format, unit));
    database.valid = true;
}

TarvelDB ImportTarvelDB(ImportContext& context, const pugi::xml_node& geom)
{
    TarvelDB database;
    ImportTarvelDB(context, geom, database);
    return database;
}

}  // namespace tarvel
