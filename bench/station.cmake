# knot-fdt station against a knot-unit-sim process: the time from a unit's arrival to the first
# packet the station sends it. It starts the simulator with the tests' own support (built with the
# tests).
if(KNOT_BUILD_TESTS)
    knot_add_bench(station_bench
        SOURCES ${CMAKE_CURRENT_LIST_DIR}/station_bench.cpp
        LIBS knot_srecord_writer knot_test_sim_process knot_test_files)
    target_compile_definitions(station_bench PRIVATE
        KNOT_FDT_PATH="$<TARGET_FILE:knot-fdt>" KNOT_UNIT_SIM_PATH="$<TARGET_FILE:knot-unit-sim>")
    add_dependencies(station_bench knot-fdt knot-unit-sim)
endif()

# A station that runs all week: 10,000 plugs into a knot-unit-sim process, and what the station
# process holds after 10 %, 50 % and 100 % of them.
if(KNOT_BUILD_TESTS)
    knot_add_bench(station_week_bench
        SOURCES ${CMAKE_CURRENT_LIST_DIR}/station_week_bench.cpp
        LIBS knot_srecord_writer knot_test_sim_process knot_test_files knot_device_sim)
    target_compile_definitions(station_week_bench PRIVATE KNOT_FDT_PATH="$<TARGET_FILE:knot-fdt>")
    add_dependencies(station_week_bench knot-fdt knot-unit-sim)
endif()
