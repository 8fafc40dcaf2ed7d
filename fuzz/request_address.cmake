# Addresses from configuration answers and settings files through the request-address parser and writer.
orb_add_fuzzer(NAME fuzz_request_address SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_request_address.cpp LIBS orb_net)
