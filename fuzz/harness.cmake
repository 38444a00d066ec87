# The fuzz targets' bodies as a library, for the fuzz targets and for the tests that
# replay the kept corpora. Included from fuzz/ and tests/reliability/; defined once.
if(NOT TARGET wintrel_fuzz_harness AND TARGET wintrel_sim AND TARGET wintrel_app)
  add_library(wintrel_fuzz_harness STATIC
    ${PROJECT_SOURCE_DIR}/fuzz/harness_pictures.cpp
    ${PROJECT_SOURCE_DIR}/fuzz/harness_stored.cpp
    ${PROJECT_SOURCE_DIR}/fuzz/harness_icons.cpp
    ${PROJECT_SOURCE_DIR}/fuzz/harness_targets.cpp
    ${PROJECT_SOURCE_DIR}/fuzz/harness_units.cpp)
  target_include_directories(wintrel_fuzz_harness PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(wintrel_fuzz_harness PUBLIC
    wintrel_image wintrel_runtime wintrel_stage wintrel_sim wintrel_win32_formats wintrel_app
    ZLIB::ZLIB)
endif()
