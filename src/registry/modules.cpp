// Projection modules: shared libraries beside the executable that supply projection factories.
#include <dirent.h>
#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
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

// A shared library of this machine's kind, whose file holds every byte its program headers ask
// to be mapped. dlopen maps segments past the end of a truncated file, and the first touch of
// such a page kills the process with SIGBUS; FIFOs and devices would block or never end.
bool IsWholeSharedLibrary(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info {};
  ElfW(Ehdr) header{};
  bool ok = fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
            pread(fd, &header, sizeof header, 0) == static_cast<ssize_t>(sizeof header) &&
            std::memcmp(header.e_ident, ELFMAG, SELFMAG) == 0 &&
            header.e_ident[EI_CLASS] == (sizeof(void*) == 8 ? ELFCLASS64 : ELFCLASS32) &&
            header.e_type == ET_DYN && header.e_phentsize == sizeof(ElfW(Phdr));
  const auto size = static_cast<std::uint64_t>(info.st_size);
  ok = ok && header.e_phoff + std::uint64_t{header.e_phnum} * sizeof(ElfW(Phdr)) <= size;
  for (int i = 0; ok && i < header.e_phnum; ++i) {
    ElfW(Phdr) program{};
    ok = pread(fd, &program, sizeof program,
               static_cast<off_t>(header.e_phoff + i * sizeof(ElfW(Phdr)))) ==
         static_cast<ssize_t>(sizeof program);
    ok = ok && (program.p_type != PT_LOAD || program.p_offset + program.p_filesz <= size);
  }
  close(fd);
  return ok;
}

}  // namespace

void ProjectionRegistry::LoadModules(const std::string& directory) {
  for (const std::string& name : ModuleNames(directory)) {
    // A path without a slash would make dlopen search the library path instead of the directory.
    const std::string path = (directory.empty() ? std::string("./") : directory) + name;
    if (!IsWholeSharedLibrary(path)) continue;
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
