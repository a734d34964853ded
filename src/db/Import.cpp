#include "db/Import.hpp"

#include "db/FastQuery.hpp"

#include "ostrel/Text.hpp"
#include "ostrel/interop/HostApi.hpp"

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <iterator>
#include <locale>
#include <memory>
#include <optional>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

namespace {

// Whether a text (zero-terminated) is exactly the other.
bool Equal(const char* text, const char* other)
{
    while (*text != '\0' && *text == *other) {
        ++text;
        ++other;
    }
    return *text == *other;
}

// Whether a text (zero-terminated) is exactly the literal. The comparison stops at
// the first difference, at the latest at the text's end, so it reads nothing beyond.
template <std::size_t N, std::size_t... I>
bool IsEach(const char* text, const char (&literal)[N], std::index_sequence<I...>)
{
    return ((text[I] == literal[I]) && ...);
}

template <std::size_t N>
bool Is(const char* text, const char (&literal)[N])
{
    return IsEach(text, literal, std::make_index_sequence<N>());
}

// A plain "[-]digits[.digits]" text with at most 15 digits, as a double: the digits
// and the power of ten are both exact, so one division rounds correctly, giving the
// value from_chars gives. Anything else answers false.
bool PlainDecimal(const char* text, double& value)
{
    const char* p = text;
    const bool negative = *p == '-';
    p += negative ? 1 : 0;
    std::uint64_t digits = 0;
    const char* whole = p;
    while (static_cast<unsigned>(*p - '0') < 10)
        digits = digits * 10 + static_cast<unsigned>(*p++ - '0');
    const auto wholeCount = p - whole;
    if (wholeCount == 0)
        return false;
    long fraction = 0;
    if (*p == '.') {
        const char* first = ++p;
        while (static_cast<unsigned>(*p - '0') < 10)
            digits = digits * 10 + static_cast<unsigned>(*p++ - '0');
        fraction = p - first;
        if (fraction == 0)
            return false;
    }
    if (*p != '\0' || wholeCount + fraction > 15)
        return false;
    static constexpr double kPowers[16] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                           1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    const double magnitude = static_cast<double>(digits) / kPowers[fraction];
    value = negative ? -magnitude : magnitude;
    return true;
}

// The reading of a number that is not plain at first sight, apart from the quick
// readings of the usual ones.
template <typename T>
[[gnu::noinline]] T NumberOfOtherText(const char* text, const pugi::xml_node& element, const char* query)
{
    return ostrel::importers::NumberValue<T>(text, element.name(), query);
}

// A number's text read as ReadValue reads an attribute's: the value of that query on
// that element, with its warning when the text is not plain.
template <typename T>
T NumberOfText(const char* text, const pugi::xml_node& element, const char* query)
{
    if constexpr (std::is_same_v<T, double>) {
        // "0" and "1" fill most of a placement matrix.
        if ((text[0] == '0' || text[0] == '1') && text[1] == '\0')
            return text[0] == '0' ? 0.0 : 1.0;
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
    return NumberOfOtherText<T>(text, element, query);
}

}  // namespace

namespace ostrel::importers {

template <>
tarvel::RGBColor ImportFromNode<tarvel::RGBColor>(const pugi::xml_node& element)
{
    // One pass over the attributes; each takes the first of its name, and the
    // warnings follow in the fixed order.
    static const char* const queries[3] = {"@blue", "@green", "@red"};
    const char* found[3] = {nullptr, nullptr, nullptr};
    for (pugi::xml_attribute attribute = element.first_attribute(); attribute; attribute = attribute.next_attribute()) {
        const char* name = attribute.name();
        const int index = Is(name, "blue") ? 0 : Is(name, "green") ? 1 : Is(name, "red") ? 2 : -1;
        if (index >= 0 && found[index] == nullptr)
            found[index] = attribute.value();
    }
    unsigned short values[3] = {0, 0, 0};
    for (int i = 0; i < 3; ++i) {
        if (found[i] == nullptr)
            ReportEmptyValue(element.name(), queries[i]);
        else
            values[i] = NumberOfText<unsigned short>(found[i], element, queries[i]);
    }
    tarvel::RGBColor color;
    color.blue = values[0];
    color.green = values[1];
    color.red = values[2];
    return color;
}

template <>
tarvel::Style3D ImportFromNode<tarvel::Style3D>(const pugi::xml_node& element)
{
    // One pass over the attributes; each takes the first of its name, and the
    // warnings follow in the fixed order.
    static const char* const queries[4] = {"@colBlue", "@colGreen", "@colRed", "@layer"};
    const char* found[4] = {nullptr, nullptr, nullptr, nullptr};
    for (pugi::xml_attribute attribute = element.first_attribute(); attribute; attribute = attribute.next_attribute()) {
        const char* name = attribute.name();
        int index = -1;
        if (name[0] == 'c' && name[1] == 'o' && name[2] == 'l')
            index = Is(name + 3, "Blue") ? 0 : Is(name + 3, "Green") ? 1 : Is(name + 3, "Red") ? 2 : -1;
        else if (Is(name, "layer"))
            index = 3;
        if (index >= 0 && found[index] == nullptr)
            found[index] = attribute.value();
    }
    const auto read = [&](int index, auto value) {
        if (found[index] == nullptr) {
            ReportEmptyValue(element.name(), queries[index]);
            return decltype(value){};
        }
        return NumberOfText<decltype(value)>(found[index], element, queries[index]);
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

// The text of the query's value on the element as wide text; plain ASCII is widened
// directly, anything else goes through the validating conversion. A value that is no
// UTF-8 is the reader's error of that value.
std::wstring WideOf(const char* text, const pugi::xml_node& element, const char* query)
{
    std::size_t length = 0;
    while (text[length] != '\0') {
        if (static_cast<unsigned char>(text[length]) >= 0x80)
            return oi::WideValue(text, element.name(), query);
        ++length;
    }
    return std::wstring(text, text + length);
}

// The ASCII text, or false (then the wide form is needed).
bool AsciiText(const char* value, std::string_view& text)
{
    std::size_t length = 0;
    while (value[length] != '\0') {
        if (static_cast<unsigned char>(value[length]) >= 0x80)
            return false;
        ++length;
    }
    text = std::string_view(value, length);
    return true;
}

// The readers below take the values of an element in one pass over its attributes
// and one over its children, each value the first in document order that its query
// selects: "@a" the first attribute a, "x" the first child element x, "x/@value" the
// first child x that has a value attribute, "x[@name='n']" the first child x with an
// attribute name of that value. A value is kept as its text (null when missing), so
// that nothing of the document is read twice.

bool IsElement(const pugi::xml_node& node) { return node.type() == pugi::node_element; }

// The text of the element's first attribute of that name, null without one.
const char* AttributeText(const pugi::xml_node& element, const char* name)
{
    const pugi::xml_attribute attribute = element.attribute(name);
    return attribute ? attribute.value() : nullptr;
}

// The value attribute's text of a child, null without one.
const char* ValueText(const pugi::xml_node& child) { return AttributeText(child, "value"); }

// For "x/@value": the first child x with a value attribute.
void TakeValue(const char*& slot, const pugi::xml_node& child)
{
    if (slot == nullptr && IsElement(child))
        slot = ValueText(child);
}

// For "x": the first child element x.
void TakeElement(std::optional<pugi::xml_node>& slot, const pugi::xml_node& child)
{
    if (!slot && IsElement(child))
        slot = child;
}

// A point element: which of the names start, end and center its "name" attributes
// give (a [@name='n'] test holds for any of them), and its coordinates "@x", "@y",
// "@z", each the first of its name.
struct PointText {
    static constexpr unsigned kStart = 1, kEnd = 2, kCenter = 4;

    explicit PointText(const pugi::xml_node& element) : node(element)
    {
        for (pugi::xml_attribute attribute = element.first_attribute(); attribute;
             attribute = attribute.next_attribute()) {
            const char* name = attribute.name();
            const int axis = name[0] - 'x';
            if (axis >= 0 && axis < 3 && name[1] == '\0') {
                if (coordinates[axis] == nullptr)
                    coordinates[axis] = attribute.value();
            } else if (Is(name, "name")) {
                const char* value = attribute.value();
                named |= Is(value, "start") ? kStart : Is(value, "end") ? kEnd : Is(value, "center") ? kCenter : 0;
            }
        }
    }

    pugi::xml_node node;  // the point element
    unsigned named = 0;
    const char* coordinates[3] = {nullptr, nullptr, nullptr};
};

// For "x[@name='n']" of points: the first child x whose names include n.
void TakePoint(std::optional<PointText>& slot, const PointText& point, unsigned name)
{
    if (!slot && (point.named & name) != 0)
        slot = point;
}

// A required point: a missing element or coordinate stops the import as its query
// would, in x, y, z order.
template <typename V>
V RequiredPoint(const std::optional<PointText>& point, const char* query)
{
    constexpr int n = V::length();
    static const char* const queries[3] = {"@x", "@y", "@z"};
    if (!point)
        oi::ThrowNoResult(query, oi::TypeLabel<V>::value);
    for (int i = 0; i < n; ++i)
        if (point->coordinates[i] == nullptr)
            oi::ThrowNoResult(queries[i], oi::TypeLabel<V>::value);
    V value;
    for (int i = 0; i < n; ++i)
        value[i] = NumberOfText<double>(point->coordinates[i], point->node, queries[i]);
    return value;
}

// The optional rule: a missing value writes its warning, naming the element the
// query ran on, and gives the default.
template <typename T>
T Optional(const pugi::xml_node& element, const char* text, const char* query)
{
    if (text == nullptr) {
        oi::ReportEmptyValue(element.name(), query);
        return T{};
    }
    if constexpr (std::is_same_v<T, std::wstring>)
        return WideOf(text, element, query);
    else
        return NumberOfText<T>(text, element, query);
}

// The optional rule for a text only compared: "" when missing.
const char* OptionalText(const pugi::xml_node& element, const char* text, const char* query)
{
    if (text == nullptr) {
        oi::ReportEmptyValue(element.name(), query);
        return "";
    }
    return text;
}

// The entity an optional id refers to, looked up as the id's wide text would be.
template <typename FindAscii, typename FindWide>
auto FindOptional(const pugi::xml_node& element, const char* text, const char* query, FindAscii&& findAscii,
                  FindWide&& findWide)
{
    if (text == nullptr) {
        oi::ReportEmptyValue(element.name(), query);
        return findWide(std::wstring());
    }
    std::string_view ascii;
    if (AsciiText(text, ascii))
        return findAscii(ascii);
    return findWide(WideOf(text, element, query));
}

// The required rule for an element: without one the import stops.
template <typename T>
pugi::xml_node Required(const std::optional<pugi::xml_node>& found, const char* query)
{
    if (!found)
        oi::ThrowNoResult(query, oi::TypeLabel<T>::value);
    return *found;
}

// The attributes the readers of named entities take.
struct Attributes {
    explicit Attributes(const pugi::xml_node& element)
    {
        for (pugi::xml_attribute attribute = element.first_attribute(); attribute;
             attribute = attribute.next_attribute()) {
            const char* name = attribute.name();
            const char** slot = nullptr;
            switch (name[0]) {
            case 'c':
                slot = Is(name, "colBlue") ? &colBlue : Is(name, "colGreen") ? &colGreen : Is(name, "colRed") ? &colRed
                                                                                                               : nullptr;
                break;
            case 'i':
                slot = Is(name, "id") ? &id : nullptr;
                break;
            case 'l':
                slot = Is(name, "line_def") ? &lineDef : nullptr;
                break;
            case 'm':
                slot = Is(name, "materialref") ? &materialRef : nullptr;
                break;
            case 'n':
                slot = Is(name, "name") ? &this->name : nullptr;
                break;
            case 'p':
                slot = Is(name, "pos") ? &pos : nullptr;
                break;
            case 't':
                slot = Is(name, "type") ? &type : nullptr;
                break;
            case 'v':
                slot = Is(name, "value") ? &value : nullptr;
                break;
            default:
                break;
            }
            if (slot != nullptr && *slot == nullptr)
                *slot = attribute.value();
        }
    }

    const char *id = nullptr, *name = nullptr, *materialRef = nullptr, *type = nullptr, *pos = nullptr,
               *value = nullptr, *lineDef = nullptr, *colBlue = nullptr, *colGreen = nullptr, *colRed = nullptr;
};

Style2D ReadStyle2D(const pugi::xml_node& element, ImportContext& context)
{
    Style2D style;
    style.lineStyle = FindOptional(
        element, AttributeText(element, "lineStyle"), "@lineStyle",
        [&](std::string_view id) { return context.FindLineStyleAscii(id); },
        [&](const std::wstring& id) { return context.FindLineStyle(id); });
    style.layer = Optional<int>(element, AttributeText(element, "layer"), "@layer");
    return style;
}

// configuration, materials, line styles, sketches

std::shared_ptr<ConfigParam> ImportConfigParam(const pugi::xml_node& element)
{
    const Attributes attributes(element);
    auto entity = std::make_shared<ConfigParam>();
    entity->id = Optional<std::wstring>(element, attributes.pos, "@pos");
    entity->name = Optional<std::wstring>(element, attributes.name, "@name");
    entity->value = Optional<std::wstring>(element, attributes.value, "@value");
    entity->type = Optional<std::wstring>(element, attributes.type, "@type");
    return entity;
}

std::shared_ptr<Material> ImportMaterial(const pugi::xml_node& element)
{
    const Attributes attributes(element);
    auto entity = std::make_shared<Material>();
    entity->id = Optional<std::wstring>(element, attributes.id, "@id");
    entity->name = Optional<std::wstring>(element, attributes.name, "@name");
    std::optional<pugi::xml_node> colours[4];  // ambient, diffuse, specular, emissive
    const char* shininess = nullptr;
    const char* transparency = nullptr;
    for (pugi::xml_node child = element.first_child(); child; child = child.next_sibling()) {
        const char* name = child.name();
        if (Is(name, "color") && IsElement(child)) {
            for (pugi::xml_attribute attribute = child.first_attribute(); attribute;
                 attribute = attribute.next_attribute()) {
                if (!Is(attribute.name(), "name"))
                    continue;
                const char* value = attribute.value();
                const int index = Is(value, "ambient")    ? 0
                                  : Is(value, "diffuse")  ? 1
                                  : Is(value, "specular") ? 2
                                  : Is(value, "emissive") ? 3
                                                          : -1;
                if (index >= 0 && !colours[index])
                    colours[index] = child;
            }
        } else if (Is(name, "shininess")) {
            TakeValue(shininess, child);
        } else if (Is(name, "transparency")) {
            TakeValue(transparency, child);
        }
    }
    const auto colour = [&](int index, const char* query) {
        return oi::ImportFromNode<RGBColor>(Required<RGBColor>(colours[index], query));
    };
    entity->ambient = colour(0, "color[@name='ambient']");
    entity->diffuse = colour(1, "color[@name='diffuse']");
    entity->specular = colour(2, "color[@name='specular']");
    entity->emissive = colour(3, "color[@name='emissive']");
    entity->shininess = Optional<double>(element, shininess, "shininess/@value");
    entity->transparency = Optional<double>(element, transparency, "transparency/@value");
    return entity;
}

std::shared_ptr<LineStyle> ImportLineStyle(const pugi::xml_node& element)
{
    const Attributes attributes(element);
    auto entity = std::make_shared<LineStyle>();
    entity->id = Optional<std::wstring>(element, attributes.id, "@id");
    entity->name = Optional<std::wstring>(element, attributes.name, "@name");
    entity->color.blue = Optional<unsigned short>(element, attributes.colBlue, "@colBlue");
    entity->color.green = Optional<unsigned short>(element, attributes.colGreen, "@colGreen");
    entity->color.red = Optional<unsigned short>(element, attributes.colRed, "@colRed");
    entity->lineDef = Optional<std::wstring>(element, attributes.lineDef, "@line_def");
    return entity;
}

// What a line, arc or circle element holds.
struct EntryChildren {
    explicit EntryChildren(const pugi::xml_node& element)
    {
        for (pugi::xml_node child = element.first_child(); child; child = child.next_sibling()) {
            const char* name = child.name();
            if (Is(name, "style2D")) {
                TakeElement(style, child);
            } else if (Is(name, "point2D")) {
                if (!IsElement(child))
                    continue;
                const PointText point(child);
                TakePoint(start, point, PointText::kStart);
                TakePoint(end, point, PointText::kEnd);
                TakePoint(center, point, PointText::kCenter);
            } else if (Is(name, "angle")) {
                // An angle without a value attribute answers neither query.
                const char* value = IsElement(child) ? ValueText(child) : nullptr;
                if (value == nullptr)
                    continue;
                for (pugi::xml_attribute attribute = child.first_attribute(); attribute;
                     attribute = attribute.next_attribute()) {
                    if (!Is(attribute.name(), "name"))
                        continue;
                    const char* angle = attribute.value();
                    const char** slot = Is(angle, "start") ? &startAngle : Is(angle, "end") ? &endAngle : nullptr;
                    if (slot != nullptr && *slot == nullptr)
                        *slot = value;
                }
            } else if (Is(name, "radius")) {
                TakeValue(radius, child);
            }
        }
    }

    std::optional<pugi::xml_node> style;
    std::optional<PointText> start, end, center;
    const char* startAngle = nullptr;
    const char* endAngle = nullptr;
    const char* radius = nullptr;
};

Style2D RequiredStyle2D(const EntryChildren& children, ImportContext& context)
{
    return ReadStyle2D(Required<Style2D>(children.style, "style2D"), context);
}

std::shared_ptr<BasicEntry2D> ImportLine(ImportContext& context, const pugi::xml_node& element)
{
    const EntryChildren children(element);
    auto entry = context.New<Line2D>();
    entry->style = RequiredStyle2D(children, context);
    entry->start = RequiredPoint<glm::dvec2>(children.start, "point2D[@name='start']");
    entry->end = RequiredPoint<glm::dvec2>(children.end, "point2D[@name='end']");
    return entry;
}

std::shared_ptr<BasicEntry2D> ImportArc(ImportContext& context, const pugi::xml_node& element)
{
    const EntryChildren children(element);
    auto entry = context.New<Arc2D>();
    entry->style = RequiredStyle2D(children, context);
    entry->center = RequiredPoint<glm::dvec2>(children.center, "point2D[@name='center']");
    entry->startAngle = Optional<double>(element, children.startAngle, "angle[@name='start']/@value");
    entry->endAngle = Optional<double>(element, children.endAngle, "angle[@name='end']/@value");
    entry->radius = Optional<double>(element, children.radius, "radius/@value");
    return entry;
}

std::shared_ptr<BasicEntry2D> ImportCircle(ImportContext& context, const pugi::xml_node& element)
{
    const EntryChildren children(element);
    auto entry = context.New<Circle2D>();
    entry->style = RequiredStyle2D(children, context);
    entry->center = RequiredPoint<glm::dvec2>(children.center, "point2D[@name='center']");
    entry->radius = Optional<double>(element, children.radius, "radius/@value");
    return entry;
}

// The first child element of that name.
pugi::xml_node FirstChildElement(const pugi::xml_node& element, const char* name)
{
    for (pugi::xml_node child = element.first_child(); child; child = child.next_sibling())
        if (Equal(child.name(), name) && IsElement(child))
            return child;
    return pugi::xml_node();
}

std::shared_ptr<Sketch> ImportSketch(ImportContext& context, const pugi::xml_node& element)
{
    const Attributes attributes(element);
    auto entity = context.New<Sketch>();
    entity->id = Optional<std::wstring>(element, attributes.id, "@id");
    entity->name = Optional<std::wstring>(element, attributes.name, "@name");
    const pugi::xml_node wire = FirstChildElement(element, "outerWire");
    // Room for every child at once: the list is not reallocated while it grows.
    std::size_t count = 0;
    for (pugi::xml_node child = wire.first_child(); child; child = child.next_sibling())
        ++count;
    entity->entries.reserve(count);
    for (pugi::xml_node child = wire.first_child(); child; child = child.next_sibling()) {
        const char* name = child.name();
        std::shared_ptr<BasicEntry2D> (*import)(ImportContext&, const pugi::xml_node&) =
            Is(name, "line2D") ? ImportLine : Is(name, "arc2D") ? ImportArc : Is(name, "circle2D") ? ImportCircle : nullptr;
        if (import != nullptr && IsElement(child))
            entity->entries.push_back(import(context, child));
    }
    return entity;
}

// parts, solids, assemblies

// The element data of a part or an assembly: "@id", "@name", "@materialref" and the
// mode of its "attributeList/attrib" elements.
void ReadElementData(ImportContext& context, const pugi::xml_node& element, const Attributes& attributes,
                     Element& entity)
{
    entity.id = Optional<std::wstring>(element, attributes.id, "@id");
    entity.name = Optional<std::wstring>(element, attributes.name, "@name");
    entity.material = FindOptional(
        element, attributes.materialRef, "@materialref",
        [&](std::string_view id) { return context.FindMaterialAscii(id); },
        [&](const std::wstring& id) { return context.FindMaterial(id); });
    entity.boolMode = "NONE";
    for (pugi::xml_node list = element.first_child(); list; list = list.next_sibling()) {
        if (!Is(list.name(), "attributeList") || !IsElement(list))
            continue;
        for (pugi::xml_node attrib = list.first_child(); attrib; attrib = attrib.next_sibling()) {
            if (!Is(attrib.name(), "attrib") || !IsElement(attrib))
                continue;
            if (!Is(OptionalText(attrib, AttributeText(attrib, "name"), "@name"), "tv_prop_bool_op"))
                continue;
            const char* mode = OptionalText(attrib, AttributeText(attrib, "value"), "@value");
            if (Is(mode, "3-union,all"))
                entity.boolMode = "UNION_ALL";
            else if (Is(mode, "4-subtract,all"))
                entity.boolMode = "SUBTRACT_ALL";
            else if (Is(mode, "6-intersect,all"))
                entity.boolMode = "INTERSECT_ALL";
        }
    }
}

glm::dmat4 ReadMatrix(const pugi::xml_node& element)
{
    static const char* const names[16] = {"@M0", "@M1", "@M2",  "@M3",  "@M4",  "@M5",  "@M6",  "@M7",
                                          "@M8", "@M9", "@M10", "@M11", "@M12", "@M13", "@M14", "@M15"};
    // One pass over the attributes, each read as it comes; the warnings for the
    // missing ones then follow in M0 to M15 order.
    glm::dmat4 matrix(0.0);
    double* cells = &matrix[0][0];
    unsigned found = 0;  // bit i: "@M<i>" was read
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
        if ((found & (1u << index)) != 0)
            continue;
        found |= 1u << index;
        // M(4r + c) is (r, c)
        cells[(index % 4) * 4 + index / 4] = NumberOfText<double>(attribute.value(), element, names[index]);
    }
    if (found != 0xFFFF)
        for (int i = 0; i < 16; ++i)
            if ((found & (1u << i)) == 0)
                oi::ReportEmptyValue(element.name(), names[i]);
    return matrix;
}

// What a solid element holds.
struct SolidChildren {
    explicit SolidChildren(const pugi::xml_node& element)
    {
        for (pugi::xml_node child = element.first_child(); child; child = child.next_sibling()) {
            const char* name = child.name();
            switch (name[0]) {
            case 'a':
                if (Is(name, "angle")) {
                    TakeValue(angle, child);
                } else if (Is(name, "axis") && !axis && IsElement(child)) {
                    axis = PointText(child);
                }
                break;
            case 'b':
                if (Is(name, "bool_op"))
                    TakeElement(boolOp, child);
                break;
            case 'h':
                if (Is(name, "height"))
                    TakeValue(height, child);
                break;
            case 'l':
                if (Is(name, "length"))
                    TakeValue(length, child);
                break;
            case 'm':
                if (Is(name, "majorradius"))
                    TakeValue(majorRadius, child);
                else if (Is(name, "minorradius"))
                    TakeValue(minorRadius, child);
                break;
            case 'p':
                if (Is(name, "point3D") && IsElement(child)) {
                    const PointText point(child);
                    TakePoint(start, point, PointText::kStart);
                    TakePoint(end, point, PointText::kEnd);
                    TakePoint(center, point, PointText::kCenter);
                }
                break;
            case 'r':
                if (Is(name, "radius"))
                    TakeValue(radius, child);
                break;
            case 's':
                if (Is(name, "style3D"))
                    TakeElement(style, child);
                else if (Is(name, "sketchref"))
                    TakeValue(sketchRef, child);
                else if (Is(name, "sketch_transform"))
                    TakeElement(sketchTransform, child);
                break;
            case 't':
                if (Is(name, "transform"))
                    TakeElement(transform, child);
                break;
            default:
                break;
            }
        }
    }

    std::optional<pugi::xml_node> boolOp, style, transform, sketchTransform;
    std::optional<PointText> start, end, center, axis;
    const char *radius = nullptr, *height = nullptr, *majorRadius = nullptr, *minorRadius = nullptr,
               *length = nullptr, *angle = nullptr, *sketchRef = nullptr;
};

std::shared_ptr<Sketch> FindSketchOf(ImportContext& context, const pugi::xml_node& element,
                                     const SolidChildren& children)
{
    auto sketch = FindOptional(
        element, children.sketchRef, "sketchref/@value",
        [&](std::string_view id) { return context.FindSketchAscii(id); },
        [&](const std::wstring& id) { return context.FindSketch(id); });
    // Without its profile the solid is not made: said as a component naming nothing is.
    if (!sketch && children.sketchRef != nullptr)
        ReportImportWarning(std::string("no element ") + children.sketchRef + " for sketchref/@value, node=" +
                            element.name());
    return sketch;
}

// What every solid reads first: its boolean operation, style and placement.
void ReadSolidCommon(const SolidChildren& children, BasicEntry3D& solid)
{
    const pugi::xml_node boolOp = children.boolOp.value_or(pugi::xml_node());
    const pugi::xml_attribute op = boolOp.attribute("op");
    const char* operation = OptionalText(boolOp, op ? op.value() : nullptr, "@op");
    solid.boolOp = Is(operation, "union") ? 1 : Is(operation, "subtract") ? 2 : Is(operation, "intersect") ? 3 : 0;
    const pugi::xml_attribute simple = boolOp.attribute("simple");
    solid.simple = Optional<int>(boolOp, simple ? simple.value() : nullptr, "@simple") == 1;
    solid.style = oi::ImportFromNode<Style3D>(Required<Style3D>(children.style, "style3D"));
    if (children.transform)
        solid.transform = ReadMatrix(*children.transform);
}

// One solid of the kinds a part's geometry holds, or nothing for another element.
std::shared_ptr<BasicEntry3D> ImportSolid(ImportContext& context, const pugi::xml_node& element, const char* kind)
{
    constexpr const char* start = "point3D[@name='start']";
    constexpr const char* center = "point3D[@name='center']";
    const auto read = [&](auto solid, auto&& readOwn) {
        const SolidChildren children(element);
        ReadSolidCommon(children, *solid);
        readOwn(children, *solid);
        return std::shared_ptr<BasicEntry3D>(std::move(solid));
    };
    const auto alongZ = [&](const SolidChildren& children, auto& solid) {
        solid.start = RequiredPoint<glm::dvec3>(children.start, start);
        solid.radius = Optional<double>(element, children.radius, "radius/@value");
        solid.height = Optional<double>(element, children.height, "height/@value");
    };
    // The caller has seen the common "solid_".
    const char* own = kind + 6;
    if (Is(own, "block"))
        return read(context.New<Block3D>(), [&](const SolidChildren& children, Block3D& solid) {
            solid.start = RequiredPoint<glm::dvec3>(children.start, start);
            solid.end = RequiredPoint<glm::dvec3>(children.end, "point3D[@name='end']");
        });
    if (Is(own, "cone"))
        return read(context.New<Cone3D>(), alongZ);
    if (Is(own, "cylinder"))
        return read(context.New<Cylinder3D>(), alongZ);
    if (Is(own, "sphere"))
        return read(context.New<Sphere3D>(), [&](const SolidChildren& children, Sphere3D& solid) {
            solid.center = RequiredPoint<glm::dvec3>(children.center, center);
            solid.radius = Optional<double>(element, children.radius, "radius/@value");
        });
    if (Is(own, "torus"))
        return read(context.New<Torus3D>(), [&](const SolidChildren& children, Torus3D& solid) {
            solid.center = RequiredPoint<glm::dvec3>(children.center, center);
            solid.majorRadius = Optional<double>(element, children.majorRadius, "majorradius/@value");
            solid.minorRadius = Optional<double>(element, children.minorRadius, "minorradius/@value");
        });
    if (Is(own, "extrude"))
        return read(context.New<Extrude3D>(), [&](const SolidChildren& children, Extrude3D& solid) {
            solid.start = RequiredPoint<glm::dvec3>(children.start, start);
            solid.length = Optional<double>(element, children.length, "length/@value");
            solid.angle = Optional<double>(element, children.angle, "angle/@value");
            solid.sketch = FindSketchOf(context, element, children);
        });
    if (Is(own, "revolve"))
        return read(context.New<Revolve3D>(), [&](const SolidChildren& children, Revolve3D& solid) {
            solid.start = RequiredPoint<glm::dvec3>(children.start, start);
            solid.axis = RequiredPoint<glm::dvec3>(children.axis, "axis");
            solid.angle = Optional<double>(element, children.angle, "angle/@value");
            if (children.sketchTransform)
                solid.sketchTransform = ReadMatrix(*children.sketchTransform);
            solid.sketch = FindSketchOf(context, element, children);
        });
    return nullptr;
}

std::shared_ptr<Part> ImportPart(ImportContext& context, const pugi::xml_node& element)
{
    const Attributes attributes(element);
    auto part = context.New<Part>();
    ReadElementData(context, element, attributes, *part);
    context.Register(std::shared_ptr<Element>(part), part->id);
    const char* type = OptionalText(element, attributes.type, "@type");
    std::string_view asciiType;
    if (!AsciiText(type, asciiType)) {
        const std::wstring wide = WideOf(type, element, "@type");
        if (!wide.empty() && wide != L"geom")
            return part;
    } else if (!asciiType.empty() && asciiType != "geom") {
        return part;
    }
    const pugi::xml_node geometry = FirstChildElement(element, "geometry");
    std::size_t count = 0;
    for (pugi::xml_node child = geometry.first_child(); child; child = child.next_sibling())
        ++count;
    part->solids.reserve(count);
    for (pugi::xml_node child = geometry.first_child(); child; child = child.next_sibling()) {
        const char* name = child.name();
        if (!(name[0] == 's' && std::strncmp(name, "solid_", 6) == 0) || !IsElement(child))
            continue;
        if (auto solid = ImportSolid(context, child, name))
            part->solids.push_back(std::move(solid));
    }
    return part;
}

std::shared_ptr<Assembly> ImportAssembly(ImportContext& context, const pugi::xml_node& element)
{
    const Attributes attributes(element);
    auto assembly = context.New<Assembly>();
    ReadElementData(context, element, attributes, *assembly);
    context.Register(std::shared_ptr<Element>(assembly), assembly->id);
    std::size_t count = 0;
    for (pugi::xml_node component = element.first_child(); component; component = component.next_sibling())
        ++count;
    assembly->children.reserve(count);
    for (pugi::xml_node component = element.first_child(); component; component = component.next_sibling()) {
        if (!Is(component.name(), "component") || !IsElement(component))
            continue;
        const char* instanceOf = AttributeText(component, "instance_of");
        if (instanceOf == nullptr)
            oi::ThrowNoResult("@instance_of", oi::TypeLabel<std::wstring>::value);
        std::string_view asciiId;
        std::shared_ptr<Element> child = AsciiText(instanceOf, asciiId)
                                             ? context.FindElementAscii(asciiId)
                                             : context.FindElement(WideOf(instanceOf, component, "@instance_of"));
        // Neither an unknown element nor the assembly itself may become a child:
        // the emission needs every child present and a tree without cycles.
        if (!child) {
            ReportImportWarning(std::string("no element ") + instanceOf + " for @instance_of, node=component, skipped");
            continue;
        }
        if (child.get() == assembly.get()) {
            ReportImportWarning(std::string("assembly ") + instanceOf +
                                " lists itself in @instance_of, node=component, skipped");
            continue;
        }
        const char* ref = AttributeText(component, "materialref");
        std::string_view asciiRef;
        if (ref == nullptr) {
            oi::ReportEmptyValue(component.name(), "@materialref");
        } else if (!AsciiText(ref, asciiRef)) {
            const std::wstring wide = WideOf(ref, component, "@materialref");
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
    return ReadStyle2D(element, context);
}

namespace {

// "cad data xml import warning: " and the parts of the text, as the Session Report
// takes it. The host takes the text in its default character code; ASCII text, the
// usual case, is handed over as the same units directly.
GS::UniString WarningText(std::initializer_list<std::string_view> parts)
{
    static constexpr std::string_view prefix = "cad data xml import warning: ";
    static const std::u16string widePrefix(prefix.begin(), prefix.end());
    std::size_t size = prefix.size();
    for (const auto part : parts)
        size += part.size();
    std::u16string units(size, u'\0');
    std::char_traits<char16_t>::copy(units.data(), widePrefix.data(), widePrefix.size());
    char16_t* out = units.data() + widePrefix.size();
    unsigned char high = 0;  // the high bits of every byte: non-zero for text beyond ASCII
    for (const auto part : parts) {
        // A zero byte ends the text, as it ends a C string.
        const void* zero = std::memchr(part.data(), 0, part.size());
        const std::size_t length = zero != nullptr ? static_cast<std::size_t>(static_cast<const char*>(zero) - part.data())
                                                   : part.size();
        for (std::size_t i = 0; i < length; ++i) {
            const auto c = static_cast<unsigned char>(part[i]);
            high |= c;
            out[i] = c;
        }
        out += length;
        if (zero != nullptr)
            break;
    }
    units.resize(static_cast<std::size_t>(out - units.data()));
    if ((high & 0x80) == 0)
        return GS::UniString(std::move(units));
    std::string line;
    line.reserve(size);
    line += prefix;
    for (const auto part : parts)
        line += part;
    return GS::UniString(line.c_str(), GS::CC_Default);
}

// The texts of the last missing-value warnings. A file that misses values misses the
// same few (an attribute of one kind of element) thousands of times, so most lines
// are handed over as they were built before. A slot is picked by the query's address
// and holds only when both texts are equal, so a reused address cannot give a stale line.
class EmptyValueTexts {
public:
    const GS::UniString& Text(const char* nodeName, const char* query)
    {
        Slot& slot = slots_[(reinterpret_cast<std::uintptr_t>(query) >> 3) % kSlots];
        if (!slot.filled || std::strcmp(slot.query.c_str(), query) != 0 ||
            std::strcmp(slot.nodeName.c_str(), nodeName) != 0) {
            slot.query = query;
            slot.nodeName = nodeName;
            slot.text = WarningText({"empty ", query, ", node=", nodeName});
            slot.filled = true;
        }
        return slot.text;
    }

private:
    static constexpr std::size_t kSlots = 64;
    struct Slot {
        bool filled = false;
        std::string query;
        std::string nodeName;
        GS::UniString text;
    };
    Slot slots_[kSlots];
};

// What the import running on this thread keeps of its warnings.
struct ImportWarnings {
    EmptyValueTexts emptyValueTexts;
    std::size_t losses = 0;  // warnings of what the file asks that is not taken as written
};

// The warnings of the import running on this thread (imports may run on several
// threads at once). Only a plain pointer is thread-local: a thread-local object with a
// destructor would keep the add-on's library loaded for as long as the thread lives.
thread_local ImportWarnings* currentWarnings = nullptr;

class ScopedImportWarnings {
public:
    explicit ScopedImportWarnings(ImportWarnings& warnings) : previous_(currentWarnings)
    {
        currentWarnings = &warnings;
    }
    ~ScopedImportWarnings() { currentWarnings = previous_; }
    ScopedImportWarnings(const ScopedImportWarnings&) = delete;
    ScopedImportWarnings& operator=(const ScopedImportWarnings&) = delete;

private:
    ImportWarnings* previous_;
};

}  // namespace

void ReportImportWarning(const std::string& text)
{
    HostApi_Report(WarningText({text}), false);
    if (currentWarnings != nullptr)
        ++currentWarnings->losses;
}

void ReportEmptyValue(const char* nodeName, const char* query)
{
    nodeName = nodeName != nullptr ? nodeName : "";
    query = query != nullptr ? query : "";
    if (currentWarnings != nullptr)
        HostApi_Report(currentWarnings->emptyValueTexts.Text(nodeName, query), false);
    else
        HostApi_Report(WarningText({"empty ", query, ", node=", nodeName}), false);
}

void ReportNotPlainNumber(const char* nodeName, const char* query)
{
    ReportImportWarning(std::string("not a plain number in ") + (query != nullptr ? query : "") +
                        ", node=" + (nodeName != nullptr ? nodeName : ""));
}

void ImportTarvelDB(ImportContext& context, const pugi::xml_node& geom, TarvelDB& database)
{
    static const Path configs("tvConfiguration/configParams/configPos"), materials("materialsList/material"),
        lineStyles("lineStylesList/lineStyle"), sketches("sketchList/sketch"), parts("part"),
        assemblies("assembly");
    const oi::ScopedEmptyValueReport report(&ReportEmptyValue, &ReportNotPlainNumber);
    const auto warnings = std::make_unique<ImportWarnings>();
    const ScopedImportWarnings warningsInUse(*warnings);
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
    const pugi::xml_attribute authorValue = author.attribute("value");
    const pugi::xml_attribute formatUnit = format.attribute("unit");
    database.SetAuthor(Optional<std::wstring>(author, authorValue ? authorValue.value() : nullptr, "@value"));
    database.SetUnit(Optional<std::wstring>(format, formatUnit ? formatUnit.value() : nullptr, "@unit"));
    database.lossWarnings = warnings->losses;
    database.valid = true;
}

TarvelDB ImportTarvelDB(ImportContext& context, const pugi::xml_node& geom)
{
    TarvelDB database;
    ImportTarvelDB(context, geom, database);
    return database;
}

}  // namespace tarvel
