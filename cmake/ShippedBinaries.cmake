# What the shipped binaries carry: the project's version, generated from
# project() into one header (no other file writes it), debug information
# (stripped into separate files when packaged, packaging/strip-debug.sh), and,
# for Linux modules, nothing exported but their entry points.

# Hammerlyn2Version.h: the version as text and numbers, for every target.
configure_file(${PROJECT_SOURCE_DIR}/cmake/Hammerlyn2Version.h.in
               ${CMAKE_BINARY_DIR}/generated/Hammerlyn2Version.h @ONLY)
target_include_directories(hammerlyn2_options INTERFACE ${CMAKE_BINARY_DIR}/generated)

# Release builds with debug information: -g changes no generated code, and the
# packages move it into the -debug archive. (Not in the web build, whose module
# would carry it to every browser.)
if(NOT EMSCRIPTEN)
  target_compile_options(hammerlyn2_options INTERFACE $<$<CONFIG:Release>:-g>)
endif()

# A Linux module exports the names its version script lists and nothing else:
# no C++ runtime a host could bind its own calls to, nor anything from the
# static libraries linked in.
function(hammerlyn2_module_exports target script)
  if(NOT WIN32)
    target_link_options(${target} PRIVATE -Wl,--no-undefined -Wl,--version-script=${script}
                        -Wl,--exclude-libs,ALL)
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${script})
  endif()
endfunction()
