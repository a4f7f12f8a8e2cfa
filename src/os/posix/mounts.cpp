// The fixed local disks of a Linux system: the mounted file systems that live on a local,
// non-removable block device, read from /proc/self/mountinfo and sysfs.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <system_error>
#include <unordered_map>
#include <utility>

#include "os/os.hpp"

namespace quorvel::os {

namespace {

// mountinfo writes space, tab, newline and backslash in paths as \ooo.
std::string unescape(std::string_view field) {
  std::string out;
  out.reserve(field.size());
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size()) {
      const char a = field[i + 1], b = field[i + 2], c = field[i + 3];
      if (a >= '0' && a <= '3' && b >= '0' && b <= '7' && c >= '0' && c <= '7') {
        out.push_back(static_cast<char>(((a - '0') << 6) | ((b - '0') << 3) | (c - '0')));
        i += 3;
        continue;
      }
    }
    out.push_back(field[i]);
  }
  return out;
}

std::vector<std::string_view> splitFields(std::string_view line) {
  std::vector<std::string_view> fields;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && line[i] == ' ') ++i;
    const std::size_t start = i;
    while (i < line.size() && line[i] != ' ') ++i;
    if (i > start) fields.push_back(line.substr(start, i - start));
  }
  return fields;
}

bool parseNumber(std::string_view s, unsigned& out) {
  if (s.empty()) return false;
  const auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), out);
  return error == std::errc() && end == s.data() + s.size();
}

bool parseDevice(std::string_view s, unsigned& major, unsigned& minor) {
  const std::size_t colon = s.find(':');
  if (colon == std::string_view::npos) return false;
  return parseNumber(s.substr(0, colon), major) && parseNumber(s.substr(colon + 1), minor);
}

bool startsWith(std::string_view s, std::string_view prefix) {
  return s.substr(0, prefix.size()) == prefix;
}

// File system types that never hold a local disk, whatever their source says.
bool excludedType(std::string_view type) {
  static constexpr std::string_view kTypes[] = {
      // network and cluster
      "nfs", "nfs4", "cifs", "smb3", "smbfs", "sshfs", "fuse.sshfs", "9p", "afs", "ceph",
      "glusterfs", "fuse.glusterfs", "lustre", "ncpfs", "coda", "davfs", "fuse.davfs2",
      "fuse.rclone", "fuse.s3fs", "fuse.cephfs", "virtiofs",
      // pseudo and memory
      "proc", "sysfs", "devtmpfs", "devpts", "tmpfs", "ramfs", "rootfs", "cgroup", "cgroup2",
      "securityfs", "debugfs", "tracefs", "pstore", "bpf", "mqueue", "hugetlbfs", "configfs",
      "fusectl", "autofs", "binfmt_misc", "efivarfs", "rpc_pipefs", "nsfs", "selinuxfs",
      // optical
      "iso9660", "udf",
      // read-only images: snaps and similar packages
      "squashfs", "erofs"};
  if (std::find(std::begin(kTypes), std::end(kTypes), type) != std::end(kTypes)) return true;
  // Desktop helpers (gvfs, document portal, lxcfs) are fuse mounts without a disk; a fuse file
  // system on a local disk (ntfs-3g) says "fuseblk".
  return startsWith(type, "fuse.");
}

std::optional<std::string> readSmallFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string content;
  char buffer[256];
  while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
    content.append(buffer, static_cast<std::size_t>(in.gcount()));
    if (content.size() > 4096) break;
  }
  while (!content.empty() && (content.back() == '\n' || content.back() == ' ')) content.pop_back();
  return content;
}

bool exists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

// A device folder of sysfs is removable when the disk it lives on says so. A partition asks its
// disk (the folder above it; ".." after a link is resolved by the kernel against the link's
// target, as in real sysfs), and a mapped device (LVM, LUKS) asks the devices it is built on.
bool removableDevice(const std::string& deviceFolder, int depth) {
  if (depth > 8) return false;
  if (exists(deviceFolder + "/partition")) return removableDevice(deviceFolder + "/..", depth + 1);
  if (const auto flag = readSmallFile(deviceFolder + "/removable"); flag && *flag == "1")
    return true;
  std::error_code error;
  for (std::filesystem::directory_iterator it(deviceFolder + "/slaves", error), end;
       !error && it != end; it.increment(error)) {
    if (removableDevice(deviceFolder + "/slaves/" + it->path().filename().string(), depth + 1))
      return true;
  }
  return false;
}

// A disk in memory (zram, brd) is no disk: its device folder is named after its driver.
bool ramDisk(const std::string& deviceFolder) {
  char* resolved = ::realpath(deviceFolder.c_str(), nullptr);
  if (resolved == nullptr) return false;
  const std::string path = resolved;
  std::free(resolved);
  const std::string_view name = std::string_view(path).substr(path.rfind('/') + 1);
  return startsWith(name, "zram") ||
         (startsWith(name, "ram") && name.size() > 3 && name[3] >= '0' && name[3] <= '9');
}

constexpr unsigned kOpticalMajor = 11;  // SCSI CD-ROM drives (sr*)

// The block device that backs a mount. mountinfo gives the file system's device number, which
// for btrfs and a few others is an anonymous one (major 0); the source's name then leads to the
// real device through sysfs.
std::optional<std::pair<unsigned, unsigned>> blockDevice(const MountEntry& m,
                                                         const std::string& sysRoot) {
  if (m.major != 0) return std::make_pair(m.major, m.minor);
  std::string name = m.source;
  if (char* resolved = ::realpath(m.source.c_str(), nullptr)) {  // /dev/mapper/x -> /dev/dm-0
    name = resolved;
    std::free(resolved);
  }
  name = name.substr(name.rfind('/') + 1);
  if (name.empty()) return std::nullopt;
  const auto dev = readSmallFile(sysRoot + "/class/block/" + name + "/dev");
  unsigned major = 0, minor = 0;
  if (!dev || !parseDevice(*dev, major, minor)) return std::nullopt;
  return std::make_pair(major, minor);
}

bool localDisk(const MountEntry& m, const std::string& sysRoot) {
  // A container's root file system is an overlay over the host's disk: it is the local root.
  if (m.fsType == "overlay") return m.mountPoint == "/";
  if (excludedType(m.fsType)) return false;
  if (!startsWith(m.source, "/dev/")) return false;
  const auto device = blockDevice(m, sysRoot);
  // No sysfs entry to ask: a block device source with a disk file system is taken as fixed.
  if (!device) return true;
  if (device->first == kOpticalMajor) return false;
  const std::string folder = sysRoot + "/dev/block/" + std::to_string(device->first) + ":" +
                             std::to_string(device->second);
  return !ramDisk(folder) && !removableDevice(folder, 0);
}

// True when path is base or lies below it.
bool within(std::string_view path, std::string_view base) {
  if (base == "/") return true;
  return startsWith(path, base) && (path.size() == base.size() || path[base.size()] == '/');
}

}  // namespace

std::vector<MountEntry> parseMountInfo(std::string_view text) {
  std::vector<MountEntry> mounts;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;

    // id parent major:minor root mountpoint options [optional...] - type source superoptions
    const auto fields = splitFields(line);
    if (fields.size() < 9) continue;
    const auto dash = std::find(fields.begin() + 6, fields.end(), std::string_view("-"));
    if (dash == fields.end() || fields.end() - dash < 3) continue;
    unsigned id = 0, parent = 0;
    MountEntry m;
    if (!parseNumber(fields[0], id) || !parseNumber(fields[1], parent) ||
        !parseDevice(fields[2], m.major, m.minor))
      continue;
    m.root = unescape(fields[3]);
    m.mountPoint = unescape(fields[4]);
    m.fsType = unescape(dash[1]);
    m.source = unescape(dash[2]);
    if (m.mountPoint.empty() || m.mountPoint.front() != '/') continue;
    mounts.push_back(std::move(m));
  }
  return mounts;
}

FixedRoots fixedRoots(std::string_view mountInfoText, const std::string& sysRoot) {
  const std::vector<MountEntry> mounts = parseMountInfo(mountInfoText);
  FixedRoots result;

  std::set<std::string> seen;
  for (const MountEntry& m : mounts)
    if (seen.insert(m.mountPoint).second) result.mountPoints.push_back(m.mountPoint);

  // A mount with a later one on the same point is hidden under it: nothing of it can be walked.
  std::unordered_map<std::string_view, std::size_t> lastOnPoint;
  for (std::size_t i = 0; i < mounts.size(); ++i) lastOnPoint[mounts[i].mountPoint] = i;
  std::vector<std::size_t> disks;
  for (std::size_t i = 0; i < mounts.size(); ++i)
    if (lastOnPoint[mounts[i].mountPoint] == i && localDisk(mounts[i], sysRoot)) disks.push_back(i);

  // Several mounts of one file system (bind mounts, btrfs subvolumes) are walked once: a mount
  // whose part of the file system lies within the part another mount shows is left out, the
  // whole file system ("/") first, then the shorter mount point, then the earlier one.
  // Subvolumes side by side (/@ at /, /@home at /home) show different parts and stay.
  std::vector<std::size_t> order = disks;
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    const MountEntry& x = mounts[a];
    const MountEntry& y = mounts[b];
    if (x.root.size() != y.root.size()) return x.root.size() < y.root.size();
    return x.mountPoint.size() < y.mountPoint.size();
  });
  std::vector<bool> keep(mounts.size(), false);
  std::vector<std::size_t> kept;
  for (const std::size_t i : order) {
    const MountEntry& m = mounts[i];
    const bool covered = std::any_of(kept.begin(), kept.end(), [&](std::size_t k) {
      return mounts[k].major == m.major && mounts[k].minor == m.minor &&
             within(m.root, mounts[k].root);
    });
    if (!covered) {
      keep[i] = true;
      kept.push_back(i);
    }
  }
  for (const std::size_t i : disks)
    if (keep[i]) result.roots.push_back(mounts[i].mountPoint);
  return result;
}

FixedRoots fixedRoots() {
  const auto text = readFile("/proc/self/mountinfo");
  if (!text) return {};
  return fixedRoots(*text, "/sys");
}

}  // namespace quorvel::os
