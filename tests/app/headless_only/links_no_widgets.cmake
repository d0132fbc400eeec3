# Runs the headless command built alone and checks what it loads: Qt Core, never Qt Gui or Qt Widgets.
# -DPROGRAM=<the executable> -DFOLDER=<an empty folder to keep settings in>
execute_process(COMMAND ldd ${PROGRAM} OUTPUT_VARIABLE libraries RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "ldd ${PROGRAM} failed: ${status}")
endif()
if(NOT libraries MATCHES "libQt6Core")
    message(FATAL_ERROR "the headless command does not load Qt Core; is this the right program?\n${libraries}")
endif()
if(libraries MATCHES "libQt6(Widgets|Gui)")
    message(FATAL_ERROR "the headless command loads ${CMAKE_MATCH_0}:\n${libraries}")
endif()
file(REMOVE_RECURSE ${FOLDER})
execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY --unset=QT_QPA_PLATFORM
    ${PROGRAM} --check --folder ${FOLDER} OUTPUT_VARIABLE output RESULT_VARIABLE status)
if(NOT status EQUAL 0 OR NOT output STREQUAL "nothing to check\n")
    message(FATAL_ERROR "--check in an empty folder ended with ${status} and printed: ${output}")
endif()
