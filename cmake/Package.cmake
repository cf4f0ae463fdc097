# `cpack -G DEB` (scripts/package): a Debian package of what `cmake --install` puts in /usr. The
# libraries the binaries link come from dpkg-shlibdeps; the rest is what they load at run time.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME mosswick)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Mosswick developers <mosswick@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Authoring tool for the live object world of a game runtime")
set(CPACK_PACKAGE_DESCRIPTION
    "Mosswick shows the objects of its runtime, libvorn, in an object browser and a grid of members \
with an editor for each type, and offers a Python console, macros, an error log, a 3D window and a \
time bar. vornrun runs a script in the runtime without a window.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# libvorn is the package's own: dpkg-shlibdeps finds it in the staged lib folder
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS "${CMAKE_BINARY_DIR}")
# loaded at run time, never linked: tasklets, completion and the SVG pictures
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "python3-greenlet, python3-jedi, libqt6svg6")
include(CPack)
