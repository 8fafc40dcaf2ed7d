# Update engine: the cache check of an up-to-date index against a bare stat loop, a full update from nginx
# against the curl command line, and the peak memory of a 1 GB download (plain, as ".gz", with gzip content coding). Needs the test fixtures (nginx).
if(TARGET orb_test_servers AND TARGET orb_update)
    add_executable(update_bench ${CMAKE_CURRENT_LIST_DIR}/update_bench.cpp)
    target_compile_options(update_bench PRIVATE ${ORB_WARNING_FLAGS})
    target_link_libraries(update_bench PRIVATE orb_update orb_test_servers benchmark::benchmark)
endif()
