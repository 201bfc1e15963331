# Debian packages (CPack DEB), one per install component:
#
#   component  package              holds
#   runtime    libzkqtrneh113       libZKQTRNEH113.so, libZKQTRNLANG101.so,
#                                   share/ZKQTRNLANG101/*.res
#   dev        libzkqtrneh113-dev   headers, CMake package, pkg-config file
#   gtk        libzkqtrneh113-gtk   libZKQTRNEH113_gtk.so (when built)
#   tui        libzkqtrneh113-tui   libZKQTRNEH113_tui.so (when built)
#
# Every install() names its component; whatever a process that uses the
# library needs at run time (libraries, resource modules, helper programs)
# goes with COMPONENT runtime. A file without a component lands in no package
# (the package test finds it).
#
# Dependencies on system libraries come from dpkg-shlibdeps (package
# dpkg-dev); those between our packages are stated here, each on the same
# version: the dialog modules' interface to the library is internal. The
# runtime package depends on no toolkit, so a server installs none.
#
# The paths the libraries search at run time are compiled in from the
# configured prefix, so packages come from a tree configured for /usr
# (preset "package"); CPack installs them under that same prefix.
set(ZKQ_PACKAGE_CONTACT "ZKQTRNEH113 maintainers <maintainers@zkqtrneh113.invalid>"
    CACHE STRING "Maintainer field of the Debian packages")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME libzkqtrneh113)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${ZKQ_PACKAGE_CONTACT}")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime dev)
foreach(module gtk tui)
  if(TARGET ZKQTRNEH113_${module})
    list(APPEND CPACK_COMPONENTS_ALL ${module})
  endif()
endforeach()

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Stripped binaries, their debug information in <package>-dbgsym, found by
# build id (call stacks get their names back when it is installed).
set(CPACK_DEBIAN_DEBUGINFO_PACKAGE ON)
find_program(ZKQ_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(NOT ZKQ_DPKG_SHLIBDEPS)
  message(STATUS "Debian packages: dpkg-shlibdeps not found (package dpkg-dev): "
                 "they would lack their dependencies on system libraries")
endif()

set(zkq_same_version "libzkqtrneh113 (= ${PROJECT_VERSION})")

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libzkqtrneh113)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SUGGESTS "libzkqtrneh113-gtk, libzkqtrneh113-tui")
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION
"error-handling class library for C++ applications
Exception chains per thread, error texts from resource modules, reports in an
error dialog and an error log file, faults and failed allocations as
exceptions. This package holds the library, its language library and the
German and English language modules. Without a dialog module the error dialog
goes to stderr.")

set(CPACK_DEBIAN_DEV_PACKAGE_NAME libzkqtrneh113-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "${zkq_same_version}")
# zkq_add_resource_module compiles resource scripts with its windres.
set(CPACK_DEBIAN_DEV_PACKAGE_SUGGESTS "binutils-mingw-w64-x86-64, pkg-config")
set(CPACK_DEBIAN_DEV_DESCRIPTION
"error-handling class library for C++ applications (development files)
Headers, the CMake package (find_package(ZKQTRNEH113)) and the pkg-config
file ZKQTRNEH113.pc.")

set(CPACK_DEBIAN_GTK_PACKAGE_NAME libzkqtrneh113-gtk)
set(CPACK_DEBIAN_GTK_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_GTK_PACKAGE_DEPENDS "${zkq_same_version}")
set(CPACK_DEBIAN_GTK_DESCRIPTION
"error-handling class library for C++ applications (GTK dialog)
The graphical error dialog (GTK 3), loaded by the library only when a
display is reachable and the dialog is chosen.")

set(CPACK_DEBIAN_TUI_PACKAGE_NAME libzkqtrneh113-tui)
set(CPACK_DEBIAN_TUI_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_TUI_PACKAGE_DEPENDS "${zkq_same_version}")
set(CPACK_DEBIAN_TUI_DESCRIPTION
"error-handling class library for C++ applications (terminal dialog)
The error dialog on the terminal (ncurses), loaded by the library only when
the process has a controlling terminal and the dialog is chosen.")

include(CPack)
