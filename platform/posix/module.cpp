#include "platform/module.h"

#include <dlfcn.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/text.h"

namespace platform {
namespace {

struct Search {
  const std::string* file_name;
  std::string found_path;
};

int MatchFileName(struct dl_phdr_info* info, size_t, void* data) {
  auto* search = static_cast<Search*>(data);
  if (info->dlpi_name == nullptr || info->dlpi_name[0] == '\0')
    return 0;
  const char* slash = std::strrchr(info->dlpi_name, '/');
  const char* base = slash != nullptr ? slash + 1 : info->dlpi_name;
  if (*search->file_name != base)
    return 0;
  search->found_path = info->dlpi_name;
  return 1;
}

// Whether the library at `path` is one that only this user or the system could have put there or
// changed, as a library beside a program installed on Windows is: the file (through any link) and
// its folder belong to this user or to root, and nobody else may write to either, except to a
// folder whose sticky bit keeps others from replacing what they do not own.
bool TrustedLibrary(const std::string& path) {
  const uid_t uid = ::getuid();
  char* resolved = ::realpath(path.c_str(), nullptr);
  if (resolved == nullptr)
    return false;
  const std::string file = resolved;
  std::free(resolved);
  struct stat info;
  if (::stat(file.c_str(), &info) != 0 || !S_ISREG(info.st_mode) ||
      (info.st_uid != 0 && info.st_uid != uid) || (info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
    return false;
  }
  const std::string folder = file.substr(0, std::max<std::size_t>(file.rfind('/'), 1));
  if (::stat(folder.c_str(), &info) != 0 || (info.st_uid != 0 && info.st_uid != uid))
    return false;
  return (info.st_mode & (S_IWGRP | S_IWOTH)) == 0 || (info.st_mode & S_ISVTX) != 0;
}

}  // namespace

ModuleHandle FindLoadedModule(const wchar_t* file_name) {
  if (file_name == nullptr || file_name[0] == L'\0')
    return nullptr;
  const std::string name = ToNarrow(file_name);
  Search search{&name, {}};
  if (dl_iterate_phdr(MatchFileName, &search) == 0)
    return nullptr;
  // The library is loaded already; RTLD_NOLOAD hands out a handle to it and never loads.
  return ::dlopen(search.found_path.c_str(), RTLD_NOW | RTLD_NOLOAD);
}

ModuleHandle LoadModule(const wchar_t* path) {
  if (path == nullptr || path[0] != L'/')
    return nullptr;  // a full path, or nothing: no search
  const std::string name = ToNarrow(path);
  if (!TrustedLibrary(name))
    return nullptr;  // as if it were not there
  return ::dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void* FindExport(ModuleHandle module, const char* name) {
  if (module == nullptr || name == nullptr)
    return nullptr;
  return ::dlsym(module, name);
}

std::wstring LoadedModulePath(const void* address) {
  Dl_info info = {};
  if (::dladdr(address, &info) == 0 || info.dli_fname == nullptr)
    return {};
  return ToWide(info.dli_fname);
}

}  // namespace platform
