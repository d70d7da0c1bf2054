# The LV2 bundle's Turtle files: lv2_validate passes apart from the statements
# whose vocabularies it does not know (named one by one below), sordi reads
# every file, and each factory preset carries its own program's state.
#   cmake -DVALIDATE=lv2_validate -DSORDI=sordi -DBUNDLE=.../Hammerlyn2.lv2 -P CheckLv2Bundle.cmake
set(files ${BUNDLE}/manifest.ttl ${BUNDLE}/Hammerlyn2_dsp.ttl ${BUNDLE}/presets.ttl)
if(EXISTS ${BUNDLE}/Hammerlyn2_ui.ttl)
  list(APPEND files ${BUNDLE}/Hammerlyn2_ui.ttl)
endif()
foreach(file ${files})
  execute_process(COMMAND ${SORDI} ${file} RESULT_VARIABLE status OUTPUT_QUIET ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "sordi cannot read ${file}: ${err}")
  endif()
endforeach()

execute_process(COMMAND ${VALIDATE} ${files} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
set(report "${out}${err}")
# Tolerated: DPF declares the KXStudio programs interfaces (plug-in and panel)
# and MOD's brand and label; lv2_validate has no schema for either vocabulary.
set(tolerated
  "Object not in range <http://lv2plug.in/ns/lv2core#ExtensionData>\n\n?[ \t]*urn:quillfeather:hammerlyn2\n[ \t]*http://lv2plug.in/ns/lv2core#extensionData\n[ \t]*http://kxstudio.sf.net/ns/lv2ext/programs#Interface"
  "Object not in range <http://lv2plug.in/ns/lv2core#ExtensionData>\n\n?[ \t]*urn:quillfeather:hammerlyn2#DPF_UI\n[ \t]*http://lv2plug.in/ns/lv2core#extensionData\n[ \t]*http://kxstudio.sf.net/ns/lv2ext/programs#UIInterface"
  "Use of undefined property\n[ \t]*urn:quillfeather:hammerlyn2\n[ \t]*http://moddevices.com/ns/mod#brand"
  "Property <http://moddevices.com/ns/mod#brand> has no label"
  "Use of undefined property\n[ \t]*urn:quillfeather:hammerlyn2\n[ \t]*http://moddevices.com/ns/mod#label"
  "Property <http://moddevices.com/ns/mod#label> has no label")
set(rest "${report}")
set(known 0)
foreach(pattern ${tolerated})
  string(REGEX REPLACE "error: ${pattern}" "" after "${rest}")
  if(NOT after STREQUAL rest)
    math(EXPR known "${known} + 1")
  endif()
  set(rest "${after}")
endforeach()
if(rest MATCHES "(error|warning|Error):")
  message(FATAL_ERROR "lv2_validate reports more than the tolerated vocabulary errors:\n${rest}")
endif()
if(NOT report MATCHES "Found ${known} errors" AND NOT (known EQUAL 0 AND status EQUAL 0))
  message(FATAL_ERROR "lv2_validate's count does not match the tolerated errors (${known}):\n${report}")
endif()
message(STATUS "lv2_validate: only the ${known} tolerated vocabulary errors")

# Each of the eight presets restores its own factory program: state "1:<n>:..."
# under the same state key, and the preset's name is the program's.
file(READ ${BUNDLE}/presets.ttl presets)
foreach(n RANGE 1 8)
  math(EXPR program "${n} - 1")
  if(NOT presets MATCHES "#preset00${n}>\n    state:state \\[\n        <urn:distrho:bank>\n\"\"\"1:${program}:[0-9a-f]+\"\"\"")
    message(FATAL_ERROR "preset ${n} does not carry program ${program}'s state")
  endif()
endforeach()

# Every port value is a decimal ("0.0", "1.0"): some hosts ignore a preset's
# value written as an integer. The same for the ports' defaults and ranges.
file(READ ${BUNDLE}/Hammerlyn2_dsp.ttl plugin)
string(REGEX MATCHALL "(pset:value|lv2:default|lv2:minimum|lv2:maximum) [^ ;]+" values "${presets}${plugin}")
list(LENGTH values count)
if(count LESS 16)
  message(FATAL_ERROR "only ${count} port values found in presets.ttl and Hammerlyn2_dsp.ttl")
endif()
foreach(value ${values})
  if(NOT value MATCHES " -?[0-9]+\\.[0-9]+(e-?[0-9]+)?$")
    message(FATAL_ERROR "a port value that is not a decimal: ${value}")
  endif()
endforeach()

# The panel's description declares its fixed size, and that it tells the host.
if(EXISTS ${BUNDLE}/Hammerlyn2_ui.ttl)
  file(READ ${BUNDLE}/Hammerlyn2_ui.ttl ui)
  foreach(feature ui:fixedSize ui:noUserResize ui:resize)
    if(NOT ui MATCHES "lv2:optionalFeature[^.]*${feature}")
      message(FATAL_ERROR "the panel's description does not declare ${feature}")
    endif()
  endforeach()
endif()
