// kartovel-convert: the command-line face of Kartovel.
#include <cstdio>
#include <cstring>
#include <string>

#include "projection/map_project.h"
#include "registry/projection_registry.h"

namespace {

constexpr char kUsage[] =
    "usage: kartovel-convert --list\n"
    "  --list   one line per projection type: code<TAB>name<TAB>type words\n";

// One line per registered type, ascending code; scripts read this format.
int ListProjections() {
  ProjectionRegistry& registry = GetProjectionRegistry();
  for (int code = registry.First(); code != ProjectionRegistry::kEnd; code = registry.Next(code)) {
    std::string words;
    Projection::FormatTypeFlags(static_cast<std::int32_t>(registry.GetSlotFlags(code)), &words);
    if (!words.empty()) words.erase(0, 1);
    std::printf("%d\t%s\t%s\n", code, registry.GetSlotName(code).c_str(), words.c_str());
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "--list") == 0) {
    ProjectionRegistry& registry = GetProjectionRegistry();
    registry.LoadAll(ExecutableDirectory());
    const int result = ListProjections();
    registry.UnloadAll();
    return result;
  }
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  std::fputs(kUsage, stderr);
  return 2;
}
