// The entities of the product database: what one CAD-data file holds, shared
// between its holders (one part may be the child of many assemblies, one sketch the
// profile of many solids).
#pragma once

#include <glm/mat4x4.hpp>
#include <glm/vec2.hpp>
#include <glm/vec3.hpp>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tarvel {

class GdlWriter;
class LineStyle;

struct RGBColor {
    std::uint16_t red = 0;
    std::uint16_t green = 0;
    std::uint16_t blue = 0;
};

class Style2D {
public:
    std::shared_ptr<LineStyle> lineStyle;  // empty when the file names no known line style
    std::int32_t layer = 0;
};

class Style3D {
public:
    RGBColor color;
    std::int32_t layer = 0;
};

class DBEntity : public std::enable_shared_from_this<DBEntity> {
public:
    virtual ~DBEntity() = default;
    virtual void EmitGDL(GdlWriter& writer) = 0;
};

struct IdNamePair {
    std::wstring id;
    std::wstring name;
};

class ConfigParam : public DBEntity, public IdNamePair {
public:
    void EmitGDL(GdlWriter& writer) override;

    std::wstring value;
    std::wstring type;
};

class Material : public DBEntity, public IdNamePair {
public:
    void EmitGDL(GdlWriter& writer) override;

    RGBColor ambient;
    RGBColor diffuse;
    RGBColor specular;
    RGBColor emissive;
    double shininess = 0;
    double transparency = 0;
};

class LineStyle : public DBEntity, public IdNamePair {
public:
    void EmitGDL(GdlWriter& writer) override;

    RGBColor color;
    std::wstring lineDef;
};

class BasicEntry2D : public DBEntity {
public:
    void EmitGDL(GdlWriter& writer) override;
    virtual std::int16_t AxisSide(GdlWriter& writer) = 0;

    Style2D style;
};

class Line2D : public BasicEntry2D {
public:
    void EmitGDL(GdlWriter& writer) override;
    std::int16_t AxisSide(GdlWriter& writer) override;

    glm::dvec2 start{0.0};
    glm::dvec2 end{0.0};
};

class Arc2D : public BasicEntry2D {
public:
    void EmitGDL(GdlWriter& writer) override;
    std::int16_t AxisSide(GdlWriter& writer) override;

    glm::dvec2 center{0.0};
    double startAngle = 0;
    double endAngle = 0;
    double radius = 0;
};

class Circle2D : public BasicEntry2D {
public:
    void EmitGDL(GdlWriter& writer) override;
    std::int16_t AxisSide(GdlWriter& writer) override;

    glm::dvec2 center{0.0};
    double radius = 0;
};

class Sketch : public DBEntity, public IdNamePair {
public:
    void EmitGDL(GdlWriter& writer) override;
    // The side of the revolution axis on which the whole profile lies.
    std::int16_t AxisSide(GdlWriter& writer);

    std::vector<std::shared_ptr<BasicEntry2D>> entries;
};

class BasicEntry3D : public DBEntity {
public:
    void EmitGDL(GdlWriter& writer) override;

    std::int16_t boolOp = 0;  // 0 none, 1 union, 2 subtract, 3 intersect
    bool simple = true;
    Style3D style;
    glm::dmat4 transform{1.0};  // element (r, c) is transform[c][r]
};

class Block3D : public BasicEntry3D {
public:
    void EmitGDL(GdlWriter& writer) override;

    glm::dvec3 start{0.0};
    glm::dvec3 end{0.0};
};

class Cone3D : public BasicEntry3D {
public:
    void EmitGDL(GdlWriter& writer) override;

    glm::dvec3 start{0.0};
    double radius = 0;
    double height = 0;
};

class Cylinder3D : public BasicEntry3D {
public:
    void EmitGDL(GdlWriter& writer) override;

    glm::dvec3 start{0.0};
    double radius = 0;
    double height = 0;
};

class Sphere3D : public BasicEntry3D {
public:
    void EmitGDL(GdlWriter& writer) override;

    glm::dvec3 center{0.0};
    double radius = 0;
};

class Torus3D : public BasicEntry3D {
public:
    void EmitGDL(GdlWriter& writer) override;

    glm::dvec3 center{0.0};
    double majorRadius = 0;
    double minorRadius = 0;
};

class Extrude3D : public BasicEntry3D {
public:
    void EmitGDL(GdlWriter& writer) override;

    glm::dvec3 start{0.0};
    double length = 0;
    double angle = 0;
    std::shared_ptr<Sketch> sketch;
};

class Revolve3D : public BasicEntry3D {
public:
    void EmitGDL(GdlWriter& writer) override;

    glm::dvec3 start{0.0};
    glm::dvec3 axis{0.0};
    double angle = 0;  // degrees
    glm::dmat4 sketchTransform{1.0};
    std::shared_ptr<Sketch> sketch;
};

class Element : public DBEntity, public IdNamePair {
public:
    std::shared_ptr<Material> material;
    std::string boolMode;  // "NONE", "UNION_ALL", "SUBTRACT_ALL" or "INTERSECT_ALL" after the import
};

class Part : public Element {
public:
    void EmitGDL(GdlWriter& writer) override;
    // Writes one solid as a named group and returns the group's name.
    std::wstring EmitSolidGroup(GdlWriter& writer, std::int16_t& counter, const std::shared_ptr<BasicEntry3D>& solid);

    std::vector<std::shared_ptr<BasicEntry3D>> solids;
};

class Assembly : public Element {
public:
    Assembly() = default;
    // Releases long chains of otherwise unheld sub-assemblies without recursing.
    ~Assembly() override;
    Assembly(const Assembly&) = delete;
    Assembly& operator=(const Assembly&) = delete;

    void EmitGDL(GdlWriter& writer) override;

    std::vector<std::shared_ptr<Element>> children;
};

}  // namespace tarvel
