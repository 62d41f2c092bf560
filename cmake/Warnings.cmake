# One interface target carries the warning flags and the sanitizer flags for every target.
add_library(qv_warnings INTERFACE)
# Locals that hide other locals: clang (the fuzz build) spells that option its own way.
set(QV_SHADOW_WARNING $<IF:$<CXX_COMPILER_ID:Clang>,-Wshadow-uncaptured-local,-Wshadow=local>)
target_compile_options(qv_warnings INTERFACE -Wall -Wextra -Wpedantic ${QV_SHADOW_WARNING} -Wnon-virtual-dtor
                                              -Wcast-align -Wunused -Woverloaded-virtual -Wformat=2)
option(QV_WERROR "Treat compiler warnings as errors (scripts/test.sh builds with it)" OFF)
if(QV_WERROR)
  target_compile_options(qv_warnings INTERFACE -Werror)
endif()
if(QV_SANITIZE)
  target_compile_options(qv_warnings INTERFACE -fsanitize=${QV_SANITIZE} -fno-omit-frame-pointer
                                                -fno-sanitize-recover=all)
  target_link_options(qv_warnings INTERFACE -fsanitize=${QV_SANITIZE})
endif()
