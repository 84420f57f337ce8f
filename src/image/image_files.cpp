// Codec-independent file handling: the size and memory gates, opening pictures, safe replacement
// of outputs.
#include "image/image_files.h"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>
#include <random>

#include "image/memory_budget.h"

namespace ImageFiles {

namespace {

constexpr std::array<unsigned char, 8> kPngSignature = {0x89, 'P',  'N',  'G',
                                                        0x0D, 0x0A, 0x1A, 0x0A};
constexpr std::uint32_t kBmpHeaderBytes = 14 + 40;

std::string Reason(int error) { return std::strerror(error != 0 ? error : EIO); }

}  // namespace

bool AdmitsDecodedSize(std::int64_t width, std::int64_t height) {
  constexpr std::int64_t kMaxSide = std::numeric_limits<std::int32_t>::max();
  return width >= 1 && height >= 1 && width <= kMaxSide && height <= kMaxSide;
}

std::string TemporaryFolder() {
  const char* folder = std::getenv("TMPDIR");
  return folder && *folder ? folder : "/var/tmp";
}

int AllocateDecoded(VideoBuffer* buffer, std::int64_t width, std::int64_t height,
                    std::string* reason) {
  if (!AdmitsDecodedSize(width, height) || width < 2 || height < 2) return -1;
  const std::uint64_t bytes = static_cast<std::uint64_t>(width) * height * 4;
  const auto w = static_cast<std::int32_t>(width), h = static_cast<std::int32_t>(height);
  if (MemoryBudget::Allows(bytes) && buffer->Create(w, h) == 0) return 0;
  const std::string folder = TemporaryFolder();
  if (buffer->CreateOnDisk(w, h, folder) == 0) return 0;
  if (reason) {
    *reason = MemoryBudget::NotEnoughMessage(width, height, bytes) +
              " and too little free space in " + folder + " to hold it on disk";
  }
  return -3;
}

OpenedFile::~OpenedFile() {
  if (file_) std::fclose(file_);
}

int OpenedFile::Open(const std::string& path, std::string* reason) {
  // Non-blocking, so that opening a FIFO without a writer returns at once; it is refused below.
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  struct stat info {};
  if (fd < 0 || fstat(fd, &info) != 0) {
    *reason = Reason(errno);
    if (fd >= 0) close(fd);
    return -1;
  }
  if (!S_ISREG(info.st_mode)) {
    *reason = S_ISDIR(info.st_mode) ? Reason(EISDIR) : "not a regular file";
    close(fd);
    return -1;
  }
  file_ = fdopen(fd, "rb");
  if (!file_) {
    *reason = Reason(errno);
    close(fd);
    return -1;
  }
  std::array<unsigned char, 8> head{};
  png_ = std::fread(head.data(), 1, head.size(), file_) == head.size() && head == kPngSignature;
  std::rewind(file_);
  return 0;
}

std::uint64_t DecodeBytes(std::int64_t width, std::int64_t height, bool platformDecoder) {
  // libpng: a row of up to 8 bytes a pixel, and a row pointer for each row of an interlaced file;
  // the direct PNG decoder: two rows of 4 bytes a pixel. Fixed buffers of some hundred KiB (the
  // inflaters' windows and input) are not counted.
  return platformDecoder ? static_cast<std::uint64_t>(width) * height * 4
                         : (static_cast<std::uint64_t>(width) + height) * 8;
}

int AdmitDecode(std::int64_t width, std::int64_t height, bool platformDecoder,
                std::string* reason) {
  if (!AdmitsDecodedSize(width, height)) {
    *reason = "too large (" + std::to_string(width) + " \u00d7 " + std::to_string(height) +
              " pixels; a side may have at most 2^31 - 1)";
    return -1;
  }
  const std::uint64_t bytes = DecodeBytes(width, height, platformDecoder);
  if (!MemoryBudget::Allows(bytes)) {
    *reason = MemoryBudget::NotEnoughMessage(width, height, bytes);
    return -3;
  }
  return 0;
}

std::uint64_t BmpFileSize(std::int64_t width, std::int64_t height) {
  return static_cast<std::uint64_t>(width) * 4 * static_cast<std::uint64_t>(height) +
         kBmpHeaderBytes;
}

namespace {

// Named temporary files that exist right now, for the signal handler to remove. A slot's path is
// complete before `used` is set, and the file is created only after that.
struct TemporarySlot {
  std::atomic<bool> used{false};
  char path[PATH_MAX];
};
TemporarySlot temporaries[16];

constexpr int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGXFSZ};
struct sigaction previousActions[std::size(kCleanupSignals)];

// Async-signal-safe: unlink only.
void RemoveTemporaries() {
  for (TemporarySlot& slot : temporaries) {
    if (slot.used.load(std::memory_order_acquire)) unlink(slot.path);
  }
}

// Removes the temporary files, then does what the signal did before: the previous handler, or
// the default action (ending the process) by raising the signal again once this handler returns.
void OnCleanupSignal(int signal, siginfo_t* info, void* context) {
  const int savedErrno = errno;
  RemoveTemporaries();
  for (std::size_t i = 0; i < std::size(kCleanupSignals); ++i) {
    if (kCleanupSignals[i] != signal) continue;
    const struct sigaction& previous = previousActions[i];
    if (previous.sa_flags & SA_SIGINFO) {
      previous.sa_sigaction(signal, info, context);
    } else if (previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN) {
      previous.sa_handler(signal);
    } else {
      sigaction(signal, &previous, nullptr);
      raise(signal);
    }
  }
  errno = savedErrno;
}

// Once per process; signals that are ignored (nohup) stay ignored.
void InstallCleanupHandlers() {
  static std::once_flag once;
  std::call_once(once, [] {
    for (std::size_t i = 0; i < std::size(kCleanupSignals); ++i) {
      if (sigaction(kCleanupSignals[i], nullptr, &previousActions[i]) != 0) continue;
      if (!(previousActions[i].sa_flags & SA_SIGINFO) && previousActions[i].sa_handler == SIG_IGN) {
        continue;
      }
      struct sigaction action {};
      action.sa_sigaction = OnCleanupSignal;
      action.sa_flags = SA_SIGINFO | SA_RESTART;
      sigemptyset(&action.sa_mask);
      sigaction(kCleanupSignals[i], &action, nullptr);
    }
  });
}

// A registered temporary name, removed from the list (and from the folder unless kept) at the
// end of its scope.
class TemporaryName {
 public:
  TemporaryName() = default;
  TemporaryName(const TemporaryName&) = delete;
  TemporaryName& operator=(const TemporaryName&) = delete;
  ~TemporaryName() { Drop(true); }

  // Registers a fresh short name in `folder` (its length stays far below NAME_MAX whatever the
  // target's name). False when the list is full or the path too long.
  bool Choose(const std::string& folder) {
    Drop(true);
    static std::mutex lock;
    static std::mt19937_64 random{std::random_device{}()};
    std::lock_guard<std::mutex> guard(lock);
    char name[32];
    std::snprintf(name, sizeof name, ".kartovel-%012llx",
                  static_cast<unsigned long long>(random() & 0xFFFFFFFFFFFFull));
    const std::string path = folder + "/" + name;
    if (path.size() >= PATH_MAX) return false;
    for (TemporarySlot& slot : temporaries) {
      if (slot.used.load()) continue;
      std::memcpy(slot.path, path.c_str(), path.size() + 1);
      slot.used.store(true, std::memory_order_release);
      slot_ = &slot;
      return true;
    }
    return false;
  }
  const char* Path() const { return slot_ ? slot_->path : ""; }
  // Forgets the name; `remove` also unlinks the file.
  void Drop(bool remove) {
    if (!slot_) return;
    if (remove) unlink(slot_->path);
    slot_->used.store(false, std::memory_order_release);
    slot_ = nullptr;
  }

 private:
  TemporarySlot* slot_ = nullptr;
};

// Where the data must go: `path` itself, or the regular file a symbolic link names. Fills `mode`
// with the permission bits of an existing file (-1 for a new one). False with a reason otherwise.
bool ResolveTarget(const std::string& path, std::string* target, int* mode, std::string* reason) {
  struct stat info {};
  *target = path;
  *mode = -1;
  if (lstat(path.c_str(), &info) != 0) {
    if (errno == ENOENT) return true;  // a new file (a missing folder is told when creating it)
    *reason = Reason(errno);
    return false;
  }
  if (S_ISLNK(info.st_mode)) {
    char* resolved = realpath(path.c_str(), nullptr);
    if (!resolved || stat(resolved, &info) != 0) {
      *reason = errno == ENOENT ? "the symbolic link points to no file" : Reason(errno);
      std::free(resolved);
      return false;
    }
    *target = resolved;
    std::free(resolved);
  }
  if (S_ISDIR(info.st_mode)) {
    *reason = Reason(EISDIR);
    return false;
  }
  if (!S_ISREG(info.st_mode)) {
    *reason = "not a regular file";
    return false;
  }
  *mode = static_cast<int>(info.st_mode & 0777);
  return true;
}

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// An unnamed file in `folder` that can later be given a name through /proc, or -1.
int OpenUnnamed(const std::string& folder) {
#ifdef O_TMPFILE
  static const bool procFds = access("/proc/self/fd", X_OK) == 0;
  if (procFds) return open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
#endif
  (void)folder;
  errno = EOPNOTSUPP;
  return -1;
}

// Gives the unnamed file `fd` the registered name of `name`, retrying with fresh names.
bool LinkUnnamed(int fd, const std::string& folder, TemporaryName* name) {
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  for (int attempt = 0; attempt < 16; ++attempt) {
    if (!name->Choose(folder)) return false;
    if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name->Path(), AT_SYMLINK_FOLLOW) == 0) {
      return true;
    }
    const int error = errno;
    name->Drop(false);
    errno = error;
    if (error != EEXIST) return false;
  }
  return false;
}

int OpenNamed(const std::string& folder, TemporaryName* name) {
  for (int attempt = 0; attempt < 16; ++attempt) {
    if (!name->Choose(folder)) return -1;
    const int fd = open(name->Path(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) return fd;
    const int error = errno;
    name->Drop(false);
    errno = error;
    if (error != EEXIST) return -1;
  }
  return -1;
}

}  // namespace

int ReplaceFile(const std::string& path, const std::function<bool(std::FILE*)>& write,
                std::string* reason, const std::atomic<bool>* cancel) {
  std::string why;
  auto fail = [&](const std::string& text) {
    if (reason) *reason = text;
    return -1;
  };
  std::string target;
  int mode = -1;
  if (!ResolveTarget(path, &target, &mode, &why)) return fail(why);
  InstallCleanupHandlers();
  const std::string folder = FolderOf(target);
  TemporaryName name;
  int fd = OpenUnnamed(folder);
  const bool unnamed = fd >= 0;
  if (!unnamed && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
    return fail(Reason(errno));
  }
  if (!unnamed) fd = OpenNamed(folder, &name);
  if (fd < 0) return fail(Reason(errno));
  if (mode >= 0) fchmod(fd, static_cast<mode_t>(mode));
  std::FILE* file = fdopen(fd, "wb");
  if (!file) {
    const int error = errno;
    close(fd);
    return fail(Reason(error));
  }
  // The first failure's errno names the reason: ENOSPC, EFBIG, EIO...
  errno = 0;
  int error = 0;
  const auto check = [&](bool ok) {
    if (!ok && error == 0) error = errno != 0 ? errno : EIO;
    return ok;
  };
  bool ok = check(write(file) && !std::ferror(file));
  ok = check(std::fflush(file) == 0) && ok;
  ok = ok && check(fsync(fd) == 0);
  ok = ok && (!unnamed || check(LinkUnnamed(fd, folder, &name)));
  ok = check(std::fclose(file) == 0) && ok;
  if (!ok) return fail(Reason(error));
  if (cancel && cancel->load()) return -2;
  if (std::rename(name.Path(), target.c_str()) != 0) return fail(Reason(errno));
  name.Drop(false);
  return 0;
}

}  // namespace ImageFiles
