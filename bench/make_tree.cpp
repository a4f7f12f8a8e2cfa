// Makes the benchmark tree: FILES empty files spread evenly over about FOLDERS folders three
// levels deep, with names like a photo and document archive's, always the same for the same
// arguments. Also writes names_exact.txt and names_fuzzy.txt (10,000 lines each) beside ROOT:
// names taken from the tree, with some that match nothing.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

namespace {

const char* kTop[] = {"Photos", "Documents", "Projects", "Scans",  "Archive",
                      "Backup", "Work",      "Family",   "Travel", "Invoices"};
const char* kCompany[] = {"Acme",  "Globex", "Initech",   "Umbrella", "Hooli", "Vandelay", "Stark",
                          "Wayne", "Tyrell", "Cyberdyne", "Soylent",  "Wonka", "Gringotts"};
const char* kTopic[] = {"budget",  "roadmap", "minutes", "summary", "proposal", "contract",
                        "audit",   "plan",    "review",  "notes",   "forecast", "survey",
                        "release", "design",  "spec",    "offer",   "thesis"};

std::uint64_t mix(std::uint64_t x) {
  x ^= x >> 33;
  x *= 0xff51afd7ed558ccdull;
  x ^= x >> 33;
  return x;
}

// The base name (without extension) and the extension of file number i.
void fileName(std::uint64_t i, std::string& base, std::string& ext) {
  char buf[128];
  switch (mix(i) % 5) {
    case 0: {
      const std::time_t t = 1400000000 + static_cast<std::time_t>(i) * 61;
      std::tm tm{};
      gmtime_r(&t, &tm);
      std::snprintf(buf, sizeof buf, "IMG_%04d%02d%02d_%02d%02d%02d", tm.tm_year + 1900,
                    tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
      ext = ".jpg";
      break;
    }
    case 1:
      std::snprintf(buf, sizeof buf, "DSC%05llu", static_cast<unsigned long long>(i % 100000));
      ext = ".JPG";
      break;
    case 2:
      std::snprintf(buf, sizeof buf, "Invoice %04llu-%02llu %s",
                    static_cast<unsigned long long>(2000 + (i / 156) % 25),
                    static_cast<unsigned long long>(1 + (i / 13) % 12), kCompany[i % 13]);
      ext = ".pdf";
      break;
    case 3:
      std::snprintf(buf, sizeof buf, "%s_%llu_v%llu", kTopic[i % 17],
                    static_cast<unsigned long long>(i / 153),
                    static_cast<unsigned long long>(i % 9));
      ext = ".docx";
      break;
    default:
      std::snprintf(buf, sizeof buf, "\xE6\x89\xAB\xE6\x8F\x8F\xE4\xBB\xB6_%07llu",
                    static_cast<unsigned long long>(i));  // 扫描件_
      ext = ".pdf";
      break;
  }
  base = buf;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: make_tree ROOT FILES FOLDERS\n");
    return 2;
  }
  const std::string root = argv[1];
  const std::uint64_t files = std::strtoull(argv[2], nullptr, 10);
  const std::uint64_t leaves = std::strtoull(argv[3], nullptr, 10);
  // Three levels: 10 top folders, about 20 below each, the rest below those.
  const std::uint64_t top = 10, mid = 20, low = (leaves + top * mid - 1) / (top * mid);
  if (mkdir(root.c_str(), 0755) != 0) {
    std::perror("mkdir");
    return 1;
  }
  const int rootFd = open(root.c_str(), O_RDONLY | O_DIRECTORY);
  std::uint64_t next = 0, leaf = 0;
  const std::uint64_t totalLeaves = top * mid * low;
  std::string base, ext;
  char name[128];
  for (std::uint64_t a = 0; a < top; ++a) {
    std::snprintf(name, sizeof name, "%s %02llu", kTop[a % 10], static_cast<unsigned long long>(a));
    mkdirat(rootFd, name, 0755);
    const int aFd = openat(rootFd, name, O_RDONLY | O_DIRECTORY);
    for (std::uint64_t b = 0; b < mid; ++b) {
      std::snprintf(name, sizeof name, "%04llu-%02llu %s",
                    static_cast<unsigned long long>(2001 + b),
                    static_cast<unsigned long long>(1 + a % 12), kCompany[(a + b) % 13]);
      mkdirat(aFd, name, 0755);
      const int bFd = openat(aFd, name, O_RDONLY | O_DIRECTORY);
      for (std::uint64_t c = 0; c < low; ++c, ++leaf) {
        std::snprintf(name, sizeof name, "Event %03llu", static_cast<unsigned long long>(c));
        mkdirat(bFd, name, 0755);
        const int cFd = openat(bFd, name, O_RDONLY | O_DIRECTORY);
        const std::uint64_t end = files * (leaf + 1) / totalLeaves;
        for (; next < end; ++next) {
          fileName(next, base, ext);
          const int f = openat(cFd, (base + ext).c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
          if (f >= 0) close(f);
        }
        close(cFd);
      }
      close(bFd);
    }
    close(aFd);
  }
  close(rootFd);

  // Names: every fifth one matches nothing; the others are spread over the whole tree.
  std::FILE* exact = std::fopen((root + ".names_exact.txt").c_str(), "wb");
  std::FILE* fuzzy = std::fopen((root + ".names_fuzzy.txt").c_str(), "wb");
  for (std::uint64_t k = 0; k < 10000; ++k) {
    if (k % 5 == 4) {
      std::fprintf(exact, "missing_%06llu\n", static_cast<unsigned long long>(k));
      std::fprintf(fuzzy, "nothing_%06llu\n", static_cast<unsigned long long>(k));
      continue;
    }
    fileName((k * 7919 + 13) % files, base, ext);
    std::fprintf(exact, "%s\n", base.c_str());
    // A keyword from inside the name: drop its first three bytes (ASCII in every kind but the
    // scans, whose prefix is three whole characters of three bytes each).
    const std::size_t skip = (base[0] & 0x80) ? 9 : 3;
    std::fprintf(fuzzy, "%s\n", base.c_str() + skip);
  }
  std::fclose(exact);
  std::fclose(fuzzy);
  std::printf("%llu files in %llu leaf folders\n", static_cast<unsigned long long>(next),
              static_cast<unsigned long long>(totalLeaves));
  return 0;
}
