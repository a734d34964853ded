#include "db/Import.hpp"

#include "db/FastQuery.hpp"

#include "ostrel/interop/HostApi.hpp"

#include <cstring>
#include <type_traits>
#include <utility>

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
    tarvel::Style3D style;
    style.color.blue = ImportOptional<unsigned short>(element, "@colBlue");
    style.color.green = ImportOptional<unsigned short>(element, "@colGreen");
    style.color.red = ImportOptional<unsigned short>(element, "@colRed");
    style.layer = ImportOptional<int>(element, "@layer");
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

// The optional rule over a fixed query.
template <typename T>
T Optional(const pugi::xml_node& element, const Path& path)
{
    const pugi::xpath_node result = path.First(element);
    if (!result) {
        oi::ReportEmptyValue(element.name(), path.Text());
        return T{};
    }
    if constexpr (std::is_same_v<T, std::wstring>)
        return WideText(result);
    else
        return oi::ReadValue<T>(result);
}

// The required rule for an element result, read as the value type T.
template <typename T>
pugi::xml_node RequiredElement(const pugi::xml_node& element, const Path& path)
{
    const pugi::xpath_node result = path.First(element);
    if (!result)
        oi::ThrowNoResult(path.Text(), oi::TypeLabel<T>::value);
    if (result.attribute())
        oi::ImportFromAttribute<T>(result.attribute());
    if (!result.node() || result.node().type() != pugi::node_element)
        oi::ThrowEmptyNode();
    return result.node();
}

template <typename T>
T Required(const pugi::xml_node& element, const Path& path)
{
    return oi::ImportFromNode<T>(RequiredElement<T>(element, path));
}

Style2D RequiredStyle2D(const pugi::xml_node& element, ImportContext& context)
{
    static const Path query("style2D");
    return ImportFromNode<Style2D>(RequiredElement<Style2D>(element, query), context);
}

pugi::xml_node FirstChildElement(const pugi::xml_node& element, const char* name)
{
    for (pugi::xml_node child = element.first_child(); child; child = child.next_sibling())
        if (child.type() == pugi::node_element && std::strcmp(child.name(), name) == 0)
            return child;
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
    entity.material = context.FindMaterial(Optional<std::wstring>(element, materialRef));
    entity.boolMode = "NONE";
    attribs.ForEachElement(element, [&](const pugi::xml_node& attrib) {
        if (Optional<std::string>(attrib, kName) != "tv_prop_bool_op")
            return;
        const std::string mode = Optional<std::string>(attrib, value);
        if (mode == "3-union,all")
            entity.boolMode = "UNION_ALL";
        else if (mode == "4-subtract,all")
            entity.boolMode = "SUBTRACT_ALL";
        else if (mode == "6-intersect,all")
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
            value = oi::ReadValue<double>(pugi::xpath_node(found[i], element));
        else
            oi::ReportEmptyValue(element.name(), names[i]);
        matrix[i % 4][i / 4] = value;  // attribute M(4r + c) is element (r, c)
    }
    return matrix;
}

void ReadSolidCommon(const pugi::xml_node& element, BasicEntry3D& solid)
{
    static const Path op("@op"), simple("@simple"), style("style3D");
    const pugi::xml_node boolOp = FirstChildElement(element, "bool_op");
    const std::string operation = Optional<std::string>(boolOp, op);
    solid.boolOp = operation == "union" ? 1 : operation == "subtract" ? 2 : operation == "intersect" ? 3 : 0;
    solid.simple = Optional<int>(boolOp, simple) == 1;
    solid.style = Required<Style3D>(element, style);
    const pugi::xml_node transform = FirstChildElement(element, "transform");
    if (transform)
        solid.transform = ReadMatrix(transform);
}

const Path kStart3D("point3D[@name='start']");
const Path kCenter3D("point3D[@name='center']");

std::shared_ptr<BasicEntry3D> ImportSolid(ImportContext& context, const pugi::xml_node& element, const char* kind)
{
    static const Path end("point3D[@name='end']"), height("height/@value"), majorRadius("majorradius/@value"),
        minorRadius("minorradius/@value"), length("length/@value"), angle("angle/@value"),
        sketchRef("sketchref/@value"), axis("axis");
    if (std::strcmp(kind, "solid_block") == 0) {
        auto solid = std::make_shared<Block3D>();
        ReadSolidCommon(element, *solid);
        solid->start = Required<glm::dvec3>(element, kStart3D);
        solid->end = Required<glm::dvec3>(element, end);
        return solid;
    }
    if (std::strcmp(kind, "solid_cone") == 0 || std::strcmp(kind, "solid_cylinder") == 0) {
        const auto read = [&](auto solid) {
            ReadSolidCommon(element, *solid);
            solid->start = Required<glm::dvec3>(element, kStart3D);
            solid->radius = Optional<double>(element, kRadius);
            solid->height = Optional<double>(element, height);
            return std::shared_ptr<BasicEntry3D>(std::move(solid));
        };
        if (kind[7] == 'o')
            return read(std::make_shared<Cone3D>());
        return read(std::make_shared<Cylinder3D>());
    }
    if (std::strcmp(kind, "solid_sphere") == 0) {
        auto solid = std::make_shared<Sphere3D>();
        ReadSolidCommon(element, *solid);
        solid->center = Required<glm::dvec3>(element, kCenter3D);
        solid->radius = Optional<double>(element, kRadius);
        return solid;
    }
    if (std::strcmp(kind, "solid_torus") == 0) {
        auto solid = std::make_shared<Torus3D>();
        ReadSolidCommon(element, *solid);
        solid->center = Required<glm::dvec3>(element, kCenter3D);
        solid->majorRadius = Optional<double>(element, majorRadius);
        solid->minorRadius = Optional<double>(element, minorRadius);
        return solid;
    }
    if (std::strcmp(kind, "solid_extrude") == 0) {
        auto solid = std::make_shared<Extrude3D>();
        ReadSolidCommon(element, *solid);
        solid->start = Required<glm::dvec3>(element, kStart3D);
        solid->length = Optional<double>(element, length);
        solid->angle = Optional<double>(element, angle);
        solid->sketch = context.FindSketch(Optional<std::wstring>(element, sketchRef));
        return solid;
    }
    if (std::strcmp(kind, "solid_revolve") == 0) {
        auto solid = std::make_shared<Revolve3D>();
        ReadSolidCommon(element, *solid);
        solid->start = Required<glm::dvec3>(element, kStart3D);
        solid->axis = Required<glm::dvec3>(element, axis);
        solid->angle = Optional<double>(element, angle);
        const pugi::xml_node sketchTransform = FirstChildElement(element, "sketch_transform");
        if (sketchTransform)
            solid->sketchTransform = ReadMatrix(sketchTransform);
        solid->sketch = context.FindSketch(Optional<std::wstring>(element, sketchRef));
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
    const std::wstring partType = Optional<std::wstring>(element, type);
    if (!partType.empty() && partType != L"geom")
        return part;
    const pugi::xml_node geometry = FirstChildElement(element, "geometry");
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
        const std::wstring id = WideText(instanceOf);
        std::shared_ptr<Element> child = context.FindElement(id);
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
        const std::wstring ref = Optional<std::wstring>(component, materialRef);
        if (!ref.empty())
            child->material = context.FindMaterial(ref);
        assembly->children.push_back(std::move(child));
    }
    return assembly;
}

std::wstring FirstChildValue(const pugi::xml_node& geom, const char* name, const Path& attribute)
{
    return Optional<std::wstring>(FirstChildElement(geom, name), attribute);
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

void ReportImportWarning(const std::string& text)
{
    const std::string line = "cad data xml import warning: " + text;
    HostApi_Report(GS::UniString(line.c_str(), GS::CC_Default), false);
}

void ReportEmptyValue(const char* nodeName, const char* query)
{
    ReportImportWarning(std::string("empty ") + (query != nullptr ? query : "") + ", node=" +
                        (nodeName != nullptr ? nodeName : ""));
}

void ImportTarvelDB(ImportContext& context, const pugi::xml_node& geom, TarvelDB& database)
{
    static const Path configs("tvConfiguration/configParams/configPos"), materials("materialsList/material"),
        lineStyles("lineStylesList/lineStyle"), sketches("sketchList/sketch"), parts("part"),
        assemblies("assembly"), value("@value"), unit("@unit");
    const oi::ScopedEmptyValueReport report(&ReportEmptyValue);

    configs.ForEachElement(geom, [&](const pugi::xml_node& e) { database.AddConfigParam(ImportConfigParam(e)); });
    materials.ForEachElement(geom, [&](const pugi::xml_node& e) {
        auto entity = ImportMaterial(e);
        context.Register(entity, entity->id);
        database.AddMaterial(entity);
    });
    lineStyles.ForEachElement(geom, [&](const pugi::xml_node& e) {
        auto entity = ImportLineStyle(e);
        context.Register(entity, entity->id);
        database.AddLineStyle(entity);
    });
    sketches.ForEachElement(geom, [&](const pugi::xml_node& e) {
        auto entity = ImportSketch(context, e);
        context.Register(entity, entity->id);
        database.AddSketch(entity);
    });
    parts.ForEachElement(geom, [&](const pugi::xml_node& e) { database.AddPart(ImportPart(context, e)); });
    assemblies.ForEachElement(geom, [&](const pugi::xml_node& e) { database.AddAssembly(ImportAssembly(context, e)); });
    database.SetAuthor(FirstChildValue(geom, "author", value));
    database.SetUnit(FirstChildValue(geom, "format", unit));
    database.valid = true;
}

TarvelDB ImportTarvelDB(ImportContext& context, const pugi::xml_node& geom)
{
    TarvelDB database;
    ImportTarvelDB(context, geom, database);
    return database;
}

}  // namespace tarvel
