# Answers of the registration service and of the password service, as a hostile server could send them.
orb_add_fuzzer(NAME fuzz_registration_answer SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_registration_answer.cpp
               LIBS orb_registration)
