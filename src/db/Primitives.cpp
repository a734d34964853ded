#include "db/EmitText.hpp"
#include "db/Entities.hpp"

#include <cmath>
#include <cstring>

namespace tarvel {

namespace emit {

void AppendTransformLine(GdlWriter& writer, const glm::dmat4& transform)
{
    const double u = writer.unitDivisor;
    // Most solids stand untransformed: their line is always the same text.
    static const glm::dmat4 identity(1.0);
    if (u > 0 && std::memcmp(&transform[0][0], &identity[0][0], 12 * sizeof(double)) == 0) {
        writer.AppendUtf8("    XFORM 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0");
        return;
    }
    ScriptLine line(writer, "    XFORM ");
    for (int c = 0; c < 3; ++c) {
        if (c > 0)
            line << ", ";
        // Element (r, c) is transform[c][r]; only the translation (row 3) is a length.
        line << transform[c][0] << ", " << transform[c][1] << ", " << transform[c][2] << ", " << transform[c][3] / u;
    }
    line.End();
}

void AppendOffsetLine(GdlWriter& writer, const glm::dvec3& point)
{
    const double u = writer.unitDivisor;
    (ScriptLine(writer, "    ADD ") << point.x / u << ", " << point.y / u << ", " << point.z / u).End();
}

}  // namespace emit

using emit::ScriptLine;

void BasicEntry3D::EmitGDL(GdlWriter&) {}

void Block3D::EmitGDL(GdlWriter& writer)
{
    const double u = writer.unitDivisor;
    emit::AppendTransformLine(writer, transform);
    emit::AppendOffsetLine(writer, start);
    const bool mirror[3] = {start.x > end.x, start.y > end.y, start.z > end.z};
    const char* mirrorLines[3] = {"    MULX -1", "    MULY -1", "    MULZ -1"};
    for (int axis = 0; axis < 3; ++axis)
        if (mirror[axis])
            writer.AppendUtf8(mirrorLines[axis]);
    (ScriptLine(writer, "    BLOCK ") << std::fabs(end.x - start.x) / u << ", " << std::fabs(end.y - start.y) / u
                                         << ", " << std::fabs(end.z - start.z) / u)
        .End();
    for (int axis = 2; axis >= 0; --axis)
        if (mirror[axis])
            writer.AppendUtf8("    DEL 1");
    ScriptLine(writer, "    DEL 2").EndWithEmptyLine();
}

namespace {

// Cone and cylinder: mirrored on z for a negative height.
void EmitAlongZ(GdlWriter& writer, const glm::dmat4& transform, const glm::dvec3& start, double radius, double height,
                const char* statement, bool cone)
{
    const double u = writer.unitDivisor;
    emit::AppendTransformLine(writer, transform);
    emit::AppendOffsetLine(writer, start);
    const bool mirrored = height < 0;
    const double h = mirrored ? height * -1 : height;
    if (mirrored)
        writer.AppendUtf8("    MULZ -1");
    ScriptLine line(writer, statement);
    line << h / u << ", " << radius / u;
    if (cone)
        line << ", 0, 90, 90";
    line.End();
    if (mirrored)
        writer.AppendUtf8("    DEL 1");
    ScriptLine(writer, "    DEL 2").EndWithEmptyLine();
}

}  // namespace

void Cone3D::EmitGDL(GdlWriter& writer)
{
    if (!(radius > 0))
        return;
    EmitAlongZ(writer, transform, start, radius, height, "    CONE ", true);
}

void Cylinder3D::EmitGDL(GdlWriter& writer)
{
    if (!(radius > 0))
        return;
    EmitAlongZ(writer, transform, start, radius, height, "    CYLIND ", false);
}

void Sphere3D::EmitGDL(GdlWriter& writer)
{
    if (!(radius > 0))
        return;
    emit::AppendTransformLine(writer, transform);
    emit::AppendOffsetLine(writer, center);
    (ScriptLine(writer, "    SPHERE ") << radius / writer.unitDivisor).End();
    ScriptLine(writer, "    DEL 2").EndWithEmptyLine();
}

void Torus3D::EmitGDL(GdlWriter& writer)
{
    if (!(majorRadius > minorRadius))
        return;
    const double d = (majorRadius - minorRadius) * 0.5 / writer.unitDivisor;
    emit::AppendTransformLine(writer, transform);
    emit::AppendOffsetLine(writer, center);
    writer.AppendUtf8("    ROTY -90");
    (ScriptLine(writer, "    REVOLVE 2, 360, 128, 0, ") << d << ", 900, " << d << ", 360, 4001").End();
    ScriptLine(writer, "    DEL 3").EndWithEmptyLine();
}

}  // namespace tarvel
