// The OS layer: everything the program asks of the operating system, behind one header. One
// implementation per operating system (posix/ here, win32/ later), chosen in CMake.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel::os {

#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// Joins a folder and a name with one separator, without normalising; a folder that already ends
// in the separator (the root "/") gets none, so "/" + "etc" is "/etc", not "//etc".
std::string joinPath(std::string_view folder, std::string_view name);

// ---- Listing folders -----------------------------------------------------------------------

enum class EntryKind : std::uint8_t {
  File,        // also a link to a file, a dangling link and anything else that is not a folder
  Folder,      // a real folder
  FolderLink,  // a link to a folder: never followed
};

// One folder's entries in directory order, names as raw bytes. Reused between folders so a walk
// allocates almost nothing per folder.
struct Listing {
  struct Entry {
    std::uint32_t offset;  // into names
    std::uint32_t length;
    EntryKind kind;
  };
  std::string names;
  std::vector<Entry> entries;

  std::string_view name(const Entry& e) const { return {names.data() + e.offset, e.length}; }
  void clear() {
    names.clear();
    entries.clear();
  }
};

// An open folder for walking. Children open relative to their parent, so a walk reaches any depth
// and any path length; the walker may close a folder and reopen it later through a child.
class Folder {
 public:
  Folder() = default;
  ~Folder();
  Folder(Folder&& other) noexcept;
  Folder& operator=(Folder&& other) noexcept;
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;

  static Folder open(const std::string& path);    // invalid when the folder cannot be opened
  Folder openChild(std::string_view name) const;  // never follows a link
  Folder openParent() const;                      // the folder's ".."
  bool valid() const { return handle_ >= 0; }
  void close();

  // Replaces out with every entry of the folder, "." and ".." included, in directory order.
  // False when the folder cannot be read; entries read before an error are kept.
  bool read(Listing& out) const;

 private:
  explicit Folder(int handle) : handle_(handle) {}
  int handle_ = -1;
  mutable bool readBefore_ = false;
};

// ---- Fixed local disks ---------------------------------------------------------------------

struct MountEntry {
  std::string mountPoint;  // unescaped
  std::string root;        // the part of the file system mounted there ("/" for the whole)
  std::string fsType;
  std::string source;
  unsigned major = 0;
  unsigned minor = 0;
};

// Parses /proc/self/mountinfo text; malformed lines are skipped.
std::vector<MountEntry> parseMountInfo(std::string_view text);

struct FixedRoots {
  // One folder per mounted local disk file system, in mount order: what a whole-computer search
  // walks.
  std::vector<std::string> roots;
  // Every mount point of the system: a whole-computer walk never enters one of them (each disk
  // is walked once, from its own root, and pseudo, network and removable file systems never).
  std::vector<std::string> mountPoints;
};

// sysRoot is where sysfs is mounted ("/sys"); tests give a fixture folder instead.
FixedRoots fixedRoots(std::string_view mountInfoText, const std::string& sysRoot = "/sys");
FixedRoots fixedRoots();  // from this machine's /proc/self/mountinfo and /sys

// ---- Files ---------------------------------------------------------------------------------

enum class CopyResult {
  Copied,
  SameFile,  // source and target are the same file: nothing was done
  Failed,    // the old target, if any, is left as it was, and no partial file remains
};

// Copies source to target, replacing a file already there. The data goes into a temporary file
// beside the target, which is renamed over it at the end; the modification time is kept. A set
// cancel flag interrupts a long copy (Failed).
CopyResult copyReplacing(const std::string& source, const std::string& target,
                         const std::atomic<bool>* cancel = nullptr);

// Removes one file or link (never a folder, never a link's target). False when it failed.
bool removeFile(const std::string& path);

struct FileStamp {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::uint64_t size = 0;
  std::int64_t modifiedNs = 0;
  bool regular = false;  // a regular file (a link is described itself, not its target)
  bool link = false;
  bool folder = false;
};
std::optional<FileStamp> stampOf(const std::string& path);  // lstat-like: links not followed

std::optional<std::string> readFile(const std::string& path);
// Writes the whole file through a temporary file beside it and a rename, so the old content
// stays whole when the write fails midway.
bool writeFileAtomic(const std::string& path, std::string_view bytes);

// The folder that holds the program file, without a trailing separator except for the root
// itself ("/"); "." when the program file cannot be found.
std::string programFolder();

// ---- Desktop -------------------------------------------------------------------------------

// A file: URL for the path (made absolute against the working folder), every byte outside the
// unreserved set percent-encoded, so no byte of a name is ever read as syntax. Empty when a
// relative path meets a working folder that cannot be found.
std::string fileUrl(std::string_view path);

// Opens a file or folder with the desktop's default application, passed as an argument vector
// (never through a shell command line). Does not wait for the application. False when nothing
// could be started.
bool openWithDesktop(std::string_view path);

}  // namespace quorvel::os
