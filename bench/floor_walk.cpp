// The floor: the least a walker of a whole tree must do. One thread, openat + getdents64 with
// d_type, no matching, no paths; counts entries. Prints the count.
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

struct Dirent64 {
  unsigned long long ino;
  long long off;
  unsigned short reclen;
  unsigned char type;
  char name[1];
};

char buffer[64 * 1024];
unsigned long long entries = 0;

void walk(int fd) {
  std::string subs;  // subfolder names, each ended by a NUL
  for (;;) {
    const long n = syscall(SYS_getdents64, fd, buffer, sizeof buffer);
    if (n <= 0) break;
    for (long pos = 0; pos < n;) {
      const auto* d = reinterpret_cast<const Dirent64*>(buffer + pos);
      pos += d->reclen;
      if (d->name[0] == '.' && (d->name[1] == 0 || (d->name[1] == '.' && d->name[2] == 0)))
        continue;
      ++entries;
      if (d->type == 4 /* DT_DIR */) subs.append(d->name, std::strlen(d->name) + 1);
    }
  }
  for (std::size_t i = 0; i < subs.size(); i += std::strlen(subs.data() + i) + 1) {
    const int c = openat(fd, subs.data() + i, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (c >= 0) walk(c);
  }
  close(fd);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: floor_walk ROOT\n");
    return 2;
  }
  const int fd = open(argv[1], O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return 1;
  walk(fd);
  std::printf("%llu\n", entries);
  return 0;
}
