# Debian's packages only. The interpreter is Debian's CPython, never one found first on PATH.
find_package(PkgConfig REQUIRED)
set(ENV{PKG_CONFIG_PATH} "/usr/lib/x86_64-linux-gnu/pkgconfig:/usr/lib/pkgconfig:/usr/share/pkgconfig")
pkg_check_modules(PYTHON3_EMBED REQUIRED IMPORTED_TARGET python3-embed)
find_package(nlohmann_json 3.10 REQUIRED)
find_package(Threads REQUIRED)
if(NOT MOSSWICK_FUZZ)
  find_package(Qt6 6.4 REQUIRED COMPONENTS Core Gui Widgets Test Charts)
  # the web view is optional: without it the page says so and everything else works
  find_package(Qt6 6.4 QUIET OPTIONAL_COMPONENTS WebEngineWidgets)
endif()
