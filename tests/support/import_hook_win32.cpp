#include <windows.h>

#include <cstring>

#include "tests/support/import_hook_win32.h"

namespace testing_support {
namespace {

// The import-address slot of `function` in the running program, found through its import
// directory by name.
void** FindImportSlot(const char* function) {
  auto* base = reinterpret_cast<unsigned char*>(GetModuleHandleW(nullptr));
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (directory.VirtualAddress == 0)
    return nullptr;
  for (auto* module = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
       module->Name != 0; ++module) {
    auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + module->FirstThunk);
    const auto* names = reinterpret_cast<const IMAGE_THUNK_DATA*>(
        base + (module->OriginalFirstThunk != 0 ? module->OriginalFirstThunk : module->FirstThunk));
    for (; names->u1.AddressOfData != 0; ++names, ++slots) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
        continue;
      const auto* named = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
      if (std::strcmp(reinterpret_cast<const char*>(named->Name), function) == 0)
        return reinterpret_cast<void**>(&slots->u1.Function);
    }
  }
  return nullptr;
}

void Store(void** slot, void* value) {
  DWORD old = 0;
  VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &old);
  *slot = value;
  VirtualProtect(slot, sizeof *slot, old, &old);
}

}  // namespace

ImportHook::ImportHook(const char* function, void* replacement) : slot_(FindImportSlot(function)) {
  if (slot_ == nullptr)
    return;
  original_ = *slot_;
  Store(slot_, replacement);
}

ImportHook::~ImportHook() {
  if (slot_ != nullptr)
    Store(slot_, original_);
}

}  // namespace testing_support
