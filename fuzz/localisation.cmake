orb_add_fuzzer(NAME fuzz_ini SOURCES fuzz_ini.cpp LIBS orb_localisation)
orb_add_fuzzer(NAME fuzz_format SOURCES fuzz_format.cpp LIBS orb_localisation)
