# Installation and the Debian package.
#
#   cmake --install build --prefix /usr/local   # bin/ and share/man/man1/
#   (cd build && cpack -G DEB)                  # exact-tests_<version>_<arch>.deb
#
# The manual pages are installed gzip-compressed, as man(1) expects them.

include(GNUInstallDirs)

install(TARGETS orvane kestrin RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

find_program(GZIP_PROGRAM gzip REQUIRED)
set(exact_manual_pages)
foreach(page orvane.1 kestrin.1)
  set(source ${PROJECT_SOURCE_DIR}/man/${page})
  set(copy ${PROJECT_BINARY_DIR}/man/${page})
  set(compressed ${copy}.gz)
  # -n keeps the name and time out of the archive, so its bytes depend on
  # the page alone.
  add_custom_command(
    OUTPUT ${compressed}
    COMMAND ${CMAKE_COMMAND} -E copy ${source} ${copy}
    COMMAND ${GZIP_PROGRAM} -9 -n -f ${copy}
    DEPENDS ${source}
    VERBATIM)
  list(APPEND exact_manual_pages ${compressed})
endforeach()
add_custom_target(manual_pages ALL DEPENDS ${exact_manual_pages})
install(FILES ${exact_manual_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(CPACK_PACKAGE_NAME exact-tests)
set(CPACK_PACKAGE_VENDOR "exact-tests developers")
set(CPACK_PACKAGE_CONTACT "exact-tests developers <exact-tests@localhost>"
    CACHE STRING "Maintainer named in the Debian package")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "exact tests of frequency data by complete enumeration")
set(CPACK_PACKAGE_DESCRIPTION
    "Two interactive console programs with a Japanese dialogue: orvane tests\n\
whether k category frequencies (k at most 10) fit equal probabilities\n\
(multinomial); kestrin tests a 2 x 2 table with fixed margins\n\
(hypergeometric). Both enumerate every outcome, give the exact p and mid-p\n\
values of the Pearson chi-square and of the likelihood ratio, and write\n\
every outcome to a CSV result file.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION math)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
find_program(DPKG_SHLIBDEPS_PROGRAM dpkg-shlibdeps)
if(DPKG_SHLIBDEPS_PROGRAM)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6")
endif()

include(CPack)
