# Build settings every target of the project takes, set per target through
# hammerlyn2_options (never globally, so nothing leaks into third-party code
# built alongside), and the way a library exposes its headers.

# Numerics are fixed to the bit: no contraction into fused multiply-adds, no
# fast-math, and SSE2 maths on 32-bit x86 (x87 would round differently and cannot
# flush denormals).
add_library(hammerlyn2_options INTERFACE)
target_compile_options(hammerlyn2_options INTERFACE -ffp-contract=off -fno-fast-math -Wall -Wextra)
# (Emscripten reports an x86 processor, but WebAssembly has neither x87 nor SSE.)
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(i[3-6]86|x86)$" AND NOT EMSCRIPTEN)
  target_compile_options(hammerlyn2_options INTERFACE -msse2 -mfpmath=sse)
endif()

if(WIN32)
  # The DLLs and test programs must run on a Windows machine with nothing else installed.
  target_link_options(hammerlyn2_options INTERFACE -static -static-libgcc -static-libstdc++)
  target_compile_definitions(hammerlyn2_options INTERFACE WIN32_LEAN_AND_MEAN NOMINMAX)
  # Windows keeps the stack 16-byte aligned only, and the 64-bit build runs
  # AVX2 kernels: every aligned vector move is assembled as an unaligned one
  # (the same speed on aligned data), so that no compiler that assumes a
  # 32-byte aligned stack slot can make one fault.
  target_compile_options(hammerlyn2_options INTERFACE -Wa,-muse-unaligned-vector-move)
endif()

set(HAMMERLYN2_SANITIZE "" CACHE STRING "Sanitizers to build with, e.g. address,undefined or thread")
if(HAMMERLYN2_SANITIZE)
  set(sanitizers ${HAMMERLYN2_SANITIZE})
  # GCC's undefined-behaviour set leaves out float-to-integer overflow.
  if(sanitizers MATCHES "undefined")
    string(APPEND sanitizers ",float-cast-overflow")
  endif()
  target_compile_options(hammerlyn2_options INTERFACE -fsanitize=${sanitizers} -fno-omit-frame-pointer
                                                      -fno-sanitize-recover=all)
  target_link_options(hammerlyn2_options INTERFACE -fsanitize=${sanitizers})
endif()

# Applies the project's settings to a target: flags, and hidden symbols, so
# that only a module's declared entry points leave it.
function(hammerlyn2_target target)
  target_link_libraries(${target} PRIVATE hammerlyn2_options)
  set_target_properties(${target} PROPERTIES CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
endfunction()

# Headers are included by their folder ("engine/VoiceEngine.h"). Each library
# exposes its own folder alone, through an include root in the build tree that
# holds only a link to it; a file that includes a header of a library its
# target does not link fails to build.
function(hammerlyn2_expose target folder)
  set(root ${CMAKE_BINARY_DIR}/include-roots/${folder})
  get_filename_component(name ${folder} NAME)
  get_filename_component(parent ${folder} DIRECTORY)
  if(parent)
    set(link ${root}/${parent}/${name})
    file(MAKE_DIRECTORY ${root}/${parent})
  else()
    set(link ${root}/${name})
    file(MAKE_DIRECTORY ${root})
  endif()
  if(NOT EXISTS ${link})
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${folder} ${link} SYMBOLIC)
  endif()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE ${root})
  else()
    target_include_directories(${target} PUBLIC ${root})
  endif()
endfunction()

# A static library of the project made of one folder's sources: the project's
# settings, its own headers exposed, and the libraries it uses. OBJECT makes it
# a set of objects instead, which go into each library that links it directly.
function(hammerlyn2_library target folder)
  cmake_parse_arguments(L "OBJECT" "" "SOURCES;LIBS" ${ARGN})
  if(L_OBJECT)
    add_library(${target} OBJECT ${L_SOURCES})
  else()
    add_library(${target} STATIC ${L_SOURCES})
  endif()
  hammerlyn2_target(${target})
  hammerlyn2_expose(${target} ${folder})
  if(L_LIBS)
    target_link_libraries(${target} PUBLIC ${L_LIBS})
  endif()
endfunction()
