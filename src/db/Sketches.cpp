#include "db/Entities.hpp"
#include "db/GdlWriter.hpp"

namespace tarvel {

void BasicEntry2D::EmitGDL(GdlWriter&) {}

void Line2D::EmitGDL(GdlWriter&) {}
std::int16_t Line2D::AxisSide(GdlWriter&) { return 0; }
void Arc2D::EmitGDL(GdlWriter&) {}
std::int16_t Arc2D::AxisSide(GdlWriter&) { return 0; }
void Circle2D::EmitGDL(GdlWriter&) {}
std::int16_t Circle2D::AxisSide(GdlWriter&) { return 0; }

void Sketch::EmitGDL(GdlWriter&) {}
std::int16_t Sketch::AxisSide(GdlWriter&) { return 0; }

}  // namespace tarvel
