# The scalar voice and engine the lanes replaced (the reference the engine is
# compared with bit for bit, and measured beside), and the plain timing program
# of bench/EngineTiming.cpp, which the builds without Google Benchmark (Windows,
# the web) have too. Included by the engine tests and by the web build.
hammerlyn2_library(hammerlyn2_engine_reference tests/engine
  SOURCES ${PROJECT_SOURCE_DIR}/tests/engine/ReferenceVoice.cpp ${PROJECT_SOURCE_DIR}/tests/engine/ReferenceEngine.cpp
  LIBS hammerlyn2_engine)
add_executable(engine_timing ${PROJECT_SOURCE_DIR}/bench/EngineTiming.cpp)
hammerlyn2_target(engine_timing)
target_link_libraries(engine_timing PRIVATE hammerlyn2_engine_reference)
