# Loading a full image (every CPU and flash block, ~1.9 MB) in-process, and the whole
# "knot-fdt inspect" process beside srec_info on the same file.
knot_add_bench(loader_bench
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/loader_bench.cpp
    LIBS knot_core knot_variant_p knot_srecord_writer knot_test_process)
# The knot-fdt it runs is this build's, or KNOT_BENCH_KNOT_FDT: one built elsewhere with the same
# optimisation (CI gives the run preset's, which it has built already, instead of building it again).
set(KNOT_BENCH_KNOT_FDT "" CACHE FILEPATH "The knot-fdt program loader_bench runs (empty: this build's)")
if(KNOT_BENCH_KNOT_FDT)
    target_compile_definitions(loader_bench PRIVATE KNOT_FDT_PATH="${KNOT_BENCH_KNOT_FDT}")
else()
    target_compile_definitions(loader_bench PRIVATE KNOT_FDT_PATH="$<TARGET_FILE:knot-fdt>")
    add_dependencies(loader_bench knot-fdt)
endif()
