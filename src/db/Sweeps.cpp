#include "db/EmitText.hpp"
#include "db/Entities.hpp"
#include "db/GdlWriter.hpp"

#include "ostrel/interop/HostApi.hpp"

#include <glm/gtc/matrix_inverse.hpp>
#include <glm/mat4x4.hpp>
#include <glm/vec4.hpp>

#include <algorithm>
#include <cmath>
#include <string>
#include <string_view>

namespace tarvel {

using emit::ScriptLine;

void Extrude3D::EmitGDL(GdlWriter& writer)
{
    // Without its sketch there is no profile: the part's group stays empty.
    if (!sketch)
        return;
    const std::shared_ptr<Sketch> profile = sketch;
    profile->EmitGDL(writer);
    emit::AppendTransformLine(writer, transform);
    emit::AppendOffsetLine(writer, start);
    (ScriptLine(writer, "    PRISM_ NSP/3, ") << length / writer.unitDivisor << ", ").End();
    writer.AppendUtf8("        GET(NSP)");
    ScriptLine(writer, "    DEL 2").EndWithEmptyLine();
}

namespace {

void ClearProfileState(GdlWriter& writer)
{
    writer.axisAngle = 0;
    writer.skipAxisPoints = false;
    writer.mirrorY = false;
}

// The two comment lines in the text, and the warning that tells the user.
void Refuse(GdlWriter& writer, std::string_view reason)
{
    writer.AppendUtf8("! ERROR");
    writer.AppendUtf8(
        "! Sketch of revolve is invalid, cannot be revolved around axis because it has - and + Y coordinates.");
    ClearProfileState(writer);
    constexpr std::string_view prefix = "GDL generation warning: a revolve of part ";
    constexpr std::string_view middle = " is not made: ";
    std::u16string text(prefix.begin(), prefix.end());
    if (writer.partId != nullptr)
        text.append(writer.partId->begin(), writer.partId->end());
    text.append(middle.begin(), middle.end());
    text.append(reason.begin(), reason.end());
    HostApi_Report(GS::UniString(std::move(text)), false);
    ++writer.refusedSolids;
}

constexpr std::string_view kProfileOnBothSides = "its profile lies on both sides of its axis or on it";

bool Finite(const glm::dmat4& m)
{
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 4; ++r)
            if (!std::isfinite(m[c][r]))
                return false;
    return true;
}

// The angle that turns the revolution axis, seen in the sketch's plane, onto the
// positive x axis; false when the axis gives no direction there.
bool AxisAngle(const Revolve3D& solid, double& alpha)
{
    const double determinant = glm::determinant(solid.sketchTransform);
    if (!(determinant != 0) || !std::isfinite(determinant) || !Finite(solid.sketchTransform))
        return false;
    const glm::dmat4 inverse = glm::inverse(solid.sketchTransform);
    // Points are row vectors: component c is x M(0, c) + y M(1, c) + z M(2, c) + M(3, c).
    const glm::dvec4 mapped = glm::dvec4(solid.axis, 1.0) * inverse;
    const double ax = mapped.x;
    const double ay = mapped.y;
    const double d = std::sqrt(ax * ax + ay * ay);
    const double dx = ax / d;
    const double dy = ay / d;
    if (!(d > 0) || !std::isfinite(d) || !std::isfinite(dx) || !std::isfinite(dy))
        return false;
    alpha = std::acos(std::clamp(dx, -1.0, 1.0));
    const double x = dx * std::cos(alpha) - dy * std::sin(alpha);
    const double y = dx * std::sin(alpha) + dy * std::cos(alpha);
    if (!(std::fabs(1 - x) < 0.0001 && std::fabs(y) < 0.0001))
        alpha = -alpha;
    return std::isfinite(alpha);
}

}  // namespace

void Revolve3D::EmitGDL(GdlWriter& writer)
{
    if (!sketch)
        return;
    const std::shared_ptr<Sketch> profile = sketch;
    double alpha = 0;
    if (!AxisAngle(*this, alpha)) {
        Refuse(writer, "its axis gives no direction in the plane of its sketch");
        return;
    }
    writer.axisAngle = alpha;
    writer.skipAxisPoints = true;
    const std::int16_t first = profile->AxisSide(writer);
    std::int16_t second = 0;
    if (first == 0) {
        Refuse(writer, kProfileOnBothSides);
        return;
    }
    if (first == -1) {
        alpha = -alpha;
        writer.axisAngle = alpha;
        second = profile->AxisSide(writer);
        if (second == 0) {
            Refuse(writer, kProfileOnBothSides);
            return;
        }
        if (second == -1)
            writer.mirrorY = true;
    }
    profile->EmitGDL(writer);
    ClearProfileState(writer);

    emit::AppendTransformLine(writer, transform);
    emit::AppendOffsetLine(writer, start);
    emit::AppendTransformLine(writer, sketchTransform);
    (ScriptLine(writer, "    ROTZ ") << alpha * 57.29577951308232 * (-1)).End();
    if (first == -1)
        writer.AppendUtf8("    MULZ -1");
    if (second == -1)
        writer.AppendUtf8("    MULY -1");
    (ScriptLine(writer, "    REVOLVE NSP/3, ") << angle << ", 1+2+4+8+16+32+0+128+256,").End();
    writer.AppendUtf8("        GET(NSP)");
    writer.AppendUtf8("    DEL 4");
    if (first == -1)
        writer.AppendUtf8("    DEL 1");
    if (second == -1)
        writer.AppendUtf8("    DEL 1");
    writer.AppendUtf8("");
}

}  // namespace tarvel
