# The line's costs: shipping a backlog of 10,000 records into a real PostgreSQL, what the shipper
# adds to each run (the writer's Notify, and the wake-up that ships one record), and the metrics
# file's rewrite after each run.
if(TARGET knot_test_line_servers)
    knot_add_bench(line_bench
        SOURCES ${CMAKE_CURRENT_LIST_DIR}/line_bench.cpp
        LIBS knot_station knot_test_line_servers knot_test_files)
endif()
