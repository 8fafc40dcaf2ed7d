add_executable(localisation_bench localisation_load.cpp)
target_link_libraries(localisation_bench PRIVATE orb_localisation benchmark::benchmark)
target_compile_options(localisation_bench PRIVATE ${ORB_WARNING_FLAGS})

add_executable(exception_bench exception_throw.cpp)
target_link_libraries(exception_bench PRIVATE orb_exception_dialog benchmark::benchmark)
target_compile_options(exception_bench PRIVATE ${ORB_WARNING_FLAGS})
