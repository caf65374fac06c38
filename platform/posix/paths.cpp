#include "platform/paths.h"

#include <sys/stat.h>

#include <cstdlib>
#include <cwchar>
#include <cwctype>
#include <string>

#include "platform/text.h"

namespace platform {
namespace {

constexpr wchar_t kSeparator = L'/';

// A relative part written with backslashes, in this platform's separator.
std::wstring NativeRelative(const wchar_t* part) {
  std::wstring native(part);
  for (wchar_t& c : native) {
    if (c == L'\\')
      c = kSeparator;
  }
  return native;
}

bool CopyIfFits(wchar_t* dest, const std::wstring& text) {
  if (text.size() >= kMaxPath)
    return false;
  std::wmemcpy(dest, text.c_str(), text.size() + 1);
  return true;
}

std::wstring Join(const wchar_t* base, const wchar_t* more) {
  std::wstring joined(base);
  std::wstring tail = NativeRelative(more);
  std::size_t skip = 0;
  while (skip < tail.size() && tail[skip] == kSeparator)
    ++skip;
  tail.erase(0, skip);
  if (!joined.empty() && joined.back() != kSeparator && !tail.empty())
    joined += kSeparator;
  joined += tail;
  return joined;
}

}  // namespace

long GetAppDataFolder(wchar_t* folder) {
  // The user's configuration folder as the desktop defines it: $XDG_CONFIG_HOME when it names an
  // absolute path, else ~/.config.
  std::string found;
  const char* config_home = std::getenv("XDG_CONFIG_HOME");
  const char* home = std::getenv("HOME");
  if (config_home != nullptr && config_home[0] == '/') {
    found = config_home;
  } else if (home != nullptr && home[0] == '/') {
    found = home;
    if (found.back() != '/')
      found += '/';
    found += ".config";
  } else {
    return -1;
  }
  while (found.size() > 1 && found.back() == '/')
    found.pop_back();
  const std::wstring wide = ToWide(found);
  if (!CopyIfFits(folder, wide))
    return -1;
  return 0;
}

bool AppendPath(wchar_t* path, const wchar_t* more) {
  if (path == nullptr || more == nullptr)
    return false;
  return CopyIfFits(path, Join(path, more));
}

bool CombinePath(wchar_t* dest, const wchar_t* dir, const wchar_t* file) {
  if (dest == nullptr)
    return false;
  std::wstring combined;
  if (file != nullptr && file[0] == kSeparator) {
    combined = file;
  } else {
    combined = Join(dir != nullptr ? dir : L"", file != nullptr ? file : L"");
  }
  if (!CopyIfFits(dest, combined)) {
    dest[0] = L'\0';
    return false;
  }
  return true;
}

bool RemoveFileSpec(wchar_t* path) {
  if (path == nullptr || path[0] == L'\0')
    return false;
  wchar_t* last = std::wcsrchr(path, kSeparator);
  if (last == nullptr) {
    path[0] = L'\0';
    return true;
  }
  if (last == path) {
    // The root stays.
    if (path[1] == L'\0')
      return false;
    path[1] = L'\0';
    return true;
  }
  *last = L'\0';
  return true;
}

bool PathExists(const wchar_t* path) {
  if (path == nullptr || path[0] == L'\0')
    return false;
  struct stat info;
  return ::stat(ToNarrow(path).c_str(), &info) == 0;
}

std::filesystem::path ToFileSystemPath(const wchar_t* path) {
  // The path's own bytes: the library takes narrow names here as they are.
  return std::filesystem::path(ToNarrow(path));
}

const wchar_t* FindTextNoCase(const wchar_t* haystack, const wchar_t* needle) {
  if (haystack == nullptr || needle == nullptr)
    return nullptr;
  if (needle[0] == L'\0')
    return haystack;
  for (const wchar_t* start = haystack; *start != L'\0'; ++start) {
    std::size_t i = 0;
    while (needle[i] != L'\0' && start[i] != L'\0' &&
           std::towlower(static_cast<wint_t>(start[i])) == std::towlower(static_cast<wint_t>(needle[i]))) {
      ++i;
    }
    if (needle[i] == L'\0')
      return start;
  }
  return nullptr;
}

}  // namespace platform
