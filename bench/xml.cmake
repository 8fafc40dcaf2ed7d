# XML parser throughput against expat on a generated update index.
find_package(EXPAT REQUIRED)
add_executable(xml_bench ${CMAKE_CURRENT_LIST_DIR}/xml_bench.cpp)
target_compile_options(xml_bench PRIVATE ${ORB_WARNING_FLAGS})
target_link_libraries(xml_bench PRIVATE orb_xml benchmark::benchmark EXPAT::EXPAT)
