// Stands in for one of the system's functions in this test program's own import table, so that a
// test can see each call the program makes to it.
#pragma once

namespace testing_support {

// While the object lives, every call this program (its own code, not the system's libraries)
// makes to the imported `function` goes to `replacement` instead. `original()` is the system's.
class ImportHook {
 public:
  ImportHook(const char* function, void* replacement);
  ~ImportHook();
  ImportHook(const ImportHook&) = delete;
  ImportHook& operator=(const ImportHook&) = delete;
  void* original() const { return original_; }
  bool installed() const { return slot_ != nullptr; }

 private:
  void** slot_ = nullptr;
  void* original_ = nullptr;
};

}  // namespace testing_support
