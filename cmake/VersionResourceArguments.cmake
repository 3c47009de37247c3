# norn_version_resource_arguments(<caller> <target> FILE_VERSION a.b.c.d [PRODUCT_VERSION a.b.c.d]
#                                 [FILE_TYPE DLL|APP] STRINGS "Key=Value" ...)
#
# The arguments that norn_add_version_resource (ELF section, Linux) and
# norn_add_windows_version_resource (windres) take, checked the same way for both: sets
# ARG_FILE_VERSION, ARG_PRODUCT_VERSION (FILE_VERSION when not given), ARG_FILE_TYPE (DLL when not
# given) and ARG_STRINGS in the caller's scope. Versions have one to four numbers; errors name
# <caller> and <target>.
function(norn_version_resource_arguments caller target)
    cmake_parse_arguments(PARSE_ARGV 2 ARG "" "FILE_VERSION;PRODUCT_VERSION;FILE_TYPE" "STRINGS")
    if(ARG_UNPARSED_ARGUMENTS)
        message(FATAL_ERROR "${caller}: unexpected ${ARG_UNPARSED_ARGUMENTS}")
    endif()
    if(NOT TARGET ${target})
        message(FATAL_ERROR "${caller}: ${target} is not a target")
    endif()
    if(NOT DEFINED ARG_FILE_VERSION)
        message(FATAL_ERROR "${caller}(${target}): FILE_VERSION is required")
    endif()
    if(NOT DEFINED ARG_PRODUCT_VERSION)
        set(ARG_PRODUCT_VERSION "${ARG_FILE_VERSION}")
    endif()
    if(NOT DEFINED ARG_FILE_TYPE)
        set(ARG_FILE_TYPE DLL)
    endif()
    foreach(version IN ITEMS "${ARG_FILE_VERSION}" "${ARG_PRODUCT_VERSION}")
        if(NOT version MATCHES "^[0-9]+(\\.[0-9]+)?(\\.[0-9]+)?(\\.[0-9]+)?$")
            message(FATAL_ERROR "${caller}(${target}): bad version '${version}'")
        endif()
    endforeach()
    if(NOT ARG_FILE_TYPE MATCHES "^(DLL|APP)$")
        message(FATAL_ERROR "${caller}(${target}): FILE_TYPE must be DLL or APP")
    endif()
    set(ARG_FILE_VERSION "${ARG_FILE_VERSION}" PARENT_SCOPE)
    set(ARG_PRODUCT_VERSION "${ARG_PRODUCT_VERSION}" PARENT_SCOPE)
    set(ARG_FILE_TYPE "${ARG_FILE_TYPE}" PARENT_SCOPE)
    set(ARG_STRINGS "${ARG_STRINGS}" PARENT_SCOPE)
endfunction()
