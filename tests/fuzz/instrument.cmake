# Included before the units when VELWIN_FUZZ is on: every unit is compiled
# with the coverage hooks libFuzzer steers by and with the address and
# undefined-behaviour sanitizers, so a finding inside a unit stops the run.
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "VELWIN_FUZZ needs clang (configure with -DCMAKE_CXX_COMPILER=clang++)")
endif()
add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined
                    -fno-omit-frame-pointer -g)
add_link_options(-fsanitize=address,undefined)
