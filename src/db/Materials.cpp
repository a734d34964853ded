#include "db/Entities.hpp"
#include "db/GdlWriter.hpp"

namespace tarvel {

// Configuration parameters are never written by the generation.
void ConfigParam::EmitGDL(GdlWriter& writer) { writer.AppendMasterUtf8(""); }

void LineStyle::EmitGDL(GdlWriter&) {}

void Material::EmitGDL(GdlWriter&) {}

}  // namespace tarvel
