# Warnings every target of the project builds with; CI turns them into errors.
add_library(mosswick_warnings INTERFACE)
target_compile_options(mosswick_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wcast-align -Wunused
  -Woverloaded-virtual -Wformat=2 -Wimplicit-fallthrough)
if(MOSSWICK_WERROR)
  target_compile_options(mosswick_warnings INTERFACE -Werror)
endif()

if(MOSSWICK_SANITIZE AND MOSSWICK_FUZZ)
  message(FATAL_ERROR "MOSSWICK_SANITIZE and MOSSWICK_FUZZ are separate build trees")
endif()

if(MOSSWICK_SANITIZE)
  # Tasklets copy stack slices in place, which ASan's stack shadow cannot follow: no stack redzones.
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined
                      -fno-omit-frame-pointer -fno-sanitize-address-use-after-scope)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    add_compile_options(--param=asan-stack=0)
  else()
    add_compile_options("SHELL:-mllvm -asan-stack=0")
  endif()
  add_link_options(-fsanitize=address,undefined)
endif()

if(MOSSWICK_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "MOSSWICK_FUZZ needs clang (libFuzzer); configure with CXX=clang++-14")
  endif()
  add_compile_options(-O1 -fsanitize=fuzzer-no-link,address,undefined
                      -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
