// The runner's road, step by step.
#pragma once

namespace tarvel::runner {

class Session;

// Takes the whole road in the session; the road tells how far it came.
void RunRoad(Session& session);

}  // namespace tarvel::runner
