# The XML parser, document tree, node copy and writers on untrusted bytes.
orb_add_fuzzer(NAME fuzz_xml SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_xml.cpp LIBS orb_xml)
# Nesting limits: documents nested around untrusted bytes, and node and document trees built deep in code.
orb_add_fuzzer(NAME fuzz_xml_depth SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_xml_depth.cpp LIBS orb_xml)
