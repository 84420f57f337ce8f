// Projection modules: shared libraries beside the executable that supply projection factories.
#include <dirent.h>
#include <dlfcn.h>

#include <algorithm>
#include <string>
#include <vector>

#include "registry/projection_registry.h"

namespace {

constexpr char kModuleSuffix[] = ".so";
constexpr char kCreateExport[] = "CreateProjection";
constexpr char kClassExport[] = "ClassProjection";

bool EndsWith(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// Names of the module files in `directory`, sorted byte-wise so that which of two modules claiming
// one code wins does not depend on the filesystem.
std::vector<std::string> ModuleNames(const std::string& directory) {
  std::vector<std::string> names;
  DIR* dir = opendir(directory.empty() ? "." : directory.c_str());
  if (!dir) return names;
  while (const dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    if (name.size() > sizeof(kModuleSuffix) - 1 && EndsWith(name, kModuleSuffix)) {
      names.push_back(std::move(name));
    }
  }
  closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

void ProjectionRegistry::LoadModules(const std::string& directory) {
  for (const std::string& name : ModuleNames(directory)) {
    // A path without a slash would make dlopen search the library path instead of the directory.
    const std::string path = (directory.empty() ? std::string("./") : directory) + name;
    // Immediate binding: a module with an unresolved symbol fails here instead of killing the
    // process at its first call.
    ModuleHandle module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) continue;
    auto factory = reinterpret_cast<ProjectionFactory>(dlsym(module, kCreateExport));
    void* classExport = dlsym(module, kClassExport);
    // A refused type leaves the module unused; it is released at once rather than left loaded.
    if (!factory || !classExport || RegisterFactory(factory, module) != 0) CloseModule(module);
  }
}

void ProjectionRegistry::CloseModule(ModuleHandle module) {
  if (module) dlclose(module);
}
