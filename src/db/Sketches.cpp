#include "db/EmitText.hpp"
#include "db/Entities.hpp"
#include "db/GdlWriter.hpp"
#include "db/Sketches.hpp"

#include <bit>
#include <cmath>
#include <cstdint>

namespace tarvel {

using emit::ScriptLine;

namespace {

constexpr double kDegree = 0.017453292519943295;
constexpr double kTolerance = 0.000001;

// The cosine and sine of the axis angle, worked out once for the many points of a
// profile (the same angle, bit for bit, gives the same values).
struct Turn {
    double cos;
    double sin;
};

Turn TurnOf(double angle)
{
    thread_local std::uint64_t lastBits = 0;  // +0.0
    thread_local Turn last{1.0, 0.0};
    const auto bits = std::bit_cast<std::uint64_t>(angle);
    if (bits != lastBits) {
        last = {std::cos(angle), std::sin(angle)};
        lastBits = bits;
    }
    return last;
}

// A profile point in the writer's frame: turned by the axis angle, mirrored when
// asked, divided by the unit divisor.
glm::dvec2 Map(const GdlWriter& writer, double x, double y)
{
    const Turn turn = TurnOf(writer.axisAngle);
    const double c = turn.cos;
    const double s = turn.sin;
    double mx = x * c - y * s;
    double my = y * c + x * s;
    if (writer.mirrorY)
        my = -my;
    return {mx / writer.unitDivisor, my / writer.unitDivisor};
}

// The turned y of a sketch point: its signed distance from the axis.
double TurnedY(const GdlWriter& writer, double x, double y)
{
    const Turn turn = TurnOf(writer.axisAngle);
    return y * turn.cos + x * turn.sin;
}

double Sweep(const Arc2D& arc)
{
    double sweep = arc.endAngle - arc.startAngle;
    if (sweep < 0)
        sweep += 360;
    return sweep;
}

glm::dvec2 ArcPoint(const Arc2D& arc, double angle)
{
    return {arc.center.x + arc.radius * std::cos(angle * kDegree), arc.center.y + arc.radius * std::sin(angle * kDegree)};
}

void PutText(GdlWriter& writer, double a, double b, const char* status)
{
    (ScriptLine(writer, "    PUT ") << a << ", " << b << std::string_view(status)).End();
}

// Whether the sweep between t0 and t1 (radians) passes an angle congruent to a. A
// sweep may run downward (a negative sweep stays negative), so the range is taken
// between the smaller and the larger end.
bool Passes(double t0, double t1, double a)
{
    constexpr double kTurn = 6.283185307179586;
    const double low = std::fmin(t0, t1);
    const double high = std::fmax(t0, t1);
    const double k = std::ceil((low - a) / kTurn);
    if (!std::isfinite(k))
        return false;
    return a + kTurn * k <= high;
}

}  // namespace

std::int16_t SignWithTolerance(double value)
{
    if (std::fabs(value) < kTolerance)
        return 0;
    if (value > 0)
        return 1;
    if (value < 0)
        return -1;
    return 0;  // not a number: no side
}

void BasicEntry2D::EmitGDL(GdlWriter&) {}

void Line2D::EmitGDL(GdlWriter& writer)
{
    const glm::dvec2 s = Map(writer, start.x, start.y);
    const glm::dvec2 e = Map(writer, end.x, end.y);
    writer.lastX = e.x;
    writer.lastY = e.y;
    if (writer.entryIndex == 0) {
        if (!(writer.skipAxisPoints && std::fabs(s.y) <= kTolerance && std::fabs(e.y) <= kTolerance))
            writer.Put(s.x, s.y);
        writer.Put(e.x, e.y);
        return;
    }
    const bool last = writer.entryIndex + 1 == writer.entryCount;
    if (writer.skipAxisPoints && last && std::fabs(s.y) < kTolerance && std::fabs(e.y) < kTolerance)
        return;
    writer.Put(e.x, e.y);
}

std::int16_t Line2D::AxisSide(GdlWriter& writer)
{
    const std::int16_t endSide = SignWithTolerance(TurnedY(writer, end.x, end.y));
    if (writer.entryIndex != 0)
        return endSide;
    const std::int16_t startSide = SignWithTolerance(TurnedY(writer, start.x, start.y));
    if (startSide == 0)
        return endSide;
    if (endSide == 0)
        return startSide;
    return startSide == endSide ? startSide : 2;
}

void Arc2D::EmitGDL(GdlWriter& writer)
{
    const glm::dvec2 o = Map(writer, center.x, center.y);
    const glm::dvec2 sketchStart = ArcPoint(*this, startAngle);
    const glm::dvec2 sketchEnd = ArcPoint(*this, endAngle);
    const glm::dvec2 s = Map(writer, sketchStart.x, sketchStart.y);
    const glm::dvec2 e = Map(writer, sketchEnd.x, sketchEnd.y);
    double sweep = Sweep(*this);
    if (writer.mirrorY)
        sweep = -sweep;
    if (writer.entryIndex == 0) {
        PutText(writer, s.x, s.y, ", 15");
        PutText(writer, o.x, o.y, ", 900");
        PutText(writer, 0, sweep, ", 4015");
        writer.lastX = e.x;
        writer.lastY = e.y;
        return;
    }
    PutText(writer, o.x, o.y, ", 900");
    const double dS = (writer.lastX - s.x) * (writer.lastX - s.x) + (writer.lastY - s.y) * (writer.lastY - s.y);
    const double dE = (writer.lastX - e.x) * (writer.lastX - e.x) + (writer.lastY - e.y) * (writer.lastY - e.y);
    if (dE > dS) {
        PutText(writer, 0, sweep, ", 4015");
        writer.lastX = e.x;
        writer.lastY = e.y;
    } else {
        PutText(writer, 0, -sweep, ", 4015");
        writer.lastX = s.x;
        writer.lastY = s.y;
    }
}

std::int16_t Arc2D::AxisSide(GdlWriter& writer)
{
    const double cy = TurnedY(writer, center.x, center.y);
    const double r = radius;
    const double sweep = Sweep(*this);
    const double theta = writer.axisAngle;
    const auto yAt = [&](double t) { return cy + r * std::sin(t); };
    const double t0 = startAngle * kDegree + theta;
    if (std::fabs(cy) < kTolerance && std::fabs(r) < kTolerance)
        return 0;
    if (std::fabs(sweep) < kTolerance)
        return SignWithTolerance(yAt(t0));
    if (r <= std::fabs(cy))
        return SignWithTolerance(cy);
    const double t1 = t0 + sweep * kDegree;
    double ys[4] = {yAt(t0), yAt(t1), 0, 0};
    int count = 2;
    if (Passes(t0, t1, 1.5707963267948966))
        ys[count++] = cy + r;
    if (Passes(t0, t1, 4.71238898038469))
        ys[count++] = cy - r;
    bool positive = false;
    bool negative = false;
    for (int i = 0; i < count; ++i) {
        positive = positive || ys[i] > kTolerance;
        negative = negative || ys[i] < -kTolerance;
    }
    if (positive && negative)
        return 2;
    return positive ? 1 : negative ? -1 : 0;
}

void Circle2D::EmitGDL(GdlWriter& writer)
{
    const glm::dvec2 o = Map(writer, center.x, center.y);
    const double r = radius / writer.unitDivisor;
    writer.lastX = o.x - r;
    writer.lastY = o.y;
    PutText(writer, writer.lastX, writer.lastY, ", 15");
    for (int half = 0; half < 2; ++half) {
        PutText(writer, o.x, o.y, ", 900");
        writer.AppendUtf8("    PUT 0, 180, 4015");
    }
}

std::int16_t Circle2D::AxisSide(GdlWriter& writer)
{
    const double cy = TurnedY(writer, center.x, center.y);
    if (std::fabs(cy) < kTolerance)
        return std::fabs(radius) < kTolerance ? 0 : 2;
    if (radius > std::fabs(cy))
        return 2;
    return SignWithTolerance(cy);
}

void Sketch::EmitGDL(GdlWriter& writer)
{
    writer.AppendUtf8("    RESOL 36");
    writer.entryCount = static_cast<std::int32_t>(entries.size());
    writer.entryIndex = 0;
    for (const auto& entry : entries) {
        if (entry)
            entry->EmitGDL(writer);
        ++writer.entryIndex;
    }
}

std::int16_t Sketch::AxisSide(GdlWriter& writer)
{
    writer.entryCount = static_cast<std::int32_t>(entries.size());
    writer.entryIndex = 0;
    std::int16_t result = 0;
    for (const auto& entry : entries) {
        const std::int16_t side = entry ? entry->AxisSide(writer) : 0;
        if (side == 2)
            return 0;
        if (side != 0) {
            if (result != 0 && result != side)
                return 0;
            result = side;
        }
        ++writer.entryIndex;
    }
    return result;
}

}  // namespace tarvel
