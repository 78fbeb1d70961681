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
  target_compile_definitions(velkin_flags INTERFACE _GLIBCXX_ASSERTIONS)
  # Fortified library calls bypass AddressSanitizer's own checks of the same
  # calls, so a sanitized build keeps the sanitizer's.
  if(NOT VELKIN_SANITIZE)
    target_compile_definitions(velkin_flags INTERFACE _FORTIFY_SOURCE=2)
  endif()
endif()
if(VELKIN_SANITIZE)
  # Every program of ours links velkin_flags, so the runtime is linked
  # wherever sanitized code runs. Undefined behaviour stops the program
  # (no recovery), so a test cannot pass over it.
  set(velkin_sanitizers -fsanitize=address,undefined -fno-sanitize-recover=all)
  target_compile_options(velkin_flags INTERFACE ${velkin_sanitizers} -fno-omit-frame-pointer)
  # GCC's flow analysis sees the sanitizers' instrumentation and reports
  # "may be used uninitialized" inside the standard library (std::regex,
  # std::function) where nothing is; the unsanitized build keeps the warning.
  target_compile_options(velkin_flags INTERFACE $<$<CXX_COMPILER_ID:GNU>:-Wno-maybe-uninitialized>)
  target_link_options(velkin_flags INTERFACE ${velkin_sanitizers})
endif()
if(VELKIN_FUZZ)
  # Coverage for libFuzzer in every library the targets link.
  target_compile_options(velkin_flags INTERFACE -fsanitize=fuzzer-no-link,address,undefined)
  target_link_options(velkin_flags INTERFACE -fsanitize=address,undefined)
endif()
