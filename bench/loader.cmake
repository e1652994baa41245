# Loading a full image (every CPU and flash block, ~1.9 MB) in-process, and the whole
# "knot-fdt inspect" process beside srec_info on the same file.
knot_add_bench(loader_bench
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/loader_bench.cpp
    LIBS knot_core knot_variant_p knot_srecord_writer knot_test_process)
target_compile_definitions(loader_bench PRIVATE KNOT_FDT_PATH="$<TARGET_FILE:knot-fdt>")
add_dependencies(loader_bench knot-fdt)
