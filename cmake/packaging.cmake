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
    "exact tests of frequency data: multinomial goodness of fit, 2 x 2 tables")
set(CPACK_PACKAGE_DESCRIPTION
    "Two console programs for exact tests: orvane tests whether k category\n\
counts fit equal or given probabilities (multinomial); kestrin tests a\n\
2 x 2 table with fixed margins (hypergeometric, Fisher's test among its\n\
orderings) and gives the conditional odds ratio with its exact interval.\n\
Both give the exact p and mid-p values of the Pearson chi-square,\n\
likelihood-ratio and probability orderings. With arguments they are\n\
command-line tools (text, JSON or CSV reports, a CSV listing of every\n\
outcome, an SVG picture of the null distribution); without, each holds an\n\
interactive Japanese dialogue that writes every outcome to a CSV file.")
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
