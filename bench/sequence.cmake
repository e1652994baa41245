# A whole full image through the download core, the packet protocol and the trace log against
# an in-process unit that answers at once; the wait after the commit is left out.
knot_add_bench(sequence_bench
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/sequence_bench.cpp
    LIBS knot_logic knot_loopback_port knot_variant_q knot_variant_p)
