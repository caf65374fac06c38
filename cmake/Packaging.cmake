# What `cmake --install` lays out, and the packages CPack makes of it.
#
# Install components: "program" (tidyhand), "companions" (the reference kitbase.dll and the signed
# vrhelper.exe) and "signing" (tidysign, Linux only). The program finds its statistics library and
# its helper beside its own executable, so all three share one folder: a private one on Linux,
# lib/vistrel, with bin/tidyhand a link into it (the program's path is the link's target, where the
# companions are); the package's root on Windows.
include(GNUInstallDirs)

set(CPACK_PACKAGE_NAME tidyhand)
set(CPACK_PACKAGE_VENDOR "Vistrel Software Co., Ltd.")
set(CPACK_PACKAGE_CONTACT "Vistrel Software Maintainers <maintainers@vistrel.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "maintenance program of the picture viewer Vistrel")
set(CPACK_PACKAGE_DESCRIPTION
    "tidyhand resets the viewer's configuration after asking the user, and starts\n"
    "the viewer's optimizer helper only when the helper carries a valid signature\n"
    "from an accepted publisher. The package holds the program, its reference\n"
    "statistics library and helper, and the tool that signs and checks helpers.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_COMPONENTS_ALL program companions signing)

if(WIN32)
  set(program_dir .)
  install(TARGETS tidyhand RUNTIME DESTINATION ${program_dir} COMPONENT program)
  install(TARGETS kitbase RUNTIME DESTINATION ${program_dir} LIBRARY DESTINATION ${program_dir}
          COMPONENT companions)
  install(TARGETS vrhelper RUNTIME DESTINATION ${program_dir} COMPONENT companions)

  # Every program and library of the package carries an Authenticode signature, made at install
  # time with the build's own development certificate (RSA, under the accepted publisher's name).
  find_program(OSSLSIGNCODE_PROGRAM osslsigncode)
  find_program(OPENSSL_PROGRAM openssl)
  set(signing_dir ${PROJECT_BINARY_DIR}/dev-signing)
  if(OPENSSL_PROGRAM)
    add_custom_command(
      OUTPUT ${signing_dir}/cert.pem ${signing_dir}/key.pem
      COMMAND ${CMAKE_COMMAND} -E make_directory ${signing_dir}
      COMMAND ${OPENSSL_PROGRAM} req -x509 -newkey rsa:2048 -nodes -days 3650
              -subj "/CN=Vistrel Software Co., Ltd." -addext "extendedKeyUsage=codeSigning"
              -keyout ${signing_dir}/key.pem -out ${signing_dir}/cert.pem
      COMMENT "Making the development Authenticode certificate"
      VERBATIM)
    add_custom_target(dev_authenticode_certificate ALL DEPENDS ${signing_dir}/cert.pem)
  endif()
  foreach(target tidyhand kitbase vrhelper)
    install(CODE "
      set(signed \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/$<TARGET_FILE_NAME:${target}>\")
      if(NOT EXISTS \"${OSSLSIGNCODE_PROGRAM}\" OR NOT EXISTS \"${signing_dir}/cert.pem\")
        message(FATAL_ERROR \"signing needs osslsigncode and openssl\")
      endif()
      execute_process(
        COMMAND \"${OSSLSIGNCODE_PROGRAM}\" sign -certs \"${signing_dir}/cert.pem\" -key \"${signing_dir}/key.pem\"
                -h sha256 -in \"\${signed}\" -out \"\${signed}.signed\"
        RESULT_VARIABLE result OUTPUT_QUIET)
      if(NOT result EQUAL 0)
        message(FATAL_ERROR \"signing \${signed} failed\")
      endif()
      file(RENAME \"\${signed}.signed\" \"\${signed}\")"
      COMPONENT $<IF:$<STREQUAL:${target},tidyhand>,program,companions>)
  endforeach()

  set(CPACK_GENERATOR ZIP)
  set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)
  # Stripped as they are installed, before the signing step above signs them.
  set(CPACK_STRIP_FILES TRUE)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(CPACK_SYSTEM_NAME windows-x64)
  else()
    set(CPACK_SYSTEM_NAME windows-x86)
  endif()
else()
  set(program_dir ${CMAKE_INSTALL_PREFIX}/lib/vistrel)
  install(TARGETS tidyhand RUNTIME DESTINATION lib/vistrel COMPONENT program)
  # The link that puts the program on the search path, made in the build folder and installed as
  # the link it is.
  file(MAKE_DIRECTORY ${PROJECT_BINARY_DIR}/packaging)
  file(CREATE_LINK ../lib/vistrel/tidyhand ${PROJECT_BINARY_DIR}/packaging/tidyhand SYMBOLIC)
  install(FILES ${PROJECT_BINARY_DIR}/packaging/tidyhand DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT program)
  install(TARGETS kitbase LIBRARY DESTINATION lib/vistrel COMPONENT companions)
  # Copied byte for byte: its signature covers every byte before it.
  install(PROGRAMS $<TARGET_FILE:vrhelper> DESTINATION lib/vistrel COMPONENT companions)
  install(TARGETS tidysign RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT signing)

  # The package's documents: the copyright, the changelog and the manual pages, compressed as
  # Debian wants them.
  set(packaging_dir ${PROJECT_BINARY_DIR}/packaging)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/packaging/changelog ${packaging_dir}/changelog @ONLY)
  configure_file(${PROJECT_SOURCE_DIR}/docs/man/tidyhand.1 ${packaging_dir}/tidyhand.1 COPYONLY)
  configure_file(${PROJECT_SOURCE_DIR}/docs/man/tidysign.1 ${packaging_dir}/tidysign.1 COPYONLY)
  find_program(GZIP_PROGRAM gzip REQUIRED)
  set(compressed)
  foreach(document changelog tidyhand.1 tidysign.1)
    add_custom_command(
      OUTPUT ${packaging_dir}/${document}.gz
      COMMAND ${GZIP_PROGRAM} -9nkf ${packaging_dir}/${document}
      DEPENDS ${packaging_dir}/${document}
      VERBATIM)
    list(APPEND compressed ${packaging_dir}/${document}.gz)
  endforeach()
  add_custom_target(package_documents ALL DEPENDS ${compressed})
  install(FILES ${PROJECT_SOURCE_DIR}/cmake/packaging/copyright ${packaging_dir}/changelog.gz
          DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT program)
  install(FILES ${packaging_dir}/tidyhand.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT program)
  install(FILES ${packaging_dir}/tidysign.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT signing)

  set(CPACK_GENERATOR DEB)
  set(CPACK_DEB_COMPONENT_INSTALL OFF)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_SUGGESTS "zenity | kdialog")
  # Stripped, all but the signed helper: stripping would cut its signature off.
  set(CPACK_STRIP_FILES lib/vistrel/tidyhand lib/vistrel/kitbase.dll ${CMAKE_INSTALL_BINDIR}/tidysign)
endif()

include(CPack)
