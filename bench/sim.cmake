# One data block and its acknowledgment through the simulated ports: the in-process loopback,
# and the knot-unit-sim server over its local sockets (the server runs on a thread here).
knot_add_bench(sim_bench
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/sim_bench.cpp
    LIBS knot_sim_server knot_loopback_port Threads::Threads)
