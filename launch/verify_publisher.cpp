#include "launch/verify_publisher.h"

// No signature can be checked yet, so no file is accepted: the launcher fails closed.
std::int32_t VerifyPublisher(const wchar_t* path) {
  (void)path;
  return 0;
}

std::int32_t IsAllowedPublisher(const wchar_t* name) {
  (void)name;
  return 0;
}
