#include "platform/module.h"

#include <windows.h>

namespace platform {

ModuleHandle FindLoadedModule(const wchar_t* file_name) { return GetModuleHandleW(file_name); }

ModuleHandle LoadModule(const wchar_t* path) { return LoadLibraryW(path); }

void* FindExport(ModuleHandle module, const char* name) {
  if (module == nullptr) return nullptr;
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
}

}  // namespace platform
