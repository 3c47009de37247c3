# norn_add_windows_version_resource(<target> FILE_VERSION a.b.c.d [PRODUCT_VERSION a.b.c.d]
#                                   [FILE_TYPE DLL|APP] STRINGS "Key=Value" ...)
#
# The Windows counterpart of norn_add_version_resource (platform/resource/VersionResource.cmake),
# with the same arguments: writes <current binary dir>/<target>_version.rc, a VERSIONINFO
# resource with the strings in the table 040904B0 and the translation 0x0409/0x04B0, which
# windres compiles and the linker puts into the target's file. Needs the RC language.
include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/VersionResourceArguments.cmake)

function(norn_add_windows_version_resource target)
    norn_version_resource_arguments(norn_add_windows_version_resource ${target} ${ARGN})

    # "2.60.100" becomes "2,60,100,0": one to four numbers of at most 65535.
    set(binary_versions "")
    foreach(version IN ITEMS "${ARG_FILE_VERSION}" "${ARG_PRODUCT_VERSION}")
        string(REPLACE "." ";" numbers "${version}")
        list(LENGTH numbers count)
        while(count LESS 4)
            list(APPEND numbers 0)
            math(EXPR count "${count} + 1")
        endwhile()
        foreach(number IN LISTS numbers)
            if(number GREATER 65535)
                message(FATAL_ERROR "norn_add_windows_version_resource(${target}): bad version '${version}'")
            endif()
        endforeach()
        list(JOIN numbers "," binary)
        list(APPEND binary_versions "${binary}")
    endforeach()
    list(GET binary_versions 0 file_version)
    list(GET binary_versions 1 product_version)

    # As norn-versiongen: a key may be given once (in any case), and "FileVersion" and
    # "ProductVersion" are added from the versions' texts unless given.
    set(strings ${ARG_STRINGS})
    set(keys "")
    foreach(entry IN LISTS strings)
        if(entry MATCHES "\n" OR NOT entry MATCHES "^([^=]+)=(.*)$")
            message(FATAL_ERROR "norn_add_windows_version_resource(${target}): bad string '${entry}'")
        endif()
        string(TOLOWER "${CMAKE_MATCH_1}" key)
        if(key IN_LIST keys)
            message(FATAL_ERROR "norn_add_windows_version_resource(${target}): string given twice: '${entry}'")
        endif()
        list(APPEND keys "${key}")
    endforeach()
    if(NOT "fileversion" IN_LIST keys)
        list(APPEND strings "FileVersion=${ARG_FILE_VERSION}")
    endif()
    if(NOT "productversion" IN_LIST keys)
        list(APPEND strings "ProductVersion=${ARG_PRODUCT_VERSION}")
    endif()

    # Resource script strings: a backslash and a double quote are escaped by doubling.
    set(values "")
    foreach(entry IN LISTS strings)
        string(REGEX MATCH "^([^=]+)=(.*)$" ignored "${entry}")
        set(key "${CMAKE_MATCH_1}")
        set(value "${CMAKE_MATCH_2}")
        string(REPLACE "\\" "\\\\" value "${value}")
        string(REPLACE "\"" "\"\"" value "${value}")
        string(APPEND values "            VALUE \"${key}\", \"${value}\"\n")
    endforeach()

    set(script "#include <winver.h>\n\n")
    string(APPEND script "VS_VERSION_INFO VERSIONINFO\n")
    string(APPEND script "FILEVERSION ${file_version}\n")
    string(APPEND script "PRODUCTVERSION ${product_version}\n")
    string(APPEND script "FILEFLAGSMASK VS_FFI_FILEFLAGSMASK\n")
    string(APPEND script "FILEFLAGS 0\n")
    string(APPEND script "FILEOS VOS_NT_WINDOWS32\n")
    string(APPEND script "FILETYPE VFT_${ARG_FILE_TYPE}\n")
    string(APPEND script "FILESUBTYPE VFT2_UNKNOWN\n")
    string(APPEND script "BEGIN\n")
    string(APPEND script "    BLOCK \"StringFileInfo\"\n    BEGIN\n")
    string(APPEND script "        BLOCK \"040904B0\"\n        BEGIN\n${values}        END\n")
    string(APPEND script "    END\n")
    string(APPEND script "    BLOCK \"VarFileInfo\"\n    BEGIN\n")
    string(APPEND script "        VALUE \"Translation\", 0x0409, 0x04B0\n")
    string(APPEND script "    END\n")
    string(APPEND script "END\n")

    # Written only when it changed, so that an unchanged configuration rebuilds nothing.
    set(base "${CMAKE_CURRENT_BINARY_DIR}/${target}_version")
    file(WRITE "${base}.rc.new" "${script}")
    configure_file("${base}.rc.new" "${base}.rc" COPYONLY)
    target_sources(${target} PRIVATE "${base}.rc")
endfunction()
