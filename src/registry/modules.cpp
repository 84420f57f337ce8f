// Projection modules: shared libraries beside the executable that supply projection factories.
#include "registry/projection_registry.h"

void ProjectionRegistry::LoadModules(const std::string&) {}

void ProjectionRegistry::CloseModule(ModuleHandle) {}
