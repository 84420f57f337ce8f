// The process-wide table of projection types, keyed by type code 0..255.
//
// Filled once at start-up by LoadAll (built-ins, then modules beside the executable, then the
// composites of Projection.txt; the first registrant of a code keeps it) and emptied by UnloadAll.
// Used from the user-interface thread only; it takes no locks.
#ifndef KARTOVEL_REGISTRY_PROJECTION_REGISTRY_H_
#define KARTOVEL_REGISTRY_PROJECTION_REGISTRY_H_

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "projection/map_project.h"

namespace Parser {
class Tokenizer;
}

using Projection::MapProject;
using Projection::ProjectionFactory;

// Handle of a loaded projection module (what dlopen returned); null for built-ins and composites.
using ModuleHandle = void*;

struct ProjectionSlot {
  std::string name;         // GetName at registration
  std::uint32_t flags = 0;  // GetFlags at registration
  ModuleHandle module = nullptr;
  ProjectionFactory factory = nullptr;
  // Factory slot: the object Create made most recently (not owned). Shared slot: the composite,
  // owned by the registry.
  MapProject* instance = nullptr;
  // Factory slot: every object Create made that has not been released yet, so that Release can
  // destroy an object that a later Create displaced as the recorded instance.
  std::vector<MapProject*> live;
};

class ProjectionRegistry {
 public:
  static constexpr int kSlotCount = 256;
  static constexpr int kEnd = 256;  // what First/Next return when no code is left

  ProjectionRegistry() = default;
  ProjectionRegistry(const ProjectionRegistry&) = delete;
  ProjectionRegistry& operator=(const ProjectionRegistry&) = delete;
  ~ProjectionRegistry();

  // Registers the built-ins, the modules and the composites of `directory` (which ends in a path
  // separator; empty means the current directory). Silent about every failure. Returns 0.
  int LoadAll(const std::string& directory);

  // Reads composite definitions from the current token of `tokens` to the end of its input and
  // offers each composite with RegisterShared; a refused one is destroyed. Segment projections are
  // selected from the global registry, so call it on that one.
  void ReadDefinitions(Parser::Tokenizer& tokens);

  // Probes the factory for its type code and records it. 0 registered, -1 code above 255 (compared
  // unsigned) or no object, -2 code already taken. The module handle is released by UnloadAll. A
  // module's objects (with `module` set) are always handed out behind a ModuleProjection, so that
  // an exception of module code stays a failed call; names are kept without control characters.
  int RegisterFactory(ProjectionFactory factory, ModuleHandle module);

  // Registers a shared object (a composite). On success the registry owns it; on failure (code
  // above 255 or taken) the caller keeps it.
  bool RegisterShared(MapProject* object);

  // Empties every slot and releases the modules. Objects handed out are not destroyed; those of
  // built-in types can still be given back through Release. Composites stay alive but give their
  // segments back first, so they accept no point afterwards and never call into a released module.
  int UnloadAll();
  // Destroys the composites that UnloadAll kept alive. Only when nothing holds one any more.
  void DestroyRetired() { retired_.clear(); }

  // A new object for a factory type (recorded as the slot's instance), the shared object for a
  // composite type, or null.
  MapProject* Create(int code);
  // Create for the lowest code whose name equals `name` exactly (case-sensitive); null when none.
  MapProject* CreateByName(const std::string& name);

  // Destroys `object` when a factory slot made it (or a built-in slot made it before UnloadAll);
  // shared objects, unknown objects and module objects after UnloadAll are left alone.
  bool Release(MapProject* object);

  // Lowest code whose name equals `name` exactly, or -1.
  int FindCode(const std::string& name) const;
  // True when `code` is 0..255 and its slot has a factory or a shared object.
  bool IsAvailable(int code) const;
  // Name and MAP_ flags taken at registration; "" and 0 for a code that is not available.
  std::string GetSlotName(int code) const;
  std::uint32_t GetSlotFlags(int code) const;

  // Ascending enumeration of occupied codes; kEnd when there is none.
  int First() const;
  int Next(int code) const;

 private:
  ProjectionSlot* SlotAt(int code) const;
  MapProject* CreateFromSlot(ProjectionSlot& slot);
  void LoadModules(const std::string& directory);
  void LoadDefinitions(const std::string& directory);
  static void CloseModule(ModuleHandle module);
  // Moves every shared object out of its slot into retired_, composites emptied of their segments.
  void RetireComposites();

  std::array<std::unique_ptr<ProjectionSlot>, kSlotCount> slots_;
  // Built-in objects still held when their slot was emptied; their code never goes away.
  std::vector<MapProject*> orphans_;
  // Shared objects of emptied slots: still owned, destroyed with the registry.
  std::vector<std::unique_ptr<MapProject>> retired_;
};

// The one registry of the process, created on first use.
ProjectionRegistry& GetProjectionRegistry();

// The directory holding the running executable, with a trailing separator; "" when unknown.
std::string ExecutableDirectory();

#endif  // KARTOVEL_REGISTRY_PROJECTION_REGISTRY_H_
