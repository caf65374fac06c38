# The project's warnings, given to each of its own targets and to nothing else: third-party code
# built in this tree (GoogleTest from its sources, for Windows) is compiled with its own flags.
# Warnings stop the build when TIDYHAND_WARNINGS_AS_ERRORS is on, as the presets and CI have it.
option(TIDYHAND_WARNINGS_AS_ERRORS "Treat the project's warnings as errors" OFF)

function(tidyhand_warnings target)
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY" OR type STREQUAL "UTILITY")
    return()
  endif()
  target_compile_options(${target} PRIVATE -Wall -Wextra $<$<BOOL:${TIDYHAND_WARNINGS_AS_ERRORS}>:-Werror>)
endfunction()

# Gives the warnings to every target defined in `directory` and the project's folders below it.
function(tidyhand_warnings_in directory)
  get_property(targets DIRECTORY ${directory} PROPERTY BUILDSYSTEM_TARGETS)
  foreach(target IN LISTS targets)
    tidyhand_warnings(${target})
  endforeach()
  get_property(subdirectories DIRECTORY ${directory} PROPERTY SUBDIRECTORIES)
  foreach(subdirectory IN LISTS subdirectories)
    cmake_path(IS_PREFIX PROJECT_SOURCE_DIR "${subdirectory}" NORMALIZE ours)
    if(ours)
      tidyhand_warnings_in(${subdirectory})
    endif()
  endforeach()
endfunction()
