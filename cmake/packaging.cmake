# What `cmake --install` puts where, and the packages CPack makes from it: a .deb on
# Linux, a .zip on Windows.
if(NOT VORNSET_PROGRAMS)
  return()
endif()

include(GNUInstallDirs)

# The program reads only CR and CR LF as line ends, so the example settings file must
# carry CR LF on every platform; the Windows README follows its platform's custom.
set(packaging_dir ${CMAKE_BINARY_DIR}/packaging)
configure_file(${CMAKE_SOURCE_DIR}/packaging/VornSet.ini ${packaging_dir}/VornSet.ini
               @ONLY NEWLINE_STYLE CRLF)

if(WIN32)
  configure_file(${CMAKE_SOURCE_DIR}/packaging/README-windows.txt ${packaging_dir}/README.txt
                 @ONLY NEWLINE_STYLE CRLF)
  # One folder to unpack anywhere: the program, its README, an example to copy beside it.
  install(TARGETS vornset RUNTIME DESTINATION .)
  install(FILES ${packaging_dir}/README.txt DESTINATION .)
  install(FILES ${packaging_dir}/VornSet.ini DESTINATION examples)
else()
  set(doc_dir ${CMAKE_INSTALL_DATAROOTDIR}/doc/vornset)
  install(TARGETS vornset RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${CMAKE_SOURCE_DIR}/docs/vornset.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${packaging_dir}/VornSet.ini DESTINATION ${doc_dir}/examples)
  install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION ${doc_dir})
endif()

set(CPACK_PACKAGE_NAME vornset)
set(CPACK_PACKAGE_VENDOR VornSet)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_CONTACT "VornSet maintainers <maintainers@vornset.invalid>")
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR}/packages)
set(CPACK_STRIP_FILES ON)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME VornSet-${PROJECT_VERSION}-windows-${CMAKE_SYSTEM_PROCESSOR})
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
  # Behind the summary line (CPACK_PACKAGE_DESCRIPTION_SUMMARY).
  string(CONCAT CPACK_DEBIAN_PACKAGE_DESCRIPTION
         "Decides the band (LF, HF or VHF) and the frequency from its command line,\n"
         "reads the port and baud rate from VornSet.ini and sends the instrument\n"
         "its band and frequency commands.")
  # dpkg names architectures its own way; a cross build must not take the host's.
  if(CMAKE_SYSTEM_PROCESSOR STREQUAL "aarch64")
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE arm64)
  elseif(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE amd64)
  endif()
  # A statically linked program needs nothing; otherwise the C and C++ runtimes.
  # (Sanitizer builds are for testing, never packaged.)
  if(NOT VORNSET_STATIC)
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libstdc++6, libgcc-s1")
  endif()
endif()

include(CPack)
