# The Windows build's runtime and package. Every program in bin/ runs there as it is (under Wine
# in the tests), with the DLLs and plugins it loads beside it; `cmake --install` lays out the
# folder a user gets and the installer packs.

# Qt as DLLs, and the plugins the client loads: the Windows platform, the native style and the
# GIF reader for the spinner. Qt Test and the offscreen platform serve the tests only.
set(tavo_qt_dlls $<TARGET_FILE:Qt5::Core> $<TARGET_FILE:Qt5::Gui> $<TARGET_FILE:Qt5::Widgets>
                 $<TARGET_FILE:Qt5::Network>)
set(tavo_qt_plugins platforms $<TARGET_FILE:Qt5::QWindowsIntegrationPlugin>
                    styles $<TARGET_FILE:Qt5::QWindowsVistaStylePlugin>
                    imageformats $<TARGET_FILE:Qt5::QGifPlugin>)

# The C++ runtime that Qt and the programs were built with (the posix thread model's).
set(tavo_runtime_dlls "")
foreach(dll libgcc_s_seh-1.dll libstdc++-6.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                    OUTPUT_VARIABLE dll_path OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT IS_ABSOLUTE "${dll_path}" OR NOT EXISTS "${dll_path}")
        message(FATAL_ERROR "${dll} not found by ${CMAKE_CXX_COMPILER}: run ./tavo deps")
    endif()
    list(APPEND tavo_runtime_dlls ${dll_path})
endforeach()

# The keyboard library, built with its own toolchain.
tavo_hid_win64(${CMAKE_BINARY_DIR}/hid)
set(tavo_hid_dll ${CMAKE_BINARY_DIR}/hid/bin/TAVO_HID_static.dll)

set(bin ${CMAKE_BINARY_DIR}/bin)
set(copy_plugins "")
set(plugin_dir "")
foreach(item IN LISTS tavo_qt_plugins)
    if(plugin_dir STREQUAL "")
        set(plugin_dir ${item})
        list(APPEND copy_plugins COMMAND ${CMAKE_COMMAND} -E make_directory ${bin}/${plugin_dir})
    else()
        list(APPEND copy_plugins COMMAND ${CMAKE_COMMAND} -E copy_if_different ${item} ${bin}/${plugin_dir})
        install(FILES ${item} DESTINATION ${plugin_dir})
        set(plugin_dir "")
    endif()
endforeach()
add_custom_target(tavo_windows_runtime ALL
    COMMAND ${CMAKE_COMMAND} -E make_directory ${bin}
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${tavo_qt_dlls} ${tavo_runtime_dlls} ${tavo_hid_dll} ${bin}
    ${copy_plugins}
    COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:Qt5::Test> ${bin}
    COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:Qt5::QOffscreenIntegrationPlugin> ${bin}/platforms
    COMMENT "Putting the Qt and C++ runtime DLLs and the keyboard library beside the programs"
    VERBATIM)
add_dependencies(tavo_windows_runtime hid_win64)

install(TARGETS TAVO_DSK RUNTIME DESTINATION .)
install(FILES ${tavo_qt_dlls} ${tavo_runtime_dlls} ${tavo_hid_dll} DESTINATION .)
