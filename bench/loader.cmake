# Loading a full image (every CPU and flash block, ~1.9 MB), beside srec_info on the same file.
knot_add_bench(loader_bench
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/loader_bench.cpp
    LIBS knot_core knot_variant_p knot_srecord_writer)
