# The XML parser, document tree, node copy and writers on untrusted bytes.
orb_add_fuzzer(NAME fuzz_xml SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_xml.cpp LIBS orb_xml)
