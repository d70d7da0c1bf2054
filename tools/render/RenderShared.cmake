# What the render tool shares with the web edition, as a library of its own: the
# demo score and its timeline, and the rule for what a preset or bank file is
# (bytes only; the tool's file access is PresetFileIo). Included by the tool's
# build and by the web build, which has no tools of its own.
add_library(hammerlyn2_render_shared STATIC
  ${PROJECT_SOURCE_DIR}/tools/render/DemoSong.cpp
  ${PROJECT_SOURCE_DIR}/tools/render/PresetFile.cpp
  ${PROJECT_SOURCE_DIR}/tools/render/Timeline.cpp)
hammerlyn2_target(hammerlyn2_render_shared)
hammerlyn2_expose(hammerlyn2_render_shared tools/render)
