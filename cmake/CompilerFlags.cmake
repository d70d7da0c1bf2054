# Numerics are specified to the bit: no contraction into fused multiply-adds, no
# fast-math, and SSE2 maths on 32-bit x86 (x87 would round differently and cannot
# flush denormals).
add_compile_options(-ffp-contract=off -fno-fast-math -Wall -Wextra)

if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(i[3-6]86|x86)$")
  add_compile_options(-msse2 -mfpmath=sse)
endif()

if(WIN32)
  # The DLL must load on a Windows machine with nothing else installed.
  add_link_options(-static -static-libgcc -static-libstdc++)
  add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX)
endif()

# Shared by every target that should be built with the sanitizer flags of the preset.
set(HAMMERLYN2_SANITIZE "" CACHE STRING "Sanitizers to build with, e.g. address,undefined or thread")
if(HAMMERLYN2_SANITIZE)
  add_compile_options(-fsanitize=${HAMMERLYN2_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${HAMMERLYN2_SANITIZE})
endif()

# Only the entry points leave the plug-in library.
set(CMAKE_CXX_VISIBILITY_PRESET hidden)
set(CMAKE_VISIBILITY_INLINES_HIDDEN ON)
