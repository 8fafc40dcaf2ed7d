# Shared compile settings and helpers for every target of the project.

set(ORB_WARNING_FLAGS -Wall -Wextra -Wpedantic -Wno-unused-parameter)
if(ORB_WARNINGS_AS_ERRORS)
    list(APPEND ORB_WARNING_FLAGS -Werror)
endif()

if(ORB_SANITIZE)
    add_compile_options(-fsanitize=${ORB_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
    add_link_options(-fsanitize=${ORB_SANITIZE})
endif()

# orb_add_library(NAME <folder> SOURCES ... [PUBLIC_LIBS ...] [PRIVATE_LIBS ...])
# Creates the static library orb_<folder>; includes are written as "folder/Header.h".
function(orb_add_library)
    cmake_parse_arguments(ARG "" "NAME" "SOURCES;PUBLIC_LIBS;PRIVATE_LIBS" ${ARGN})
    set(target orb_${ARG_NAME})
    add_library(${target} STATIC ${ARG_SOURCES})
    target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_compile_options(${target} PRIVATE ${ORB_WARNING_FLAGS})
    target_link_libraries(${target} PUBLIC ${ARG_PUBLIC_LIBS} PRIVATE ${ARG_PRIVATE_LIBS})
    add_library(orb::${ARG_NAME} ALIAS ${target})
endfunction()

# orb_add_test(NAME <name> SOURCES ... LIBS ...)
# One GoogleTest executable, its tests discovered into CTest.
function(orb_add_test)
    cmake_parse_arguments(ARG "" "NAME" "SOURCES;LIBS" ${ARGN})
    add_executable(${ARG_NAME} ${ARG_SOURCES})
    target_compile_options(${ARG_NAME} PRIVATE ${ORB_WARNING_FLAGS})
    target_link_libraries(${ARG_NAME} PRIVATE ${ARG_LIBS} orb_test_support GTest::gtest GTest::gmock GTest::gtest_main)
    if(CMAKE_CROSSCOMPILING)
        # One CTest entry per executable: each start of the emulator (wine) costs a second or more.
        add_test(NAME ${ARG_NAME} COMMAND ${ARG_NAME} WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
        set_tests_properties(${ARG_NAME} PROPERTIES ENVIRONMENT "ORB_SOURCE_DIR=${PROJECT_SOURCE_DIR}" TIMEOUT 600)
        return()
    endif()
    gtest_discover_tests(${ARG_NAME}
        WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
        DISCOVERY_TIMEOUT 60
        PROPERTIES ENVIRONMENT "ORB_SOURCE_DIR=${PROJECT_SOURCE_DIR}"
                   TIMEOUT 300)
endfunction()
