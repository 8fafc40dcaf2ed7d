# Stored texts of the user settings file and version.info bytes of installations, both editable by anyone.
orb_add_fuzzer(NAME fuzz_saved_password SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_saved_password.cpp LIBS orb_launcher)
