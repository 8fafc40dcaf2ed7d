# An update index from the server, walked by the cache check into a scratch installation directory.
orb_add_fuzzer(NAME fuzz_update_index SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_update_index.cpp LIBS orb_update)

# The signature file, serial, expiry and key texts of a signed update, and the store of accepted serials.
orb_add_fuzzer(NAME fuzz_update_signature SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_update_signature.cpp LIBS orb_update)
