// The projection registry: slots by type code, creation and release of projection objects.
#include "registry/projection_registry.h"

#include <unistd.h>

#include <algorithm>
#include <climits>
#include <vector>

#include "projection/builtins.h"
#include "registry/map_composite.h"
#include "registry/module_projection.h"

namespace {

// A module may answer GetName with null; its type is then listed without a name. Control
// characters (a tab or a newline would forge lines of the --list output) become spaces.
std::string NameOf(const MapProject& object) {
  const char* name = object.GetName();
  std::string text = name ? name : "";
  for (char& ch : text) {
    if (static_cast<unsigned char>(ch) < 0x20 || ch == 0x7F) ch = ' ';
  }
  return text;
}

// A new object of a factory slot: module objects always behind their adapter.
MapProject* MakeObject(ProjectionFactory factory, ModuleHandle module) {
  return module ? ModuleProjection::Create(factory) : factory();
}

// Removes `object` from `objects`; false when it was not there.
bool Forget(std::vector<MapProject*>& objects, MapProject* object) {
  auto it = std::find(objects.begin(), objects.end(), object);
  if (it == objects.end()) return false;
  objects.erase(it);
  return true;
}

}  // namespace

ProjectionRegistry::~ProjectionRegistry() {
  // Shared composites belong to the registry; objects handed out by factories belong to their
  // holders, and module code may already be gone, so those are left alone.
  RetireComposites();
  retired_.clear();
  for (MapProject* object : orphans_) delete object;
}

void ProjectionRegistry::RetireComposites() {
  for (auto& slot : slots_) {
    if (!slot || slot->factory || !slot->instance) continue;
    if (auto* composite = dynamic_cast<Projection::MapComposite*>(slot->instance)) {
      composite->ReleaseSegments(*this);
    }
    retired_.emplace_back(slot->instance);
    slot->instance = nullptr;
  }
}

int ProjectionRegistry::LoadAll(const std::string& directory) {
  for (const auto& builtin : Projection::BuiltinProjections()) {
    RegisterFactory(builtin.create, nullptr);
  }
  LoadModules(directory);
  LoadDefinitions(directory);
  return 0;
}

int ProjectionRegistry::RegisterFactory(ProjectionFactory factory, ModuleHandle module) {
  if (!factory) return -1;
  MapProject* probe = MakeObject(factory, module);
  if (!probe) return -1;
  const auto code = static_cast<std::uint32_t>(probe->GetTypeCode());
  if (code >= kSlotCount) {
    delete probe;
    return -1;
  }
  if (slots_[code]) {
    delete probe;
    return -2;
  }
  auto slot = std::make_unique<ProjectionSlot>();
  slot->name = NameOf(*probe);
  slot->flags = static_cast<std::uint32_t>(probe->GetFlags());
  slot->module = module;
  slot->factory = factory;
  delete probe;
  slots_[code] = std::move(slot);
  return 0;
}

bool ProjectionRegistry::RegisterShared(MapProject* object) {
  if (!object) return false;
  const auto code = static_cast<std::uint32_t>(object->GetTypeCode());
  if (code >= kSlotCount || slots_[code]) return false;
  auto slot = std::make_unique<ProjectionSlot>();
  slot->name = NameOf(*object);
  slot->flags = static_cast<std::uint32_t>(object->GetFlags());
  slot->instance = object;
  slots_[code] = std::move(slot);
  return true;
}

int ProjectionRegistry::UnloadAll() {
  // Composites give their segments' objects back while every module is still loaded; the emptied
  // composites stay alive for holders that still point at them.
  RetireComposites();
  for (auto& slot : slots_) {
    if (!slot) continue;
    if (slot->module) {
      CloseModule(slot->module);
    } else {
      orphans_.insert(orphans_.end(), slot->live.begin(), slot->live.end());
    }
    slot.reset();
  }
  return 0;
}

ProjectionSlot* ProjectionRegistry::SlotAt(int code) const {
  if (code < 0 || code >= kSlotCount) return nullptr;
  return slots_[code].get();
}

MapProject* ProjectionRegistry::CreateFromSlot(ProjectionSlot& slot) {
  if (!slot.factory) return slot.instance;
  MapProject* object = MakeObject(slot.factory, slot.module);
  if (object) {
    slot.instance = object;
    slot.live.push_back(object);
  }
  return object;
}

MapProject* ProjectionRegistry::Create(int code) {
  ProjectionSlot* slot = SlotAt(code);
  return slot ? CreateFromSlot(*slot) : nullptr;
}

MapProject* ProjectionRegistry::CreateByName(const std::string& name) {
  const int code = FindCode(name);
  return code >= 0 ? Create(code) : nullptr;
}

bool ProjectionRegistry::Release(MapProject* object) {
  if (!object) return true;
  for (auto& slot : slots_) {
    if (slot && slot->factory && Forget(slot->live, object)) {
      if (slot->instance == object) slot->instance = nullptr;
      delete object;
      return true;
    }
  }
  if (Forget(orphans_, object)) delete object;
  return true;
}

int ProjectionRegistry::FindCode(const std::string& name) const {
  for (int code = 0; code < kSlotCount; ++code) {
    if (IsAvailable(code) && slots_[code]->name == name) return code;
  }
  return -1;
}

bool ProjectionRegistry::IsAvailable(int code) const {
  const ProjectionSlot* slot = SlotAt(code);
  return slot && (slot->factory || slot->instance);
}

std::string ProjectionRegistry::GetSlotName(int code) const {
  return IsAvailable(code) ? slots_[code]->name : std::string();
}

std::uint32_t ProjectionRegistry::GetSlotFlags(int code) const {
  return IsAvailable(code) ? slots_[code]->flags : 0;
}

int ProjectionRegistry::First() const { return Next(-1); }

int ProjectionRegistry::Next(int code) const {
  if (code >= kSlotCount) return kEnd;  // also keeps code + 1 from overflowing
  for (int c = code < 0 ? 0 : code + 1; c < kSlotCount; ++c) {
    if (slots_[c]) return c;
  }
  return kEnd;
}

ProjectionRegistry& GetProjectionRegistry() {
  static ProjectionRegistry registry;
  return registry;
}

std::string ExecutableDirectory() {
  std::vector<char> buffer(PATH_MAX);
  for (;;) {
    const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) return std::string();
    if (static_cast<size_t>(n) < buffer.size()) {
      std::string path(buffer.data(), static_cast<size_t>(n));
      return path.substr(0, path.rfind('/') + 1);
    }
    buffer.resize(buffer.size() * 2);
  }
}
