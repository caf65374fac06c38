# The certificates and keys that the tests, the benchmark and the fuzzer's seeds are signed with,
# made at run time: one library for all of them.
if(NOT TARGET test_certificates)
  add_library(test_certificates STATIC ${CMAKE_CURRENT_LIST_DIR}/certificates.cpp)
  target_include_directories(test_certificates PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(test_certificates PUBLIC OpenSSL::Crypto)
endif()
