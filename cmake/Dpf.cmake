# DPF, the DISTRHO Plugin Framework (ISC), from Debian's dpf-source package:
# the VST3, CLAP and LV2 wrappers around formats/dpf. The package's sources are
# copied into the build folder and the patches in cmake/dpf-patches are applied
# to that copy; each patch says what it mends, why, and whether it is fixed
# upstream ("not fixed": not in DISTRHO/DPF nor the DPF-derived wrappers seen,
# up to 2025). Nothing of DPF is kept in the tree, and the installed package is
# never written to.

set(HAMMERLYN2_DPF_ROOT /usr/share/dpf CACHE PATH "Installed DPF sources (Debian dpf-source)")
if(NOT EXISTS ${HAMMERLYN2_DPF_ROOT}/distrho/DistrhoPluginMain.cpp)
  message(FATAL_ERROR "DPF not found in ${HAMMERLYN2_DPF_ROOT}: install Debian's dpf-source (cmake/install-deps.sh)")
endif()

# The patch series is made for one DPF: Debian's dpf-source 1.6+ds-2, whose
# files the series changes have the SHA-256 hashes below. Those files are
# compared every time, whatever version the package says it is: another DPF
# stops the build here, before any patch is tried, naming its version and the
# series. A move to a newer DPF: drop the patches it makes needless, refresh
# the rest, and record its version and hashes here.
set(dpf_series_version "1.6+ds-2")
set(dpf_series_files
  distrho/src/DistrhoPluginCLAP.cpp      1001aaa9104034fd70c7a14a7935330b3e789b2b864b44ccd97f308a38acd1d9
  distrho/src/DistrhoPluginInternal.hpp  2eb8754cdae8ca0775b6e0c20294b45e0561e50275f7725182d5cd075a910f85
  distrho/src/DistrhoPluginLV2.cpp       ca98af20a152e768053622819b0f457858bd0e048617b92a4a32585d123cb393
  distrho/src/DistrhoPluginLV2export.cpp 15ffa33fb1d1c505caa3f95c97520afd81fb063ac1bdca9f1e63929c7bafe23b
  distrho/src/DistrhoPluginVST3.cpp      9332870ea09bb019a965b9e8abfa5d0ee533b3479e213083f429eebd097d4c29)
# The package's version, where DPF comes from the package: named in the message.
set(dpf_version "of an unknown version")
if(HAMMERLYN2_DPF_ROOT STREQUAL "/usr/share/dpf")
  find_program(HAMMERLYN2_DPKG_QUERY dpkg-query)
  if(HAMMERLYN2_DPKG_QUERY)
    execute_process(COMMAND ${HAMMERLYN2_DPKG_QUERY} -W -f=\${Version} dpf-source
                    OUTPUT_VARIABLE package_version ERROR_QUIET RESULT_VARIABLE status)
    if(status EQUAL 0 AND NOT package_version STREQUAL "")
      set(dpf_version ${package_version})
    endif()
  endif()
endif()
file(GLOB dpf_series_patches ${PROJECT_SOURCE_DIR}/cmake/dpf-patches/*.patch)
list(LENGTH dpf_series_patches dpf_series_count)
set(dpf_series_paths "")
set(dpf_differing "")
while(dpf_series_files)
  list(POP_FRONT dpf_series_files path hash)
  list(APPEND dpf_series_paths ${HAMMERLYN2_DPF_ROOT}/${path})
  set(actual "")
  if(EXISTS ${HAMMERLYN2_DPF_ROOT}/${path})
    file(SHA256 ${HAMMERLYN2_DPF_ROOT}/${path} actual)
  endif()
  if(NOT actual STREQUAL hash)
    list(APPEND dpf_differing ${path})
  endif()
endwhile()
if(dpf_differing)
  list(JOIN dpf_differing ", " dpf_differing)
  message(FATAL_ERROR "DPF ${dpf_version} in ${HAMMERLYN2_DPF_ROOT} is not DPF ${dpf_series_version}, for which "
                      "the patch series (the ${dpf_series_count} patches in cmake/dpf-patches) is made: these files "
                      "differ from that version's: ${dpf_differing}. The series is not tried on another DPF. Install "
                      "dpf-source ${dpf_series_version}, or move the series to this version (see cmake/Dpf.cmake).")
endif()

set(HAMMERLYN2_DPF ${CMAKE_BINARY_DIR}/dpf CACHE INTERNAL "The patched copy of DPF in the build folder")
file(GLOB dpf_patches CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/cmake/dpf-patches/*.patch)
list(SORT dpf_patches)
set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${dpf_patches})

# The copy is made again whenever a patch or the package changes.
# (The first line names what is copied; change it when that changes.)
set(dpf_stamp_text "distrho, dgl headers, utils/symbols, utils/lv2-ttl-generator, LICENSE\n")
foreach(file ${dpf_patches} ${dpf_series_paths})
  file(SHA256 ${file} hash)
  string(APPEND dpf_stamp_text "${hash}\n")
endforeach()
set(dpf_stamp ${HAMMERLYN2_DPF}/hammerlyn2-patches.stamp)
set(dpf_old_stamp "")
if(EXISTS ${dpf_stamp})
  file(READ ${dpf_stamp} dpf_old_stamp)
endif()
if(NOT dpf_old_stamp STREQUAL dpf_stamp_text)
  find_program(HAMMERLYN2_PATCH patch REQUIRED)
  file(REMOVE_RECURSE ${HAMMERLYN2_DPF})
  file(MAKE_DIRECTORY ${HAMMERLYN2_DPF}/utils)
  file(COPY ${HAMMERLYN2_DPF_ROOT}/distrho ${HAMMERLYN2_DPF_ROOT}/LICENSE DESTINATION ${HAMMERLYN2_DPF}
       NO_SOURCE_PERMISSIONS)
  # The external-UI mode needs DGL's base header only; nothing of DGL is compiled.
  file(GLOB dgl_headers ${HAMMERLYN2_DPF_ROOT}/dgl/*.hpp)
  file(COPY ${dgl_headers} DESTINATION ${HAMMERLYN2_DPF}/dgl NO_SOURCE_PERMISSIONS)
  file(COPY ${HAMMERLYN2_DPF_ROOT}/utils/symbols ${HAMMERLYN2_DPF_ROOT}/utils/lv2-ttl-generator
       DESTINATION ${HAMMERLYN2_DPF}/utils NO_SOURCE_PERMISSIONS)
  # The patches carry one line of context (diff -U1 between the copy before and
  # after each one): the files are the hashed ones above, so every hunk lands at
  # its own line, and no fuzz is allowed, so a line that differs stops the build.
  foreach(patch ${dpf_patches})
    execute_process(COMMAND ${HAMMERLYN2_PATCH} -p1 --batch --forward --fuzz=0 --no-backup-if-mismatch -i ${patch}
                    WORKING_DIRECTORY ${HAMMERLYN2_DPF} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
    if(NOT status EQUAL 0)
      message(FATAL_ERROR "DPF patch ${patch} does not apply to ${HAMMERLYN2_DPF_ROOT}:\n${out}")
    endif()
  endforeach()
  file(WRITE ${dpf_stamp} "${dpf_stamp_text}")
endif()

# The architecture folder of a VST3 bundle.
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64)$")
  set(HAMMERLYN2_VST3_ARCH x86_64)
elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^(i[3-6]86|x86)$")
  if(WIN32)
    set(HAMMERLYN2_VST3_ARCH x86)
  else()
    set(HAMMERLYN2_VST3_ARCH i386)
  endif()
else()
  set(HAMMERLYN2_VST3_ARCH ${CMAKE_SYSTEM_PROCESSOR})
endif()
if(WIN32)
  set(HAMMERLYN2_VST3_SYSTEM win)
else()
  set(HAMMERLYN2_VST3_SYSTEM linux)
endif()

# Linux modules carry their own C++ runtime, so that they load on distributions
# with an older libstdc++ (Windows modules get it from the project's settings).
# Not in sanitizer builds, whose runtime must see every allocation.
function(hammerlyn2_static_cxx_runtime target)
  if(NOT WIN32 AND NOT HAMMERLYN2_SANITIZE)
    target_link_options(${target} PRIVATE -static-libstdc++ -static-libgcc)
  endif()
endfunction()

# One format's module (or, with UI_ONLY, a format's separate panel module): DPF's entry code for that format around the plug-in
# library, with only the format's entry points exported and the C++ runtime
# linked in (the file loads on systems without a matching libstdc++).
function(hammerlyn2_dpf_module target format)
  cmake_parse_arguments(M "UI_ONLY" "DIRECTORY;NAME;SUFFIX;EXPORTS" "LIBS" ${ARGN})
  if(M_UI_ONLY)
    add_library(${target} MODULE ${HAMMERLYN2_DPF}/distrho/DistrhoUIMain.cpp)
  else()
    add_library(${target} MODULE ${HAMMERLYN2_DPF}/distrho/DistrhoPluginMain.cpp)
  endif()
  hammerlyn2_target(${target})
  string(TOUPPER ${format} upper)
  target_compile_definitions(${target} PRIVATE DISTRHO_PLUGIN_TARGET_${upper})
  target_link_libraries(${target} PRIVATE ${M_LIBS})
  set_target_properties(${target} PROPERTIES
    PREFIX "" OUTPUT_NAME ${M_NAME}
    LIBRARY_OUTPUT_DIRECTORY ${M_DIRECTORY} RUNTIME_OUTPUT_DIRECTORY ${M_DIRECTORY})
  if(M_SUFFIX)
    set_target_properties(${target} PROPERTIES SUFFIX ${M_SUFFIX})
  endif()
  if(WIN32)
    target_sources(${target} PRIVATE ${HAMMERLYN2_DPF}/utils/symbols/${M_EXPORTS}.def)
    target_compile_options(${target} PRIVATE -mstackrealign)
  else()
    hammerlyn2_module_exports(${target} ${HAMMERLYN2_DPF}/utils/symbols/${M_EXPORTS}.version)
    hammerlyn2_static_cxx_runtime(${target})
    target_link_libraries(${target} PRIVATE ${CMAKE_DL_LIBS})
  endif()
endfunction()
