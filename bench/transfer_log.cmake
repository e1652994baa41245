# The trace line cost: a line appended to a current file of 4,999 lines, with the remembered
# count and with a full count of the file.
knot_add_bench(transfer_log_bench
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/transfer_log_bench.cpp
    LIBS knot_device)
