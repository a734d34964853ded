// The GDL generation: the master text (preamble and materials) and the 3D text
// (header, root assemblies and their placement) of one product database.
#pragma once

#include "db/GdlWriter.hpp"
#include "db/TarvelDB.hpp"

namespace tarvel {

// The writer as a fresh one. Throws what an emission throws (GdlGenerationException
// past the writer's bounds); the texts then hold what was written up to there.
void GenerateGdlFromDatabase(const TarvelDB& database, GdlWriter& writer);

// The writer's partResultIds and assemblyResultIds for the database: an id made only of
// A-Z, a-z, 0-9 and "_" stands as it is; any other id has its other characters mapped
// to "_", and where that text equals an id of its kind or the text of an earlier id of
// its kind (in list order) it takes the first suffix "_2", "_3", ... that equals none of
// them, so that distinct ids give distinct result names.
void AssignResultIds(const TarvelDB& database, GdlWriter& writer);

}  // namespace tarvel

using tarvel::GenerateGdlFromDatabase;
