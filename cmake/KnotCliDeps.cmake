# knot_cli_deps: the header-only libraries of the command line (CLI11, nlohmann-json).
# Native builds find them on the system include path. The Windows cross build must not search
# the host's /usr/include, so it gets a build-tree folder holding links to just these two.
if(NOT TARGET knot_cli_deps)
    add_library(knot_cli_deps INTERFACE)
    if(CMAKE_CROSSCOMPILING)
        set(_knot_cli_include ${CMAKE_BINARY_DIR}/cli_deps/include)
        file(MAKE_DIRECTORY ${_knot_cli_include})
        foreach(_dir CLI nlohmann)
            if(NOT EXISTS /usr/include/${_dir})
                message(FATAL_ERROR "/usr/include/${_dir} is missing: install libcli11-dev and nlohmann-json3-dev")
            endif()
            file(CREATE_LINK /usr/include/${_dir} ${_knot_cli_include}/${_dir} SYMBOLIC)
        endforeach()
        target_include_directories(knot_cli_deps SYSTEM INTERFACE ${_knot_cli_include})
    endif()
endif()
