#pragma once
// File-system helpers every part of the tool uses. Paths are absolute UTF-8
// strings; nothing here changes the process's current directory, prints or
// throws. Files are written whole: a temporary file in the same folder is
// filled, flushed to the disk and renamed over the target, so a reader sees
// either the old file or the complete new one.

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavro::data {

enum class ReadError {
  kNone,
  kCannotOpen,  // missing, a folder, or no permission
  kReadFailed,  // opened but the read did not complete
};

// The whole content of a regular file; nullopt (and the reason in `why` when
// given) when it cannot be opened or read.
std::optional<std::vector<std::uint8_t>> ReadWholeFile(const std::string& path,
                                                       ReadError* why = nullptr);

// Replaces or creates `path` with exactly `bytes`. Returns false, leaving the
// old file (if any) untouched and no temporary behind, when any step fails.
// An existing file keeps its permission bits.
bool WriteFileAtomic(const std::string& path, const std::vector<std::uint8_t>& bytes);

// True when a file or folder exists at `path`.
// Opens `path` for writing (binary) only if this call creates it: nullptr
// with errno EEXIST when the file is there already, so two processes never
// share one name.
std::FILE* CreateNewFile(const std::string& path);

bool FileExists(const std::string& path);
// True only for a folder.
bool FolderExists(const std::string& path);
// Length of a regular file; nullopt when it is missing or not a regular file.
std::optional<std::uint64_t> FileSize(const std::string& path);

// Names (not paths) of the regular files in `folder` whose names match
// `pattern`: '*' any run of characters, '?' exactly one, letters compared
// without regard to ASCII case, "*.*" everything (the desktop convention).
// Sub-folders are not listed. The order is stable: names sorted without
// regard to case, ties broken byte-wise, so "first match" means the same on
// every machine. A missing folder gives an empty list.
std::vector<std::string> ListFiles(const std::string& folder, const std::string& pattern);
// The matching rule of ListFiles, for one name.
bool WildcardMatch(const std::string& pattern, const std::string& name);

// True when `name` names a file inside whatever folder it is joined to: not
// empty, not "." or "..", and without '/', '\\' or a zero byte. Names taken
// from data files are checked with it before they become paths.
bool IsPlainFileName(std::string_view name);

// Creates one folder; an existing folder counts as success, an existing file
// of that name or a missing parent as failure.
bool CreateFolder(const std::string& path);
// Creates the folder with every missing level above it.
bool CreateFolders(const std::string& path);
// Removes a folder with all its content, silently. An empty path or a root
// folder is refused. Returns true when nothing is left at `path`.
bool DeleteTree(const std::string& folder);
// Deletes one file; a missing file counts as success.
bool RemoveFile(const std::string& path);
// Copies `from` over `to` (written whole, as WriteFileAtomic does).
bool CopyFileOverwrite(const std::string& from, const std::string& to);

}  // namespace tavro::data
