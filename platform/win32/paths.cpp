#include "platform/paths.h"

#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

namespace platform {

long GetAppDataFolder(wchar_t* folder) {
  return SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder);
}

bool AppendPath(wchar_t* path, const wchar_t* more) {
  return PathAppendW(path, more) != FALSE;
}

bool CombinePath(wchar_t* dest, const wchar_t* dir, const wchar_t* file) {
  return PathCombineW(dest, dir, file) != nullptr;
}

bool RemoveFileSpec(wchar_t* path) {
  return PathRemoveFileSpecW(path) != FALSE;
}

bool PathExists(const wchar_t* path) {
  return PathFileExistsW(path) != FALSE;
}

std::filesystem::path ToFileSystemPath(const wchar_t* path) {
  // Names are wide text here, which the library takes as it is.
  return std::filesystem::path(path != nullptr ? path : L"");
}

const wchar_t* FindTextNoCase(const wchar_t* haystack, const wchar_t* needle) {
  if (haystack == nullptr || needle == nullptr)
    return nullptr;
  return StrStrIW(haystack, needle);
}

}  // namespace platform
