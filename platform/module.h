// Shared libraries loaded at run time.
#pragma once

#include <string>

namespace platform {

// The calling convention of the exports the program calls in libraries it loads: the platform's
// standard one, in which the callee removes its arguments from the stack.
#if defined(_WIN32) && !defined(_WIN64)
#define PLATFORM_STDCALL __stdcall
#else
#define PLATFORM_STDCALL
#endif

// Marks a function that a shared library exports under its plain, unmangled name.
#if defined(_WIN32)
#define PLATFORM_EXPORT __declspec(dllexport)
#else
#define PLATFORM_EXPORT __attribute__((visibility("default")))
#endif

using ModuleHandle = void*;

// A library already loaded in the process whose file name is `file_name` (no folder), or null.
// Never loads anything.
ModuleHandle FindLoadedModule(const wchar_t* file_name);

// Loads the library at the full path `path`, or returns null. Only that file is considered: the
// library is never searched for. Where a folder's files may belong to anyone, a library that
// someone but the user or the system could have put there or changed is not loaded either.
ModuleHandle LoadModule(const wchar_t* path);

// The address of the export `name` of `module`, or null when it has none.
void* FindExport(ModuleHandle module, const char* name);

// The full path of the loaded program or library that holds `address`, or empty.
std::wstring LoadedModulePath(const void* address);

}  // namespace platform
