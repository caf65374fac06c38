# Link-time seams: the services that tests must steer (the clock, the question box, the system
# version, the publisher check and its list) are libraries of their own. A library that uses one
# links it through tidyhand_seam, so that each program links either the real library or the
# stand-in that the program names in its property TIDYHAND_SEAM_<SERVICE>, never both: no test
# branch in production code, and no dependence on the order in which the linker meets them. The
# stand-ins are named targets too (tests/CMakeLists.txt); a test program that defines the service
# in its own sources names `defined_in_test`. docs/design.md lists every seam.
add_library(defined_in_test INTERFACE)

function(tidyhand_seam consumer service real)
  target_link_libraries(${consumer} INTERFACE
    "$<IF:$<BOOL:$<TARGET_PROPERTY:TIDYHAND_SEAM_${service}>>,$<TARGET_PROPERTY:TIDYHAND_SEAM_${service}>,${real}>")
endfunction()
