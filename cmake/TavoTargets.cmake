# Shared settings for the project's own targets.

if(WIN32 AND NOT MSVC)
    # What we ship holds no path of the machine that built it (`__FILE__`, debugging sections).
    get_filename_component(tavo_source_root ${CMAKE_CURRENT_LIST_DIR}/.. ABSOLUTE)
    add_compile_options(-ffile-prefix-map=${tavo_source_root}/= -ffile-prefix-map=${CMAKE_BINARY_DIR}/=)
endif()

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

# Tests that run the real client need its fixed port, 127.0.0.1:15201. Where the machine allows
# a private network namespace they each get one, and run side by side with each other and with a
# demo or a benchmark; elsewhere they take turns on the port.
set(TAVO_NETNS_RUN ${CMAKE_CURRENT_LIST_DIR}/../tools/netns-run.sh)
execute_process(COMMAND sh ${TAVO_NETNS_RUN} --check RESULT_VARIABLE tavo_netns_check OUTPUT_QUIET ERROR_QUIET)
if(tavo_netns_check EQUAL 0)
    set(TAVO_NETNS ON)
    message(STATUS "Tests on the link's fixed port: each in a private network namespace")
else()
    set(TAVO_NETNS OFF)
    message(STATUS "Tests on the link's fixed port: one at a time (no private network namespace here)")
endif()

# tavo_fixed_port_test(NAME name COMMAND command args...): a test that listens on 15201.
function(tavo_fixed_port_test)
    cmake_parse_arguments(T "" "NAME" "COMMAND" ${ARGN})
    if(TAVO_NETNS)
        add_test(NAME ${T_NAME} COMMAND sh ${TAVO_NETNS_RUN} ${T_COMMAND})
    else()
        add_test(NAME ${T_NAME} COMMAND ${T_COMMAND})
        set_tests_properties(${T_NAME} PROPERTIES RESOURCE_LOCK link_port)
    endif()
endfunction()

# tavo_add_test(NAME name SOURCES files... LIBS libs... [ENV VAR=value...] [FIXED_PORT])
# One executable per unit, run headless under ctest. FIXED_PORT: it listens on 15201.
function(tavo_add_test)
    cmake_parse_arguments(T "FIXED_PORT" "NAME" "SOURCES;LIBS;ENV" ${ARGN})
    add_executable(${T_NAME} ${T_SOURCES})
    set_target_properties(${T_NAME} PROPERTIES AUTOMOC ON)
    if(NOT WIN32)
        # On Windows they stay in bin/, beside the DLLs they load.
        set_target_properties(${T_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    endif()
    target_link_libraries(${T_NAME} PRIVATE Qt5::Test ${T_LIBS})
    tavo_warnings(${T_NAME})
    if(T_FIXED_PORT)
        tavo_fixed_port_test(NAME ${T_NAME} COMMAND $<TARGET_FILE:${T_NAME}>)
    else()
        add_test(NAME ${T_NAME} COMMAND ${T_NAME})
    endif()
    file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    set_tests_properties(${T_NAME} PROPERTIES
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;${T_ENV}"
        WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/tests
        TIMEOUT 300)
endfunction()

# tavo_hid_win64(DIR): the keyboard library's Windows build (hid/windows, with its own toolchain:
# win32 thread model, static runtime) as the external project hid_win64 in DIR; its DLL, the
# stand-in SDL2.dll and the Wine test program land in DIR/bin.
function(tavo_hid_win64 dir)
    include(ExternalProject)
    ExternalProject_Add(hid_win64
        SOURCE_DIR ${PROJECT_SOURCE_DIR}/hid/windows
        BINARY_DIR ${dir}
        CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/hid/windows/mingw-w64-x86_64.cmake
                   -DCMAKE_BUILD_TYPE=Release -DTAVO_WERROR=${TAVO_WERROR} -DTAVO_VERSION=${PROJECT_VERSION}
        BUILD_ALWAYS TRUE
        INSTALL_COMMAND ""
        BUILD_BYPRODUCTS ${dir}/bin/TAVO_HID_static.dll ${dir}/bin/SDL2.dll ${dir}/bin/hid_wine_test.exe)
endfunction()

# Who the Windows files say they come from: their version resources and the installer read these.
set(TAVO_COMPANY "Nimbara" CACHE STRING "Publisher named in the version resources and Apps & features")
set(TAVO_PRODUCT "Nimbara Workspace" CACHE STRING "Product name in the version resources and the installer")
set(TAVO_COPYRIGHT "Copyright (C) 2026 Nimbara" CACHE STRING "LegalCopyright of the Windows files")
set(TAVO_SUPPORT_URL "https://nimbara.example/support" CACHE STRING
    "Support link shown in Apps & features; a release sets its own")

# tavo_version_resource(target VERSION x.y.z DESCRIPTION_KO text DESCRIPTION_EN text [ICON file]):
# the version resource of a Windows program or DLL, in Korean and English.
function(tavo_version_resource target)
    cmake_parse_arguments(R "" "VERSION;DESCRIPTION_KO;DESCRIPTION_EN;ICON" "" ${ARGN})
    get_target_property(type ${target} TYPE)
    if(type STREQUAL "EXECUTABLE")
        set(TAVO_RC_FILETYPE VFT_APP)
        set(suffix .exe)
    else()
        set(TAVO_RC_FILETYPE VFT_DLL)
        set(suffix .dll)
    endif()
    get_target_property(output_name ${target} OUTPUT_NAME)
    if(NOT output_name)
        set(output_name ${target})
    endif()
    set(TAVO_RC_INTERNAL_NAME ${output_name})
    set(TAVO_RC_FILE_NAME ${output_name}${suffix})
    set(TAVO_RC_VERSION ${R_VERSION})
    string(REPLACE "." "," TAVO_RC_VERSION_COMMAS ${R_VERSION})
    set(TAVO_RC_DESCRIPTION_KO ${R_DESCRIPTION_KO})
    set(TAVO_RC_DESCRIPTION_EN ${R_DESCRIPTION_EN})
    if(R_ICON)
        set(TAVO_RC_ICON_LINE "IDI_ICON1 ICON \"${R_ICON}\"")
    else()
        set(TAVO_RC_ICON_LINE "")
    endif()
    set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
    configure_file(${CMAKE_CURRENT_FUNCTION_LIST_DIR}/TavoVersion.rc.in ${rc} @ONLY)
    if(R_ICON)
        set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS ${R_ICON})
    endif()
    target_sources(${target} PRIVATE ${rc})
endfunction()
