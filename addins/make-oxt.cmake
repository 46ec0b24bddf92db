# Builds the LibreOffice Writer extension: copies its sources into WORK, turns the Basic
# module source (.bas) into the XML module file LibreOffice loads (.xba), and zips WORK into
# OUTPUT. Run with cmake -DSOURCE=... -DWORK=... -DOUTPUT=... -P make-oxt.cmake
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")
file(GLOB_RECURSE sources RELATIVE "${SOURCE}" "${SOURCE}/*")
set(members)
foreach(source ${sources})
    get_filename_component(folder "${WORK}/${source}" DIRECTORY)
    file(MAKE_DIRECTORY "${folder}")
    if(source MATCHES "^(.*)\\.bas$")
        set(module "${CMAKE_MATCH_1}")
        get_filename_component(name "${module}" NAME)
        file(READ "${SOURCE}/${source}" code)
        string(REPLACE "&" "&amp;" code "${code}")
        string(REPLACE "<" "&lt;" code "${code}")
        string(REPLACE ">" "&gt;" code "${code}")
        string(REPLACE "\"" "&quot;" code "${code}")
        file(WRITE "${WORK}/${module}.xba"
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<!DOCTYPE script:module PUBLIC \"-//OpenOffice.org//DTD OfficeDocument 1.0//EN\" \"module.dtd\">\n"
            "<script:module xmlns:script=\"http://openoffice.org/2000/script\" script:name=\"${name}\" "
            "script:language=\"StarBasic\">${code}</script:module>\n")
        list(APPEND members "${module}.xba")
    else()
        configure_file("${SOURCE}/${source}" "${WORK}/${source}" COPYONLY)
        list(APPEND members "${source}")
    endif()
endforeach()
list(SORT members)
get_filename_component(output_folder "${OUTPUT}" DIRECTORY)
file(MAKE_DIRECTORY "${output_folder}")
# A fixed time stamp keeps the archive the same from build to build.
execute_process(
    COMMAND ${CMAKE_COMMAND} -E tar cf "${OUTPUT}" --format=zip "--mtime=2026-01-01 00:00:00 UTC" -- ${members}
    WORKING_DIRECTORY "${WORK}"
    RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "Could not zip the Writer extension into ${OUTPUT}")
endif()
