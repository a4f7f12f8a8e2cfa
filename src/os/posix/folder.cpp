// Listing folders on POSIX systems: raw getdents64 into one reused buffer per thread, kinds from
// d_type, a stat only where the file system does not say (or for a link, to see its target).
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <memory>

#include "os/os.hpp"

namespace quorvel::os {

namespace {

// Large enough that a folder of a few hundred entries is one system call.
constexpr std::size_t kReadBuffer = 64 * 1024;

char* readBuffer() {
  // Allocated on a thread's first listing only: threads that never list pay nothing.
  thread_local std::unique_ptr<char[]> buffer;
  if (!buffer) buffer.reset(new char[kReadBuffer]);
  return buffer.get();
}

// The record layout of getdents64, which glibc does not declare.
struct LinuxDirent64 {
  ino64_t d_ino;
  off64_t d_off;
  unsigned short d_reclen;
  unsigned char d_type;
  char d_name[1];
};

EntryKind kindOfLink(int dir, const char* name) {
  struct stat st;
  if (fstatat(dir, name, &st, 0) == 0 && S_ISDIR(st.st_mode)) return EntryKind::FolderLink;
  return EntryKind::File;  // a link to a file, or a dangling one
}

EntryKind kindOf(int dir, const char* name, unsigned char type) {
  switch (type) {
    case DT_DIR:
      return EntryKind::Folder;
    case DT_LNK:
      return kindOfLink(dir, name);
    case DT_UNKNOWN: {
      struct stat st;
      if (fstatat(dir, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return EntryKind::File;
      if (S_ISDIR(st.st_mode)) return EntryKind::Folder;
      if (S_ISLNK(st.st_mode)) return kindOfLink(dir, name);
      return EntryKind::File;
    }
    default:
      return EntryKind::File;
  }
}

// openat wants a terminated name; entry names are at most 255 bytes, longer ones cannot exist.
int openRelative(int dir, std::string_view name, int flags) {
  char buf[512];
  if (name.size() >= sizeof buf || name.find('\0') != std::string_view::npos) {
    errno = ENAMETOOLONG;
    return -1;
  }
  std::memcpy(buf, name.data(), name.size());
  buf[name.size()] = '\0';
  return ::openat(dir, buf, flags);
}

}  // namespace

Folder::~Folder() {
  close();
}

Folder::Folder(Folder&& other) noexcept : handle_(other.handle_), readBefore_(other.readBefore_) {
  other.handle_ = -1;
}

Folder& Folder::operator=(Folder&& other) noexcept {
  if (this != &other) {
    close();
    handle_ = other.handle_;
    readBefore_ = other.readBefore_;
    other.handle_ = -1;
  }
  return *this;
}

void Folder::close() {
  if (handle_ >= 0) ::close(handle_);
  handle_ = -1;
  readBefore_ = false;
}

Folder Folder::open(const std::string& path) {
  return Folder(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

Folder Folder::openChild(std::string_view name) const {
  if (handle_ < 0) return Folder();
  return Folder(openRelative(handle_, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

Folder Folder::openParent() const {
  if (handle_ < 0) return Folder();
  return Folder(::openat(handle_, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

bool Folder::read(Listing& out) const {
  out.clear();
  if (handle_ < 0) return false;
  // A second read starts from the beginning again; the first costs no extra system call.
  if (readBefore_ && ::lseek(handle_, 0, SEEK_SET) != 0) return false;
  readBefore_ = true;
  char* buf = readBuffer();
  for (;;) {
    const long n = ::syscall(SYS_getdents64, handle_, buf, kReadBuffer);
    if (n == 0) return true;
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    for (long pos = 0; pos < n;) {
      const auto* d = reinterpret_cast<const LinuxDirent64*>(buf + pos);
      pos += d->d_reclen;
      const std::size_t len = std::strlen(d->d_name);
      const auto offset = static_cast<std::uint32_t>(out.names.size());
      out.names.append(d->d_name, len);
      out.entries.push_back(
          {offset, static_cast<std::uint32_t>(len), kindOf(handle_, d->d_name, d->d_type)});
    }
  }
}

}  // namespace quorvel::os
