# Login window start-up with and without the browser strip, each in a child process of its own (the browser engine
# starts once per process), without a strip as the baseline of the same run.
if(TARGET orb_gui)
    add_executable(gui_bench ${CMAKE_CURRENT_LIST_DIR}/gui_bench.cpp)
    target_compile_options(gui_bench PRIVATE ${ORB_WARNING_FLAGS})
    target_link_libraries(gui_bench PRIVATE orb_gui benchmark::benchmark)
endif()
