// File, directory, drive and message-pump routines of the archive component, on the platform
// layer. Paths use "\" as separator.
#pragma once

#include <cstdint>
#include <string>

// The file's attributes; 0xFFFFFFFF (-1) when it does not exist.
uint32_t FileGetAttr(const std::string& fileName);
// Sets the attributes to `attributes` unchanged; 0 or the system's error code.
int FileSetAttr(const std::string& fileName, uint32_t attributes);
// The file's last-write time as a local DOS date/time; -1 for a missing name, a directory, or a
// time that does not convert.
int32_t FileAge(const std::string& fileName);
// Attributes readable and the directory bit clear / set.
bool FileExists(const std::string& fileName);
bool DirectoryExists(const std::string& path);
// Whether the process can make `path` its current directory; the current directory is changed for
// the test and changed back.
bool CanChangeToDir(const std::string& path);
// Creates `path` and every missing parent; "/" separates as "\" does. An empty path raises
// EInOutError "Unable to create directory" (code 3). Existing directories, drive roots ("C:",
// "C:\", "\") and the current directory count as present. True when everything needed was
// created.
bool ForceDirectories(const std::string& path);
// Deletes a file; true when it succeeded.
bool FileDelete(const std::string& fileName);
// The drive of `rootPath` is removable or a CD drive.
bool IsRemovableDrive(const std::string& rootPath);
// The volume label of `rootPath` (at most 13 characters); empty when it has none or the query
// fails.
std::string GetVolumeLabel(const std::string& rootPath);
// Dispatches waiting window messages through the application's pump; true when a quit request
// was met (left for the application's loop). Without a window nothing is pumped.
bool PumpWaitingMessages();
