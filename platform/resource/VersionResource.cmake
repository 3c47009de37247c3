# norn_add_version_resource(<target> FILE_VERSION a.b.c.d [PRODUCT_VERSION a.b.c.d]
#                           [FILE_TYPE DLL|APP] STRINGS "Key=Value" ...)
#
# Gives <target> a Windows version resource: norn-versiongen writes
# <current binary dir>/<target>_version.cpp, whose VS_VERSIONINFO block lands in the ELF section
# ".norn_version" of the target's file, where GetFileVersionInfoW finds it. PRODUCT_VERSION
# defaults to FILE_VERSION and FILE_TYPE to DLL. Versions have one to four numbers of at most
# 65535. May be called from any directory, also before the tool's target is defined.
include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/VersionResourceArguments.cmake)

function(norn_add_version_resource target)
    norn_version_resource_arguments(norn_add_version_resource ${target} ${ARGN})

    # The arguments go through a file, one per line, so that spaces and quotes survive and a
    # changed argument regenerates the source (configure_file only touches it on change).
    set(lines "--file-version\n${ARG_FILE_VERSION}\n--product-version\n${ARG_PRODUCT_VERSION}\n")
    string(APPEND lines "--file-type\n${ARG_FILE_TYPE}\n")
    foreach(entry IN LISTS ARG_STRINGS)
        if(entry MATCHES "\n" OR NOT entry MATCHES "^[^=]+=")
            message(FATAL_ERROR "norn_add_version_resource(${target}): bad string '${entry}'")
        endif()
        string(APPEND lines "--string\n${entry}\n")
    endforeach()
    set(base "${CMAKE_CURRENT_BINARY_DIR}/${target}_version")
    file(WRITE "${base}.args.new" "${lines}")
    configure_file("${base}.args.new" "${base}.args" COPYONLY)

    add_custom_command(
        OUTPUT "${base}.cpp"
        COMMAND norn-versiongen --output "${base}.cpp" "@${base}.args"
        DEPENDS norn-versiongen "${base}.args"
        COMMENT "Generating the version resource of ${target}"
        VERBATIM)
    target_sources(${target} PRIVATE "${base}.cpp")

    # A custom command only gets a build rule in targets of its own directory: a target defined
    # elsewhere needs a helper target here to generate its source.
    get_target_property(target_dir ${target} SOURCE_DIR)
    if(NOT target_dir STREQUAL CMAKE_CURRENT_SOURCE_DIR)
        add_custom_target(${target}_version_resource DEPENDS "${base}.cpp")
        add_dependencies(${target} ${target}_version_resource)
    endif()
endfunction()
