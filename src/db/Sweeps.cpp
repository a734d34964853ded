#include "db/Entities.hpp"
#include "db/GdlWriter.hpp"

namespace tarvel {

void Extrude3D::EmitGDL(GdlWriter&) {}
void Revolve3D::EmitGDL(GdlWriter&) {}

}  // namespace tarvel
