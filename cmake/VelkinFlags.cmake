# One interface target carries the project's compile flags. Every library and
# program of ours links it privately, so nothing is pushed onto consumers.
add_library(velkin_flags INTERFACE)
target_compile_options(velkin_flags INTERFACE
  -Wall -Wextra -Wpedantic -Wnon-virtual-dtor -Wformat=2
  $<$<CXX_COMPILER_ID:GNU>:-Wshadow=local>)
if(VELKIN_WERROR)
  target_compile_options(velkin_flags INTERFACE -Werror)
endif()
if(VELKIN_HARDENED)
  target_compile_definitions(velkin_flags INTERFACE _GLIBCXX_ASSERTIONS _FORTIFY_SOURCE=2)
endif()
if(VELKIN_FUZZ)
  # Coverage for libFuzzer in every library the targets link.
  target_compile_options(velkin_flags INTERFACE -fsanitize=fuzzer-no-link,address,undefined)
  target_link_options(velkin_flags INTERFACE -fsanitize=address,undefined)
endif()
