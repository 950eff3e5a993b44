# Shared settings for the project's own targets.

function(tavo_warnings target)
    if(MSVC)
        target_compile_options(${target} PRIVATE /W4)
        if(TAVO_WERROR)
            target_compile_options(${target} PRIVATE /WX)
        endif()
    else()
        target_compile_options(${target} PRIVATE -Wall -Wextra)
        if(TAVO_WERROR)
            target_compile_options(${target} PRIVATE -Werror)
        endif()
    endif()
endfunction()

# tavo_add_test(NAME name SOURCES files... LIBS libs... [ENV VAR=value...])
# One executable per unit, run headless under ctest.
function(tavo_add_test)
    cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS;ENV" ${ARGN})
    add_executable(${T_NAME} ${T_SOURCES})
    set_target_properties(${T_NAME} PROPERTIES AUTOMOC ON RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    target_link_libraries(${T_NAME} PRIVATE Qt5::Test ${T_LIBS})
    tavo_warnings(${T_NAME})
    add_test(NAME ${T_NAME} COMMAND ${T_NAME})
    set_tests_properties(${T_NAME} PROPERTIES
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;${T_ENV}"
        WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/tests
        TIMEOUT 300)
endfunction()
