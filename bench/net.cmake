# HTTP provider: 1,000 small GETs against nginx beside a bare reused libcurl handle, and the abort latency.
# It starts its servers with the test fixtures, so it exists only when the tests are built.
if(TARGET orb_test_servers)
    find_package(CURL REQUIRED)
    add_executable(net_bench ${CMAKE_CURRENT_LIST_DIR}/net_bench.cpp)
    target_compile_options(net_bench PRIVATE ${ORB_WARNING_FLAGS})
    target_compile_definitions(net_bench PRIVATE ORB_SOURCE_DIR_DEFAULT="${PROJECT_SOURCE_DIR}")
    target_link_libraries(net_bench PRIVATE orb_net orb_test_servers benchmark::benchmark CURL::libcurl)
endif()
