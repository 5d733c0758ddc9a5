# What `cmake --install` puts where, and the Debian package.
#
# Two components: "programs" (gen, ungen, their man pages, the docs, the
# bash completion), which
# the package ships, and "development" (the library, its header, and the
# files pkg-config and find_package read), installed from source only.

# Man pages get the version; they and the changelog go in compressed, as
# Debian installs them (-n keeps the build reproducible).
set(GZ_FILES)
foreach(page gen ungen)
  configure_file(man/${page}.1.in ${PROJECT_BINARY_DIR}/man/${page}.1 @ONLY)
endforeach()
foreach(src ${PROJECT_BINARY_DIR}/man/gen.1 ${PROJECT_BINARY_DIR}/man/ungen.1
            ${PROJECT_SOURCE_DIR}/packaging/changelog)
  get_filename_component(name ${src} NAME)
  set(gz ${PROJECT_BINARY_DIR}/gz/${name}.gz)
  add_custom_command(OUTPUT ${gz}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/gz
    COMMAND gzip -9n -c ${src} > ${gz}
    DEPENDS ${src})
  list(APPEND GZ_FILES ${gz})
endforeach()
add_custom_target(compressed_docs ALL DEPENDS ${GZ_FILES})

install(TARGETS gen ungen RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT programs)
install(FILES packaging/ungen.bash-completion RENAME ungen
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/bash-completion/completions COMPONENT programs)
install(FILES ${PROJECT_BINARY_DIR}/gz/gen.1.gz ${PROJECT_BINARY_DIR}/gz/ungen.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT programs)
install(FILES ${PROJECT_BINARY_DIR}/gz/changelog.gz packaging/copyright
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/gen COMPONENT programs)

install(TARGETS libgen EXPORT genTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development)
install(FILES include/gen/gen.hpp include/gen/bi.hpp ${PROJECT_BINARY_DIR}/include/gen/version.hpp
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/gen COMPONENT development)
set(cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/gen)
install(EXPORT genTargets NAMESPACE gen:: DESTINATION ${cmake_dir} COMPONENT development)
include(CMakePackageConfigHelpers)
configure_package_config_file(cmake/genConfig.cmake.in ${PROJECT_BINARY_DIR}/genConfig.cmake
                              INSTALL_DESTINATION ${cmake_dir})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/genConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/genConfig.cmake ${PROJECT_BINARY_DIR}/genConfigVersion.cmake
        DESTINATION ${cmake_dir} COMPONENT development)
# gen.pc finds the prefix from where it lies, so an install with --prefix
# elsewhere still works.
file(RELATIVE_PATH pc_to_prefix "/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/")
configure_file(cmake/gen.pc.in ${PROJECT_BINARY_DIR}/gen.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/gen.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
        COMPONENT development)

set(CPACK_GENERATOR DEB)
set(CPACK_INSTALL_CMAKE_PROJECTS "${PROJECT_BINARY_DIR};gen;programs;/")
set(CPACK_PACKAGE_NAME gen)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CONTACT "gen developers <gen@example.org>")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "gen developers <gen@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "encode a file into big integers, and restore it")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "gen turns each byte of the file flag into an arbitrary-precision
integer, scrambles the sequence over a number of rounds drawn from the C
library's time-seeded rand(), and writes the integers to the file crypt.
ungen restores the bytes, verified, finding the second gen ran at from
the crypt alone.")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
# The man pages reproduce runs with it.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS faketime)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)
include(CPack)
