# The window on the offscreen platform: a full image through the dialog (every step posted,
# handled and refreshed) against an in-process unit that answers at once; the time from Escape
# during a run to the end of the window; the time to a shown
# window; the resident memory with the window shown.
if(TARGET knot_qt_window AND TARGET knot_gui_test_support)
    find_package(Qt6 REQUIRED COMPONENTS Widgets Test) # imported targets are per folder
    knot_add_bench(gui_bench
        SOURCES ${CMAKE_CURRENT_LIST_DIR}/gui_bench.cpp
        LIBS knot_gui_test_support)
endif()
