// The file layer: every file and directory service the system needs, with one contract for
// Windows (platform/win32) and POSIX (platform/posix).
//
// Paths are UTF-8 text with "\" as separator. The Windows side converts them to UTF-16 and calls
// the wide API. The POSIX side turns "\" into "/" on the way in and "/" into "\" in the paths it
// reports (CurrentDirectory, ExecutablePath, ExpandFileName).
//
// Every failing call records the operation, the path and the OS error code (GetLastError or
// errno) in LastError() of the calling thread, for the caller to turn into the exception or
// result it expects. A path with a NUL byte in it is refused as an invalid name.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// ---- Errors ---------------------------------------------------------------------------------

struct OsError {
  std::string operation;  // "open", "read", "set attributes", ...
  std::string path;       // the path as the caller gave it; empty for handle operations
  int code = 0;           // GetLastError() on Windows, errno on POSIX
};

// The failure most recently recorded on this thread.
const OsError& LastError();
// The system's own text for an OS error code, without a trailing full stop or line break;
// "Unknown error <code>" when the system has none.
std::string SystemErrorText(int code);
// A path of the system's internal form ("\" separators) as this system shows paths to a person:
// with "/" on POSIX, unchanged on Windows.
std::string DisplayPath(const std::string& path);

// ---- Open modes -----------------------------------------------------------------------------
// A 16-bit value: the low two bits give the access, bits 4 to 7 the sharing, and kOpenNoLinks
// and kOpenAppend may be added. With kOpenAppend every write goes to the file's end in one step,
// whatever others append meanwhile (O_APPEND; FILE_APPEND_DATA in place of write access).
// kOpenCreate stands alone: read and write, no sharing, an existing regular file truncated, a
// missing one created.
//
// kOpenCreate and kOpenNoLinks never follow a final link and open nothing but a regular file:
// a link there (a symbolic link, dangling or not; on Windows any reparse point: a junction, a
// mount point, a symbolic link) fails with ELOOP / ERROR_CANT_ACCESS_FILE, a directory with
// EISDIR / ERROR_ACCESS_DENIED, and a FIFO, a device or a socket with ENXIO /
// ERROR_BAD_FILE_TYPE, so nothing is written through a link and no open waits on a FIFO.
// (LinkFreeKind tells the caller what was in the way.) The directories above the final name
// are followed as the system follows them.
//
// On POSIX there are no sharing modes: the sharing part has no effect there (another process may
// always open the file). Only the access part and create-versus-existing are honoured. A created
// file gets the permissions 0666 less the umask; no file is inherited by a child process.
// An access part of 3 or a sharing part above 0x40 is refused on both (an invalid-parameter error).
enum : uint16_t {
  kOpenRead = 0x0000,
  kOpenWrite = 0x0001,
  kOpenReadWrite = 0x0002,
  kShareExclusive = 0x0010,
  kShareDenyWrite = 0x0020,
  kShareDenyRead = 0x0030,
  kShareDenyNone = 0x0040,
  kOpenNoLinks = 0x0100,
  kOpenAppend = 0x0200,
  kOpenCreate = 0xFFFF,
};

// ---- Open files -----------------------------------------------------------------------------

// An open file handle; closed by the destructor. Movable, not copyable.
class File {
 public:
  File() = default;
  ~File();
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Opens `path` with one of the modes above; an invalid (not IsOpen) File on failure, with the
  // operation recorded as "create" for kOpenCreate and "open" otherwise. Every mode but
  // kOpenCreate needs an existing file. A directory cannot be opened.
  static File Open(const std::string& path, uint16_t mode);
  // Creates `path` as a new file for writing, in one step: it fails when anything is there
  // already, a link too (which is never followed), so nothing is overwritten and nothing is
  // written elsewhere. With `ownerOnly`, only the file's owner may read or write it from the
  // start (mode 0600 on POSIX; on Windows the file takes the directory's inherited rights).
  static File CreateNew(const std::string& path, bool ownerOnly);

  bool IsOpen() const;
  void Close();

  // The operations below fail (-1 or false) on a File that is not open.
  // Bytes transferred, or -1 on failure; a count of 0 or less transfers nothing and returns 0.
  // A short read means the end of the file.
  [[nodiscard]] int32_t Read(void* buffer, int32_t count);
  [[nodiscard]] int32_t Write(const void* buffer, int32_t count);
  // Origin 0 from the start, 1 from the current position, 2 from the end. Returns the new
  // position, or -1 on failure (a negative target fails and does not move).
  [[nodiscard]] int64_t Seek(int64_t offset, int origin);
  // The file's size in bytes, or -1 on failure.
  int64_t Size();
  // Cuts or extends (with zero bytes) the file at the current position.
  [[nodiscard]] bool SetEndOfFile();
  // Asks the OS to write the file's data to disk (FlushFileBuffers / fsync).
  [[nodiscard]] bool FlushToDisk();
  // Sets the last-write time only, from a DOS date (high half) and time (low half) in local
  // time; creation and access times are left alone. Fails, changing nothing, when the fields do
  // not form a real date and time (month 0, 31 February, hour 24, 60 seconds, ...). Needs write
  // access on Windows.
  [[nodiscard]] bool SetLastWriteDosTime(uint32_t dosDateTime);
  // The last-write time as a local DOS date/time, or -1 (see FileDosDateTime). Needs read
  // access on Windows.
  int32_t LastWriteDosTime();

  // Which file this is and how it stands: false when the system cannot say (recorded).
  [[nodiscard]] bool ReadStamp(struct FileStamp* stamp);

  // The OS handle (a HANDLE on Windows, a file descriptor on POSIX), as an integer.
  intptr_t NativeHandle() const { return handle_; }

 private:
  explicit File(intptr_t handle) : handle_(handle) {}
  intptr_t handle_ = kInvalid;
  static constexpr intptr_t kInvalid = -1;
};

// Which file an open handle holds (Volume and Index: the device and inode number on POSIX, the
// volume serial number and file index on Windows) and its size and last-write time, in the
// system's finest unit. Two stamps with the same Volume and Index are one file; a file whose
// Size or WriteTime changed between two stamps was written meanwhile.
struct FileStamp {
  uint64_t Volume = 0;
  uint64_t Index = 0;
  int64_t Size = -1;
  int64_t WriteTime = 0;
  bool SameFileAs(const FileStamp& other) const {
    return Volume == other.Volume && Index == other.Index;
  }
  bool operator==(const FileStamp&) const = default;
};

// ---- What a name is, links not followed ------------------------------------------------------
enum class PathKind {
  kMissing,    // no such name: ENOENT or ENOTDIR; ERROR_FILE_NOT_FOUND or ERROR_PATH_NOT_FOUND
  kFile,       // a regular file
  kDirectory,  // a directory
  kLink,       // a symbolic link (dangling or not); on Windows any reparse point: a junction, a
               // mount point, a symbolic link
  kSpecial,    // a FIFO, a device, a socket
  kUnknown,    // the system could not say (no right to look, a name too long, ...): recorded
};
// What `path` names, without following a final link. Only kMissing means that nothing is there.
// Final separators are taken off first: "dir\" is what "dir" is, a link too.
PathKind LinkFreeKind(const std::string& path);
// What `path` names after following links: kMissing also for a dangling link, kUnknown for a
// loop of links (recorded).
PathKind KindOfPath(const std::string& path);
// The kind in words for a person: "a regular file", "a directory", "a link", ...
const char* PathKindText(PathKind kind);
// What `path` names, links not followed, in words for a person: PathKindText(LinkFreeKind),
// except that a special file is named for what it is ("a FIFO", "a device", "a socket").
std::string LinkFreeKindText(const std::string& path);

// ---- Names and attributes -------------------------------------------------------------------
// DOS attribute bits as Windows reports them.
enum : uint32_t {
  kAttrReadOnly = 0x01,
  kAttrHidden = 0x02,
  kAttrSystem = 0x04,
  kAttrDirectory = 0x10,
  kAttrArchive = 0x20,
  kAttrNormal = 0x80,
};
constexpr uint32_t kInvalidAttributes = 0xFFFFFFFF;

// GetFileAttributes: kInvalidAttributes when the name does not exist.
// POSIX mapping: a directory reports kAttrDirectory, any other file kAttrArchive plus
// kAttrReadOnly when its owner has no write permission. Symbolic links are followed.
uint32_t ReadAttributes(const std::string& path);
// SetFileAttributes with the value unchanged: 0, or the OS error code.
// POSIX mapping: on a file that is not a directory, kAttrReadOnly set removes every write
// permission (owner, group, other); clear, it gives the owner write permission back. A
// directory keeps its permissions, as the read-only attribute of a Windows directory does not
// stop files being created in it. The other bits have no POSIX counterpart and are ignored.
// The setters below never change a link's target: a link at `path` (a final separator does not
// make it followed) fails with ELOOP / ERROR_CANT_ACCESS_FILE and changes nothing.
[[nodiscard]] int WriteAttributes(const std::string& path, uint32_t attributes);

// Gives `path` the permission bits of `mode` (read, write and execute for owner, group and
// other; setuid, setgid, sticky and the file type are dropped). A directory keeps its owner's
// read, write and search permission whatever `mode` says, as later files must be written into
// it. 0, or the OS error code. Windows has no such bits: it does nothing and returns 0.
[[nodiscard]] int WritePermissions(const std::string& path, uint32_t mode);
// WriteAttributes and then, when `permissions` is not negative, WritePermissions, as one step:
// POSIX looks at the file once and changes its mode at most once. 0, or the OS error code.
[[nodiscard]] int WriteAttributesAndPermissions(const std::string& path, uint32_t attributes,
                                                int32_t permissions);
// The permission bits (07777) of `path`, or -1 when it does not exist; always -1 on Windows.
int32_t ReadPermissions(const std::string& path);

// True when one path component is a name the file system would not store as a plain file or
// directory of that name. Windows: the device names (CON, PRN, AUX, NUL, COM1-9, LPT1-9,
// CONIN$, CONOUT$), also with an extension; a name ending in a dot or a space; a name holding
// ":" (a stream name). POSIX: none.
bool IsReservedFileName(const std::string& component);

// The last-write time of a file (not a directory) as a local DOS date (high half) and time (low
// half); -1 when the name does not exist, names a directory or the time cannot be converted
// (years before 1980 or after 2107).
int32_t FileDosDateTime(const std::string& path);

// True when `a` and `b` both exist and name one file (the same device and file number on
// POSIX, the same volume and file index on Windows), whatever their spelling or letter case.
bool SameFile(const std::string& a, const std::string& b);

// ---- Directories and moves ------------------------------------------------------------------

// Creates one directory; its parent must exist, the directory itself must not.
[[nodiscard]] bool MakeDirectory(const std::string& path);
// Removes an empty directory. (Not RemoveDirectory: <windows.h> defines that name as a macro.)
[[nodiscard]] bool DeleteDirectory(const std::string& path);
// Deletes a file. Windows refuses a read-only file; POSIX does not look at the permissions of
// the file itself. A link is deleted itself, whatever it leads to (on Windows a junction or a
// link to a directory too); its target is left alone.
[[nodiscard]] bool RemoveFile(const std::string& path);
// Makes the entries of a directory (names created, renamed or removed in it) durable: fsync of
// the directory on POSIX; on Windows the file system's own journal does this, and it returns true.
[[nodiscard]] bool FlushDirectory(const std::string& path);
// Renames a file or directory; fails when `to` exists (MoveFile semantics). A link is renamed
// itself. Both must be on one volume: a move to another file system or volume fails on both
// systems (nothing is copied).
[[nodiscard]] bool RenameFile(const std::string& from, const std::string& to);
// Renames `from` to `to`, replacing an existing `to` in one step: a reader sees the old file or
// the new one, never neither (rename on POSIX, MoveFileEx with replace and write-through on
// Windows). Both must be on one volume.
[[nodiscard]] bool ReplaceFileAtomically(const std::string& from, const std::string& to);
[[nodiscard]] bool ChangeDirectory(const std::string& path);
// The current directory; empty when it cannot be determined.
std::string CurrentDirectory();
// The full path of the running executable; empty when it cannot be determined.
std::string ExecutablePath();
// The absolute form of `path` (relative to the current directory), with "." and ".." resolved
// textually and a final separator kept; empty for an empty path or when it cannot be formed.
std::string ExpandFileName(const std::string& path);

// ---- Many files made durable at once ---------------------------------------------------------
// Files written one after another are made durable by one call where the system offers it.

// Whether a file's data reach the disk only through its own FlushToDisk: true on Windows, which
// offers a user no flush of a whole volume; false on POSIX, where FileSystemFlush does it.
bool FilesNeedFlushEach();

// Watches the file system that holds `path` (an existing file or directory) from its
// construction on. Flush makes everything written there durable: the data of every file and
// every name created, renamed or removed (syncfs on POSIX), and fails when the write-back of any
// of it failed since the construction (Linux 5.8 and later report such failures). On Windows,
// where FilesNeedFlushEach() is true, Flush writes nothing and returns true: the files were
// flushed each. Flush counts as a flush for the injected failures (platform/injected_faults.h).
// Movable, not copyable.
class FileSystemFlush {
 public:
  explicit FileSystemFlush(const std::string& path);
  ~FileSystemFlush();
  FileSystemFlush(FileSystemFlush&& other) noexcept;
  FileSystemFlush& operator=(FileSystemFlush&& other) noexcept;
  FileSystemFlush(const FileSystemFlush&) = delete;
  FileSystemFlush& operator=(const FileSystemFlush&) = delete;

  [[nodiscard]] bool Flush();

 private:
  std::string path_;
  intptr_t handle_ = -1;  // a descriptor on POSIX; unused on Windows
  int openError_ = 0;     // why the watch could not begin
};

// ---- Drives ---------------------------------------------------------------------------------
// Values of GetDriveType.
enum class DriveKind : int {
  kUnknown = 0,
  kNoRootDir = 1,
  kRemovable = 2,
  kFixed = 3,
  kRemote = 4,
  kCdRom = 5,
  kRamDisk = 6,
};
// The kind of drive that holds `rootPath` (such as "A:\"; empty means the current directory's).
// POSIX has no drive letters: every existing path is reported as kFixed, a missing one as
// kNoRootDir.
DriveKind DriveKindOf(const std::string& rootPath);
// The volume label of `rootPath`, at most 13 characters; empty when there is none or the query
// fails. POSIX reports no label (empty).
std::string VolumeLabel(const std::string& rootPath);

// ---- Room and rights of a volume ------------------------------------------------------------
// The bytes this user may still write on the volume that holds `path` (an existing file or
// directory), or -1 with the failure recorded (statvfs on POSIX, GetDiskFreeSpaceEx on Windows).
int64_t FreeDiskSpace(const std::string& path);
// The allocation unit in bytes of the volume that holds `path` (an existing file or directory):
// the least room a file of one byte takes there. -1 with the failure recorded (statvfs's
// fragment size on POSIX, the cluster of GetDiskFreeSpace on the volume's root on Windows).
int64_t VolumeClusterSize(const std::string& path);
// True when `path` lies in a place that only an administrator may change: the Program Files
// directories or the Windows directory. Always false on POSIX, which has no such places.
bool IsUnderProtectedLocation(const std::string& path);
// True when the volume that holds `path` has a FAT or exFAT file system, which keeps no order
// among the metadata writes it has not flushed (statfs's type on POSIX, the file system's name
// from GetVolumeInformation on Windows); false when it has another or it cannot be told.
bool IsOnFatVolume(const std::string& path);

}  // namespace platform
