// Files on POSIX systems: copy with replacement, delete, stamps, whole-file read and write, and
// the program's own folder.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <random>
#include <utility>

#include "os/os.hpp"

namespace quorvel::os {

namespace {

class Fd {
 public:
  Fd() : fd_(-1) {}
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() { reset(); }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Fd& operator=(Fd&& other) noexcept {
    if (this != &other) {
      reset();
      fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
  }
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  // Closes now and reports the close's error, which on some file systems is the first word of
  // a failed write.
  bool close() {
    const int fd = fd_;
    fd_ = -1;
    return fd < 0 || ::close(fd) == 0 || errno == EINTR;
  }
  void reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
};

int openRetrying(const char* path, int flags, mode_t mode = 0) {
  int fd;
  do fd = ::open(path, flags | O_CLOEXEC, mode);
  while (fd < 0 && errno == EINTR);
  return fd;
}

// Opens a regular file for reading, following links. A FIFO or device would block or never end,
// so it is opened without blocking, checked, and refused.
Fd openRegular(const std::string& path, struct stat& st) {
  Fd fd(openRetrying(path.c_str(), O_RDONLY | O_NONBLOCK));
  if (!fd.valid()) return fd;
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return Fd();
  const int flags = ::fcntl(fd.get(), F_GETFL);
  if (flags < 0 || ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK) < 0) return Fd();
  return fd;
}

std::string folderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// A new, empty file beside the final one, created exclusively so that it is never somebody
// else's file. The name is short so that a long target name still fits.
struct TempFile {
  Fd fd;
  std::string path;
};

TempFile createTemp(const std::string& folder, mode_t mode) {
  static std::atomic<unsigned> counter{0};
  thread_local std::mt19937_64 random{std::random_device{}() ^
                                      (static_cast<std::uint64_t>(::getpid()) << 32)};
  static constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::uint64_t bits = random() ^ counter.fetch_add(1, std::memory_order_relaxed);
    std::string name = ".quorvel-";
    for (int i = 0; i < 10; ++i, bits /= 36) name.push_back(kDigits[bits % 36]);
    name += ".tmp";
    TempFile temp;
    temp.path = joinPath(folder, name);
    temp.fd = Fd(openRetrying(temp.path.c_str(), O_WRONLY | O_CREAT | O_EXCL, mode));
    if (temp.fd.valid()) return temp;
    if (errno != EEXIST) break;
  }
  return {};
}

void removeTemp(TempFile& temp) {
  temp.fd.reset();
  if (!temp.path.empty()) ::unlink(temp.path.c_str());
  temp.path.clear();
}

bool writeAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

constexpr std::size_t kChunk = std::size_t{4} << 20;

bool cancelled(const std::atomic<bool>* cancel) {
  return cancel != nullptr && cancel->load(std::memory_order_relaxed);
}

// Copies from the current offsets to the end. The kernel copies without a trip through user
// space (and shares extents where the file system can); where it cannot, plain reads and
// writes carry on from the same offsets.
bool copyData(int in, int out, const std::atomic<bool>* cancel) {
  bool kernel = true;
  bool copiedAny = false;
  std::string buffer;
  for (;;) {
    if (cancelled(cancel)) return false;
    if (kernel) {
      const ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, kChunk, 0);
      if (n > 0) {
        copiedAny = true;
        continue;
      }
      if (n == 0 && copiedAny) return true;
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP &&
          errno != EPERM)
        return false;
      // Some kernels answer 0 at once for files whose size they do not know (procfs and the
      // like); reading tells the truth.
      kernel = false;
      buffer.resize(std::size_t{1} << 20);
    }
    const ssize_t n = ::read(in, buffer.data(), buffer.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) return true;
    if (!writeAll(out, buffer.data(), static_cast<std::size_t>(n))) return false;
  }
}

}  // namespace

CopyResult copyReplacing(const std::string& source, const std::string& target,
                         const std::atomic<bool>* cancel) {
  struct stat from;
  Fd in = openRegular(source, from);
  if (!in.valid()) return CopyResult::Failed;

  // The same file under another name (a hard link, a link, "./x", a bind mount): copying would
  // truncate the only copy, so nothing is done.
  struct stat to;
  if (::stat(target.c_str(), &to) == 0) {
    if (to.st_dev == from.st_dev && to.st_ino == from.st_ino) return CopyResult::SameFile;
    if (S_ISDIR(to.st_mode)) return CopyResult::Failed;
  }

  TempFile temp = createTemp(folderOf(target), from.st_mode & 0777);
  if (!temp.fd.valid()) return CopyResult::Failed;
  // The creation mask may have taken bits away; the copy gets the source's permissions.
  const struct timespec times[2] = {{0, UTIME_OMIT}, from.st_mtim};
  const bool ok = copyData(in.get(), temp.fd.get(), cancel) &&
                  ::fchmod(temp.fd.get(), from.st_mode & 0777) == 0 &&
                  ::futimens(temp.fd.get(), times) == 0 && temp.fd.close() &&
                  ::rename(temp.path.c_str(), target.c_str()) == 0;
  if (!ok) {
    removeTemp(temp);
    return CopyResult::Failed;
  }
  return CopyResult::Copied;
}

bool removeFile(const std::string& path) {
  return ::unlink(path.c_str()) == 0;
}

std::optional<FileStamp> stampOf(const std::string& path) {
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) return std::nullopt;
  FileStamp stamp;
  stamp.device = static_cast<std::uint64_t>(st.st_dev);
  stamp.inode = static_cast<std::uint64_t>(st.st_ino);
  stamp.size = static_cast<std::uint64_t>(st.st_size);
  stamp.modifiedNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 +
                     static_cast<std::int64_t>(st.st_mtim.tv_nsec);
  stamp.regular = S_ISREG(st.st_mode);
  stamp.link = S_ISLNK(st.st_mode);
  stamp.folder = S_ISDIR(st.st_mode);
  return stamp;
}

std::optional<std::string> readFile(const std::string& path) {
  struct stat st;
  Fd fd = openRegular(path, st);
  if (!fd.valid()) return std::nullopt;
  std::string content;
  // The size is a hint only: files of /proc say 0 and a file may grow while it is read.
  content.reserve(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 0));
  char buffer[1 << 16];
  for (;;) {
    const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      return std::nullopt;
    }
    if (n == 0) return content;
    content.append(buffer, static_cast<std::size_t>(n));
  }
}

bool writeFileAtomic(const std::string& path, std::string_view bytes) {
  // A link is kept: the file it points to is the one rewritten.
  std::string final = path;
  struct stat st;
  if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    if (char* resolved = ::realpath(path.c_str(), nullptr)) {
      final = resolved;
      std::free(resolved);
    }
  }
  const bool existed = ::stat(final.c_str(), &st) == 0;
  if (existed && S_ISDIR(st.st_mode)) return false;

  const std::string folder = folderOf(final);
  TempFile temp = createTemp(folder, existed ? (st.st_mode & 0777) : 0666);
  if (!temp.fd.valid()) return false;
  const bool ok = writeAll(temp.fd.get(), bytes.data(), bytes.size()) &&
                  (!existed || ::fchmod(temp.fd.get(), st.st_mode & 0777) == 0) &&
                  ::fsync(temp.fd.get()) == 0 && temp.fd.close() &&
                  ::rename(temp.path.c_str(), final.c_str()) == 0;
  if (!ok) {
    removeTemp(temp);
    return false;
  }
  // The rename itself lasts only once the folder is on disk.
  Fd dir(openRetrying(folder.c_str(), O_RDONLY | O_DIRECTORY));
  if (dir.valid()) ::fsync(dir.get());
  return true;
}

std::string programFolder() {
  std::string path(256, '\0');
  for (;;) {
    const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size());
    if (n < 0) return ".";  // no /proc: the working folder is the best guess left
    if (static_cast<std::size_t>(n) < path.size()) {
      path.resize(static_cast<std::size_t>(n));
      break;
    }
    path.resize(path.size() * 2);
  }
  // A program in the root is in "/", the one folder that ends in the separator.
  return folderOf(path);
}

}  // namespace quorvel::os
