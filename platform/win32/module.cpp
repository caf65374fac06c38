#include "platform/module.h"

#include <windows.h>

namespace platform {

ModuleHandle FindLoadedModule(const wchar_t* file_name) {
  return GetModuleHandleW(file_name);
}

ModuleHandle LoadModule(const wchar_t* path) {
  return LoadLibraryW(path);
}

void* FindExport(ModuleHandle module, const char* name) {
  if (module == nullptr)
    return nullptr;
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
}

std::wstring LoadedModulePath(const void* address) {
  HMODULE module = nullptr;
  if (!GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          static_cast<LPCWSTR>(address), &module)) {
    return {};
  }
  wchar_t path[32768];
  const DWORD length = GetModuleFileNameW(module, path, 32768);
  return length == 0 || length >= 32768 ? std::wstring() : std::wstring(path, length);
}

}  // namespace platform
