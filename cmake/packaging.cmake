# What `cmake --install` puts where, and the packages CPack makes from it: a .deb on
# Linux, a .zip on Windows.
if(NOT VORNSET_PROGRAMS)
  return()
endif()

include(GNUInstallDirs)

# The program reads only CR and CR LF as line ends, so the example settings file must
# carry CR LF on every platform; the Windows README follows its platform's custom.
# Each names a port of its platform: COM1 on Windows, a USB adapter on Linux, where
# COM1 would be the first built-in UART, often the console or nothing at all.
set(packaging_dir ${CMAKE_BINARY_DIR}/packaging)
if(WIN32)
  set(example_settings packaging/VornSet.ini)
else()
  set(example_settings packaging/VornSet-linux.ini)
endif()
configure_file(${CMAKE_SOURCE_DIR}/${example_settings} ${packaging_dir}/VornSet.ini
               @ONLY NEWLINE_STYLE CRLF)

if(WIN32)
  configure_file(${CMAKE_SOURCE_DIR}/packaging/README-windows.txt ${packaging_dir}/README.txt
                 @ONLY NEWLINE_STYLE CRLF)
  # One folder to unpack anywhere: the program, its README, an example to copy beside it.
  install(TARGETS vornset RUNTIME DESTINATION .)
  install(FILES ${packaging_dir}/README.txt DESTINATION .)
  install(FILES ${packaging_dir}/VornSet.ini DESTINATION examples)
else()
  # Laid out as Debian wants it: the manual page and the changelog compressed the way
  # its tools do (gzip -9n: no name, no time stamp, so the same sources give the same
  # package), the copyright beside the changelog, and the reason for the static link
  # where lintian reads it.
  set(doc_dir ${CMAKE_INSTALL_DATAROOTDIR}/doc/vornset)
  find_program(VORNSET_GZIP gzip REQUIRED)
  set(compressed "")
  foreach(source docs/vornset.1 docs/vornset-instrument-sim.1 packaging/changelog)
    get_filename_component(name ${source} NAME)
    add_custom_command(OUTPUT ${packaging_dir}/${name}.gz
      COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/${source} ${packaging_dir}/${name}
      COMMAND ${VORNSET_GZIP} -9nf ${packaging_dir}/${name}
      DEPENDS ${CMAKE_SOURCE_DIR}/${source} VERBATIM)
    list(APPEND compressed ${packaging_dir}/${name}.gz)
  endforeach()
  add_custom_target(vornset_compressed_docs ALL DEPENDS ${compressed})

  # The simulated instrument, to try the program without hardware.
  install(TARGETS vornset vornset-instrument-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  # A stripped install (the package) also drops the compilers' notes, as Debian's own
  # strip step does.
  if(CMAKE_OBJCOPY)
    foreach(program vornset vornset-instrument-sim)
      install(CODE "
        if(CMAKE_INSTALL_DO_STRIP)
          execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment --remove-section=.note
            \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/${program}\" COMMAND_ERROR_IS_FATAL ANY)
        endif()")
    endforeach()
  endif()
  install(FILES ${packaging_dir}/vornset.1.gz ${packaging_dir}/vornset-instrument-sim.1.gz
          DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${packaging_dir}/changelog.gz ${CMAKE_SOURCE_DIR}/packaging/copyright
                ${CMAKE_SOURCE_DIR}/README.md DESTINATION ${doc_dir})
  install(FILES ${packaging_dir}/VornSet.ini DESTINATION ${doc_dir}/examples)
  if(VORNSET_STATIC)
    install(FILES ${CMAKE_SOURCE_DIR}/packaging/lintian-overrides
            DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides RENAME vornset)
  endif()
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
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # Behind the summary line (CPACK_PACKAGE_DESCRIPTION_SUMMARY).
  string(CONCAT CPACK_DEBIAN_PACKAGE_DESCRIPTION
         "Decides the band (LF, HF or VHF) and the frequency from its command line,\n"
         "reads the port and baud rate from VornSet.ini and sends the instrument\n"
         "its band and frequency commands.")
  # dpkg names architectures its own way; a cross build must not take the host's.
  if(CMAKE_SYSTEM_PROCESSOR STREQUAL "aarch64")
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE arm64)
  elseif(CMAKE_SYSTEM_PROCESSOR STREQUAL "armv7l")
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE armhf)
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
