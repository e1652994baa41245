# knot-fdt flashing a full model P image into 1 and into 8 simulated units at once, as processes:
# wall time, knot-fdt's own CPU time per block and lane, and its peak memory.
knot_add_bench(lanes_bench
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/lanes_bench.cpp
    LIBS knot_srecord_writer knot_test_process knot_test_files)
target_compile_definitions(lanes_bench PRIVATE
    KNOT_FDT_PATH="$<TARGET_FILE:knot-fdt>" KNOT_UNIT_SIM_PATH="$<TARGET_FILE:knot-unit-sim>")
add_dependencies(lanes_bench knot-fdt knot-unit-sim)
