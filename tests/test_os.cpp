// The OS layer on real temporary folders: paths, mount tables against a sysfs fixture, copying,
// atomic writes, file: URLs and the desktop opener.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "os/os.hpp"

namespace fs = std::filesystem;
using namespace quorvel::os;

namespace {

class TempTree {
 public:
  TempTree() {
    std::string pattern = (fs::temp_directory_path() / "quorvel-os-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp");
    root_ = pattern;
  }
  ~TempTree() {
    std::error_code error;
    fs::permissions(root_, fs::perms::owner_all, fs::perm_options::add, error);
    fs::remove_all(root_, error);
  }
  TempTree(const TempTree&) = delete;
  TempTree& operator=(const TempTree&) = delete;

  std::string path(const std::string& relative = "") const {
    return relative.empty() ? root_ : root_ + "/" + relative;
  }
  std::string write(const std::string& relative, const std::string& content) const {
    const std::string p = path(relative);
    fs::create_directories(fs::path(p).parent_path());
    std::ofstream(p, std::ios::binary) << content;
    return p;
  }

 private:
  std::string root_;
};

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::string> namesIn(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::int64_t mtimeNs(const std::string& path) {
  struct stat st;
  EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
  return static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
}

void setMtime(const std::string& path, std::time_t seconds, long nanoseconds) {
  const struct timespec times[2] = {{0, UTIME_OMIT}, {seconds, nanoseconds}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

}  // namespace

// ---- Paths -------------------------------------------------------------------------------

TEST(JoinPath, OneSeparatorWithoutNormalising) {
  struct Case {
    const char* folder;
    const char* name;
    const char* joined;
  } cases[] = {
      {"/", "etc", "/etc"},
      {"/home/user", "a.txt", "/home/user/a.txt"},
      {"/home/user/", "a.txt", "/home/user/a.txt"},
      {"/a//b", "c", "/a//b/c"},  // taken as given
      {"rel", "x", "rel/x"},
      {"/mnt", "", "/mnt/"},
  };
  for (const Case& c : cases) EXPECT_EQ(joinPath(c.folder, c.name), c.joined) << c.folder;
}

// ---- Mount table -------------------------------------------------------------------------

TEST(ParseMountInfo, FieldsOptionalFieldsAndEscapes) {
  const std::string text =
      "28 1 254:0 / / rw,relatime shared:1 - ext4 /dev/vda rw,discard\n"
      "40 28 8:17 /sub\\040dir /mnt/with\\040space\\011tab rw master:2 propagate_from:1 shared:7 - "
      "ext4 /dev/disk\\134x rw\n"
      "41 28 0:50 / /mnt/nfs rw - nfs4 server:/export rw\n"
      // Malformed: too few fields, no separator, a bad device number, a relative mount point.
      "42 28 8:1 / /x rw - ext4\n"
      "43 28 8:1 / /x rw shared:1 ext4 /dev/sda1 rw extra\n"
      "44 28 8-1 / /x rw - ext4 /dev/sda1 rw\n"
      "45 28 8:1 / x rw - ext4 /dev/sda1 rw\n"
      "\n"
      "46 28 8:2 / /last rw - ext4 /dev/sda2 rw";  // no newline at the end
  const auto mounts = parseMountInfo(text);
  ASSERT_EQ(mounts.size(), 4u);
  EXPECT_EQ(mounts[0].mountPoint, "/");
  EXPECT_EQ(mounts[0].root, "/");
  EXPECT_EQ(mounts[0].fsType, "ext4");
  EXPECT_EQ(mounts[0].source, "/dev/vda");
  EXPECT_EQ(mounts[0].major, 254u);
  EXPECT_EQ(mounts[0].minor, 0u);
  EXPECT_EQ(mounts[1].mountPoint, "/mnt/with space\ttab");
  EXPECT_EQ(mounts[1].root, "/sub dir");
  EXPECT_EQ(mounts[1].source, "/dev/disk\\x");
  EXPECT_EQ(mounts[1].major, 8u);
  EXPECT_EQ(mounts[1].minor, 17u);
  EXPECT_EQ(mounts[2].fsType, "nfs4");
  EXPECT_EQ(mounts[2].source, "server:/export");
  EXPECT_EQ(mounts[3].mountPoint, "/last");
}

namespace {

// A sysfs tree shaped like the kernel's: /sys/dev/block/M:m links to the device's folder, a
// partition's folder lies inside its disk's and holds a "partition" file.
class SysFixture {
 public:
  explicit SysFixture(const TempTree& tree) : root_(tree.path("sys")) {
    fs::create_directories(root_ + "/dev/block");
  }
  const std::string& root() const { return root_; }

  void disk(const std::string& name, const std::string& device, bool removable) {
    const std::string folder = devices_ + "/" + name;
    fs::create_directories(root_ + "/" + folder);
    std::ofstream(root_ + "/" + folder + "/removable") << (removable ? "1\n" : "0\n");
    link(name, folder, device);
  }
  void partition(const std::string& diskName, const std::string& name, const std::string& device) {
    const std::string folder = devices_ + "/" + diskName + "/" + name;
    fs::create_directories(root_ + "/" + folder);
    std::ofstream(root_ + "/" + folder + "/partition") << "1\n";
    link(name, folder, device);
  }
  // A mapped device (LUKS, LVM) built on another one.
  void mapped(const std::string& name, const std::string& device, const std::string& slaveName,
              const std::string& slaveFolder) {
    const std::string folder = "devices/virtual/block/" + name;
    fs::create_directories(root_ + "/" + folder + "/slaves");
    std::ofstream(root_ + "/" + folder + "/removable") << "0\n";
    fs::create_directory_symlink("../../../../../" + slaveFolder,
                                 root_ + "/" + folder + "/slaves/" + slaveName);
    link(name, folder, device);
  }
  std::string folderOf(const std::string& diskName, const std::string& part = "") const {
    return devices_ + "/" + diskName + (part.empty() ? "" : "/" + part);
  }

 private:
  void link(const std::string& name, const std::string& folder, const std::string& device) {
    fs::create_directory_symlink("../../" + folder, root_ + "/dev/block/" + device);
    fs::create_directories(root_ + "/class/block");
    fs::create_directory_symlink("../../" + folder, root_ + "/class/block/" + name);
    std::ofstream(root_ + "/" + folder + "/dev") << device << "\n";
  }

  std::string root_;
  std::string devices_ = "devices/pci0000:00/block";
};

}  // namespace

TEST(FixedRoots, DesktopMachine) {
  TempTree tree;
  SysFixture sys(tree);
  sys.disk("sda", "8:0", false);
  sys.partition("sda", "sda1", "8:1");
  sys.partition("sda", "sda2", "8:2");
  sys.disk("sdb", "8:16", false);
  sys.partition("sdb", "sdb1", "8:17");
  sys.disk("sdc", "8:32", true);  // USB stick
  sys.partition("sdc", "sdc1", "8:33");
  sys.disk("sdd", "8:48", false);  // a whole disk without partitions
  sys.disk("sr0", "11:0", true);
  sys.disk("sr1", "11:1", false);  // an optical drive that does not call itself removable
  sys.disk("loop3", "7:3", false);
  sys.disk("zram1", "252:1", false);

  const std::string text =
      "22 28 0:21 / /proc rw,relatime - proc proc rw\n"
      "23 28 0:22 / /sys rw,relatime - sysfs sysfs rw\n"
      "24 28 0:6 / /dev rw,relatime - devtmpfs devtmpfs rw,size=1k\n"
      // The bind mount of a folder of the root disk comes before the root disk itself here.
      "25 1 8:2 /srv/data /mnt/data\\040copy rw,relatime shared:9 - ext4 /dev/sda2 rw\n"
      "28 1 8:2 / / rw,relatime shared:1 - ext4 /dev/sda2 rw,errors=remount-ro\n"
      "29 28 8:17 / /home rw,relatime shared:2 - ext4 /dev/sdb1 rw\n"
      "30 28 8:1 / /boot/efi rw,relatime shared:3 - vfat /dev/sda1 rw,fmask=0077\n"
      "31 28 0:25 / /tmp rw,nosuid shared:4 - tmpfs tmpfs rw\n"
      "32 28 0:50 / /mnt/nfs rw,relatime shared:5 - nfs4 server:/export rw,vers=4.2\n"
      "33 28 8:33 / /media/u/USB\\040STICK rw,nosuid shared:6 - vfat /dev/sdc1 rw\n"
      "34 28 11:0 / /media/u/CDROM ro,nosuid shared:7 - iso9660 /dev/sr0 ro\n"
      "35 28 11:1 / /media/u/DISC ro,nosuid shared:8 - ext2 /dev/sr1 ro\n"
      "36 28 8:48 / /mnt/back\\134slash rw,relatime shared:10 - xfs /dev/sdd rw\n"
      "37 28 7:3 / /snap/core/17 ro,nodev shared:11 - squashfs /dev/loop3 ro\n"
      "38 28 0:60 / /mnt/cifs rw - cifs //nas/share rw\n"
      "39 28 8:2 / /var/lib/bound rw shared:1 - ext4 /dev/sda2 rw\n"  // the whole disk again
      "40 28 0:70 / /run/user/1000/doc rw - fuse.portal portal rw\n"
      "41 28 252:1 / /var/cache/fast rw - ext4 /dev/zram1 rw\n";
  const FixedRoots found = fixedRoots(text, sys.root());
  EXPECT_EQ(found.roots, (std::vector<std::string>{"/", "/home", "/boot/efi", "/mnt/back\\slash"}));
  EXPECT_EQ(found.mountPoints,
            (std::vector<std::string>{"/proc", "/sys", "/dev", "/mnt/data copy", "/", "/home",
                                      "/boot/efi", "/tmp", "/mnt/nfs", "/media/u/USB STICK",
                                      "/media/u/CDROM", "/media/u/DISC", "/mnt/back\\slash",
                                      "/snap/core/17", "/mnt/cifs", "/var/lib/bound",
                                      "/run/user/1000/doc", "/var/cache/fast"}));
}

TEST(FixedRoots, BindMountsWithoutTheWholeFileSystem) {
  TempTree tree;
  SysFixture sys(tree);
  sys.disk("sdb", "8:16", false);
  sys.partition("sdb", "sdb1", "8:17");
  // No mount shows the whole file system: of two mounts of the same part the shorter mount
  // point stays, a folder inside that part is covered, and a part beside it stays too.
  const std::string text =
      "28 1 254:0 / / rw - ext4 /dev/vda rw\n"
      "50 28 8:17 /data /srv/long/name rw - ext4 /dev/sdb1 rw\n"
      "51 28 8:17 /data /srv rw - ext4 /dev/sdb1 rw\n"
      "52 28 8:17 /data/inner /opt/inner rw - ext4 /dev/sdb1 rw\n"
      "53 28 8:17 /other /other rw - ext4 /dev/sdb1 rw\n";
  EXPECT_EQ(fixedRoots(text, sys.root()).roots, (std::vector<std::string>{"/", "/srv", "/other"}));
}

TEST(FixedRoots, BtrfsSubvolumesAndMappedDevices) {
  TempTree tree;
  SysFixture sys(tree);
  sys.disk("nvme0n1", "259:0", false);
  sys.partition("nvme0n1", "nvme0n1p2", "259:2");
  sys.disk("sdc", "8:32", true);
  sys.partition("sdc", "sdc1", "8:33");
  // An encrypted partition on the USB stick, opened as dm-1, is as removable as the stick.
  sys.mapped("dm-1", "253:1", "sdc1", sys.folderOf("sdc", "sdc1"));
  sys.disk("sda", "8:0", false);
  sys.mapped("dm-0", "253:0", "sda", sys.folderOf("sda"));

  // btrfs reports an anonymous device number; the source's name leads to the disk.
  const std::string text =
      "28 1 0:31 /@ / rw,relatime shared:1 - btrfs /dev/nvme0n1p2 rw,subvol=/@\n"
      "29 28 0:31 /@home /home rw,relatime shared:2 - btrfs /dev/nvme0n1p2 rw,subvol=/@home\n"
      "30 28 0:31 /@/var/lib/x /var/lib/x rw shared:1 - btrfs /dev/nvme0n1p2 rw\n"
      "31 28 253:1 / /media/u/SECRET rw - ext4 /dev/mapper/luks-1234 rw\n"
      "32 28 253:0 / /data rw - ext4 /dev/mapper/vg-data rw\n"
      "33 28 0:40 / /media/u/STICK rw - btrfs /dev/sdc1 rw\n";
  EXPECT_EQ(fixedRoots(text, sys.root()).roots, (std::vector<std::string>{"/", "/home", "/data"}));
}

TEST(FixedRoots, ContainerWithOverlayRoot) {
  TempTree tree;
  SysFixture sys(tree);
  sys.disk("vda", "254:0", false);
  const std::string text =
      "600 500 0:60 / / rw,relatime - overlay overlay rw,lowerdir=/l,upperdir=/u,workdir=/w\n"
      "601 600 0:63 / /proc rw - proc proc rw\n"
      "602 600 0:64 / /dev rw - tmpfs tmpfs rw\n"
      "603 600 254:0 /var/lib/docker/volumes/v/_data /data rw - ext4 /dev/vda rw\n"
      "604 600 0:61 / /var/lib/docker/overlay2/x/merged rw - overlay overlay rw\n"
      "605 600 0:28 / /dev/shm rw - tmpfs shm rw\n"
      "606 600 0:29 / /dev/shm rw - tmpfs shm rw\n";
  const FixedRoots found = fixedRoots(text, sys.root());
  EXPECT_EQ(found.roots, (std::vector<std::string>{"/", "/data"}));
  EXPECT_EQ(found.mountPoints,
            (std::vector<std::string>{"/", "/proc", "/dev", "/data",
                                      "/var/lib/docker/overlay2/x/merged", "/dev/shm"}));
}

TEST(FixedRoots, LaterMountHidesEarlierOneOnTheSamePoint) {
  TempTree tree;
  SysFixture sys(tree);
  sys.disk("sda", "8:0", false);
  sys.partition("sda", "sda1", "8:1");
  sys.disk("sdb", "8:16", false);
  sys.partition("sdb", "sdb1", "8:17");
  const std::string text =
      "28 1 8:1 / / rw - ext4 /dev/sda1 rw\n"
      "29 28 8:17 / /mnt rw - ext4 /dev/sdb1 rw\n"
      "30 29 0:40 / /mnt rw - tmpfs tmpfs rw\n";
  EXPECT_EQ(fixedRoots(text, sys.root()).roots, (std::vector<std::string>{"/"}));
}

// ---- Copying -----------------------------------------------------------------------------

TEST(CopyReplacing, ReplacesTargetKeepingTimeAndMode) {
  TempTree tree;
  const std::string source = tree.write("src/a.txt", "new content");
  const std::string target = tree.write("dst/a.txt", "old content that is longer");
  ::chmod(source.c_str(), 0640);
  setMtime(source, 1'000'000'000, 123'456'789);
  EXPECT_EQ(copyReplacing(source, target), CopyResult::Copied);
  EXPECT_EQ(slurp(target), "new content");
  EXPECT_EQ(mtimeNs(target), mtimeNs(source));
  struct stat st;
  ASSERT_EQ(::stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  EXPECT_EQ(namesIn(tree.path("dst")), (std::vector<std::string>{"a.txt"}));

  // A new target and an empty source.
  const std::string empty = tree.write("src/empty", "");
  EXPECT_EQ(copyReplacing(empty, tree.path("dst/empty")), CopyResult::Copied);
  EXPECT_EQ(slurp(tree.path("dst/empty")), "");
}

TEST(CopyReplacing, NeverOntoItself) {
  TempTree tree;
  const std::string source = tree.write("a/file.bin", "precious");
  ASSERT_EQ(::link(source.c_str(), tree.path("a/hard").c_str()), 0);
  fs::create_symlink(source, tree.path("a/soft"));
  const std::string viaDot = tree.path("a/./file.bin");
  const std::string viaDotDot = tree.path("a/../a/file.bin");
  for (const std::string& target :
       {source, tree.path("a/hard"), viaDot, viaDotDot, tree.path("a/soft")}) {
    EXPECT_EQ(copyReplacing(source, target), CopyResult::SameFile) << target;
    EXPECT_EQ(slurp(source), "precious");
  }
  EXPECT_EQ(copyReplacing(tree.path("a/hard"), source), CopyResult::SameFile);
  EXPECT_EQ(namesIn(tree.path("a")), (std::vector<std::string>{"file.bin", "hard", "soft"}));
}

TEST(CopyReplacing, FailuresLeaveTargetAndFolderAsTheyWere) {
  TempTree tree;
  const std::string source = tree.write("src/a", "data");
  const std::string target = tree.write("dst/a", "old");
  fs::create_directories(tree.path("src/folder"));
  fs::create_directories(tree.path("dst/sub"));
  ASSERT_EQ(::mkfifo(tree.path("src/fifo").c_str(), 0600), 0);

  struct Case {
    std::string source, target;
  } cases[] = {
      {tree.path("src/missing"), target}, {tree.path("src/folder"), target},
      {tree.path("src/fifo"), target},                                     // must not block
      {source, tree.path("nowhere/a")},   {source, tree.path("dst/sub")},  // the target is a folder
      {source, tree.path("dst/a/below")},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(copyReplacing(c.source, c.target), CopyResult::Failed) << c.source << " " << c.target;
    EXPECT_EQ(slurp(target), "old");
    EXPECT_EQ(namesIn(tree.path("dst")), (std::vector<std::string>{"a", "sub"}));
  }
  EXPECT_FALSE(fs::exists(tree.path("nowhere")));

  if (::geteuid() != 0) {  // root writes into read-only folders anyway
    ::chmod(source.c_str(), 0);
    EXPECT_EQ(copyReplacing(source, target), CopyResult::Failed);
    ::chmod(source.c_str(), 0600);
    ::chmod(tree.path("dst").c_str(), 0555);
    EXPECT_EQ(copyReplacing(source, target), CopyResult::Failed);
    ::chmod(tree.path("dst").c_str(), 0755);
    EXPECT_EQ(namesIn(tree.path("dst")), (std::vector<std::string>{"a", "sub"}));
  }
}

TEST(CopyReplacing, FollowsLinkToFileAndReplacesLinkAtTarget) {
  TempTree tree;
  const std::string real = tree.write("src/real", "through the link");
  fs::create_symlink(real, tree.path("src/link"));
  EXPECT_EQ(copyReplacing(tree.path("src/link"), tree.path("dst/copy")), CopyResult::Failed);
  EXPECT_FALSE(fs::exists(tree.path("dst")));
  fs::create_directories(tree.path("dst"));
  EXPECT_EQ(copyReplacing(tree.path("src/link"), tree.path("dst/copy")), CopyResult::Copied);
  EXPECT_EQ(slurp(tree.path("dst/copy")), "through the link");
  EXPECT_FALSE(fs::is_symlink(tree.path("dst/copy")));
}

TEST(CopyReplacing, CancelledCopyRemovesItsTemporaryFile) {
  TempTree tree;
  const std::string source = tree.path("big");
  {
    // Sparse, so the test costs no disk, but long enough for many chunks.
    std::ofstream out(source, std::ios::binary);
    out << "head";
    out.seekp(12 << 20);
    out << "tail";
  }
  const std::string target = tree.write("dst/big", "old");
  std::atomic<bool> cancel{true};
  EXPECT_EQ(copyReplacing(source, target, &cancel), CopyResult::Failed);
  EXPECT_EQ(slurp(target), "old");
  EXPECT_EQ(namesIn(tree.path("dst")), (std::vector<std::string>{"big"}));

  // Cancelled while copying.
  std::atomic<bool> late{false};
  std::thread canceller([&] { late = true; });
  const CopyResult result = copyReplacing(source, target, &late);
  canceller.join();
  EXPECT_NE(result, CopyResult::SameFile);
  if (result == CopyResult::Failed) {
    EXPECT_EQ(slurp(target), "old");
  } else {
    EXPECT_EQ(fs::file_size(target), fs::file_size(source));
  }
  EXPECT_EQ(namesIn(tree.path("dst")), (std::vector<std::string>{"big"}));

  std::atomic<bool> never{false};
  EXPECT_EQ(copyReplacing(source, target, &never), CopyResult::Copied);
  EXPECT_EQ(slurp(target), slurp(source));
}

TEST(CopyReplacing, AcrossFileSystems) {
  TempTree tree;
  struct stat a, b;
  if (::stat("/dev/shm", &a) != 0 || ::stat(tree.path().c_str(), &b) != 0)
    GTEST_SKIP() << "no /dev/shm";
  if (a.st_dev == b.st_dev) GTEST_SKIP() << "/dev/shm is on the same file system";

  std::string content;
  for (int i = 0; i < 300'000; ++i) content += std::to_string(i) + '\n';
  const std::string source = tree.write("src/numbers", content);
  setMtime(source, 1'234'567'890, 5);
  std::string shmFolder = "/dev/shm/quorvel-os-XXXXXX";
  ASSERT_NE(::mkdtemp(shmFolder.data()), nullptr);
  const std::string there = shmFolder + "/numbers";
  EXPECT_EQ(copyReplacing(source, there), CopyResult::Copied);
  EXPECT_EQ(slurp(there), content);
  EXPECT_EQ(mtimeNs(there), mtimeNs(source));
  const std::string back = tree.path("src/back");
  EXPECT_EQ(copyReplacing(there, back), CopyResult::Copied);
  EXPECT_EQ(slurp(back), content);
  fs::remove_all(shmFolder);
}

// ---- Other file operations ---------------------------------------------------------------

TEST(RemoveFile, UnlinksFilesAndLinksOnly) {
  TempTree tree;
  const std::string file = tree.write("f", "x");
  const std::string target = tree.write("target", "kept");
  fs::create_symlink(target, tree.path("link"));
  fs::create_directories(tree.path("folder"));
  fs::create_directory_symlink(tree.path("folder"), tree.path("folderlink"));

  EXPECT_TRUE(removeFile(file));
  EXPECT_FALSE(fs::exists(file));
  EXPECT_TRUE(removeFile(tree.path("link")));
  EXPECT_EQ(slurp(target), "kept");
  EXPECT_TRUE(removeFile(tree.path("folderlink")));
  EXPECT_TRUE(fs::is_directory(tree.path("folder")));
  EXPECT_FALSE(removeFile(tree.path("folder")));
  EXPECT_TRUE(fs::is_directory(tree.path("folder")));
  EXPECT_FALSE(removeFile(tree.path("missing")));
}

TEST(StampOf, DescribesLinksThemselves) {
  TempTree tree;
  const std::string file = tree.write("f", "12345");
  setMtime(file, 1'500'000'000, 42);
  fs::create_symlink(file, tree.path("link"));
  fs::create_symlink(tree.path("nowhere"), tree.path("dangling"));

  const auto f = stampOf(file);
  ASSERT_TRUE(f);
  EXPECT_TRUE(f->regular);
  EXPECT_FALSE(f->link || f->folder);
  EXPECT_EQ(f->size, 5u);
  EXPECT_EQ(f->modifiedNs, 1'500'000'000'000'000'042);
  const auto l = stampOf(tree.path("link"));
  ASSERT_TRUE(l);
  EXPECT_TRUE(l->link);
  EXPECT_FALSE(l->regular);
  EXPECT_NE(l->inode, f->inode);
  EXPECT_TRUE(stampOf(tree.path("dangling")));
  EXPECT_TRUE(stampOf(tree.path())->folder);
  EXPECT_FALSE(stampOf(tree.path("missing")));
}

TEST(ReadAndWriteFile, AtomicReplacement) {
  TempTree tree;
  const std::string path = tree.path("config.ini");
  EXPECT_FALSE(readFile(path));
  EXPECT_FALSE(readFile(tree.path()));
  std::string binary("a\0b\r\n\xff", 6);
  ASSERT_TRUE(writeFileAtomic(path, binary));
  EXPECT_EQ(readFile(path), binary);
  ::chmod(path.c_str(), 0604);
  ASSERT_TRUE(writeFileAtomic(path, "second"));
  EXPECT_EQ(readFile(path), "second");
  struct stat st;
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0604u);

  // A link keeps pointing at the rewritten file.
  fs::create_symlink(path, tree.path("alias.ini"));
  ASSERT_TRUE(writeFileAtomic(tree.path("alias.ini"), "third"));
  EXPECT_TRUE(fs::is_symlink(tree.path("alias.ini")));
  EXPECT_EQ(readFile(path), "third");

  // Failures: a folder in the way, a missing folder. Nothing is left behind.
  fs::create_directories(tree.path("dir"));
  EXPECT_FALSE(writeFileAtomic(tree.path("dir"), "x"));
  EXPECT_FALSE(writeFileAtomic(tree.path("none/x.ini"), "x"));
  EXPECT_EQ(namesIn(tree.path()), (std::vector<std::string>{"alias.ini", "config.ini", "dir"}));

  // A large write survives intact.
  const std::string big(3 << 20, 'q');
  ASSERT_TRUE(writeFileAtomic(path, big));
  EXPECT_EQ(readFile(path), big);
  EXPECT_FALSE(readFile("/proc/self/mountinfo").value_or("").empty());
}

TEST(ProgramFolder, HoldsTheTestProgram) {
  const std::string folder = programFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.front(), '/');
  if (folder != "/") {
    EXPECT_NE(folder.back(), '/');
  }
  EXPECT_TRUE(fs::exists(joinPath(folder, "test_os")));
}

// ---- Desktop -----------------------------------------------------------------------------

TEST(FileUrl, EncodesEveryByteThatCouldBeSyntax) {
  struct Case {
    std::string path, url;
  } cases[] = {
      {"/", "file:///"},
      {"/home/user/a-b_c.d~e", "file:///home/user/a-b_c.d~e"},
      {"/tmp/a b", "file:///tmp/a%20b"},
      {"/tmp/'q\"$(rm -rf)`;&|<>*?#%",
       "file:///tmp/%27q%22%24%28rm%20-rf%29%60%3B%26%7C%3C%3E%2A%3F%23%25"},
      {"/tmp/back\\slash\nnew", "file:///tmp/back%5Cslash%0Anew"},
      {"/tmp/\xe4\xb8\xad\xff", "file:///tmp/%E4%B8%AD%FF"},
      {std::string("/tmp/nul\0x", 10), "file:///tmp/nul%00x"},
      {"/a//b/../c", "file:///a//b/../c"},  // no normalisation
  };
  for (const Case& c : cases) EXPECT_EQ(fileUrl(c.path), c.url) << c.path;

  const std::string here = fs::current_path().string();
  const std::string hereUrl = fileUrl(here);
  const std::string sep = here == "/" ? "" : "/";
  EXPECT_EQ(fileUrl("-rf"), hereUrl + sep + "-rf");
  EXPECT_EQ(fileUrl("./x y"), hereUrl + sep + "./x%20y");
  EXPECT_EQ(fileUrl(""), hereUrl);
}

namespace {

class FakeOpener : public ::testing::Test {
 protected:
  void SetUp() override {
    oldPath_ = std::getenv("PATH") ? std::getenv("PATH") : "";
    record_ = tree_.path("argv");
    const std::string script =
        tree_.write("bin/xdg-open", "#!/bin/sh\nprintf '%s\\0' \"$#\" \"$@\" > '" + record_ +
                                        ".part'\nmv '" + record_ + ".part' '" + record_ + "'\n");
    ::chmod(script.c_str(), 0755);
    ::setenv("PATH", (tree_.path("bin") + ":" + oldPath_).c_str(), 1);
  }
  void TearDown() override { ::setenv("PATH", oldPath_.c_str(), 1); }

  // The recorded arguments, NUL-separated, once the opener has written them.
  std::vector<std::string> recorded() {
    for (int i = 0; i < 1000 && !fs::exists(record_); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::vector<std::string> args;
    const std::string all = slurp(record_);
    std::size_t start = 0;
    for (std::size_t end; (end = all.find('\0', start)) != std::string::npos; start = end + 1)
      args.push_back(all.substr(start, end - start));
    return args;
  }

  // Children of this process that have ended but were never waited for.
  static int zombies() {
    int count = 0;
    std::error_code error;
    for (fs::directory_iterator it("/proc", error), end; !error && it != end; it.increment(error)) {
      const std::string name = it->path().filename().string();
      if (name.find_first_not_of("0123456789") != std::string::npos) continue;
      const std::string stat = slurp(it->path().string() + "/stat");
      const std::size_t paren = stat.rfind(')');
      if (paren == std::string::npos) continue;
      char state = 0;
      int parent = 0;
      if (std::sscanf(stat.c_str() + paren + 1, " %c %d", &state, &parent) == 2 &&
          parent == ::getpid() && state == 'Z')
        ++count;
    }
    return count;
  }

  TempTree tree_;
  std::string record_;
  std::string oldPath_;
};

}  // namespace

TEST_F(FakeOpener, PassesTheUrlAsTheOnlyArgument) {
  const std::string nasty = tree_.path("-n $(touch pwned) 'x\";ls|\n\xff.txt");
  ASSERT_TRUE(openWithDesktop(nasty));
  EXPECT_EQ(recorded(), (std::vector<std::string>{"1", fileUrl(nasty)}));
  EXPECT_FALSE(fs::exists("pwned"));
  EXPECT_FALSE(fs::exists(tree_.path("pwned")));

  int left = zombies();
  for (int i = 0; i < 500 && left > 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    left = zombies();
  }
  EXPECT_EQ(left, 0);
}

TEST_F(FakeOpener, FalseWhenNoOpenerExists) {
  ::setenv("PATH", tree_.path("empty").c_str(), 1);
  EXPECT_FALSE(openWithDesktop("/tmp"));
}
