// Folders and paths: the user's application-data folder and the fixed-size path buffers that the
// program fills in place.
#pragma once

#include <cstddef>
#include <filesystem>

namespace platform {

// The classic path limit. Every path buffer of the program holds this many wide characters,
// terminator included.
inline constexpr std::size_t kMaxPath = 260;

// Writes the current user's roaming application-data folder into `folder` (kMaxPath characters).
// Returns a non-negative value on success and a negative one on failure; on failure `folder` is
// left as it was.
long GetAppDataFolder(wchar_t* folder);

// Appends `more` to the path in `path` (kMaxPath characters), with one separator between them.
// Relative parts are written with backslashes, as the program's fixed names are; they name the same
// folders on every platform. Returns false and leaves `path` unchanged when the result would not fit.
bool AppendPath(wchar_t* path, const wchar_t* more);

// Writes `dir` joined with `file` into `dest` (kMaxPath characters); `dest` may be the same buffer
// as `dir`. An absolute `file` stands alone. Returns false and empties `dest` when the result would
// not fit.
bool CombinePath(wchar_t* dest, const wchar_t* dir, const wchar_t* file);

// Removes the last component (and its separator) from `path` in place. Returns true when something
// was removed.
bool RemoveFileSpec(wchar_t* path);

// True when a file or folder exists at `path`.
bool PathExists(const wchar_t* path);

// `path` (may be null) as the standard library's path, naming the very same file whatever the
// locale: no conversion of the library's own, which may fail or pick another name, stands between.
std::filesystem::path ToFileSystemPath(const wchar_t* path);

// Case-insensitive search for `needle` in `haystack`. Returns the first match, or null.
const wchar_t* FindTextNoCase(const wchar_t* haystack, const wchar_t* needle);

}  // namespace platform
