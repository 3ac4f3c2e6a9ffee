# CLI11 and nlohmann/json, header-only, from the Debian packages libcli11-dev and
# nlohmann-json3-dev. The build sees only their two folders, through links in a build-tree
# folder given with -isystem: a cross build must never search /usr/include itself.
if(TARGET kestro_header_libraries)
    return()
endif()
set(KESTRO_HEADER_LIBRARIES_ROOT "/usr/include" CACHE PATH
    "Folder that holds CLI/CLI.hpp and nlohmann/json.hpp")
set(_kestro_links ${PROJECT_BINARY_DIR}/header-libraries)
file(MAKE_DIRECTORY ${_kestro_links})
foreach(_lib_and_header CLI:CLI.hpp nlohmann:json.hpp)
    string(REPLACE ":" ";" _pair ${_lib_and_header})
    list(GET _pair 0 _lib)
    list(GET _pair 1 _header)
    if(NOT EXISTS ${KESTRO_HEADER_LIBRARIES_ROOT}/${_lib}/${_header})
        message(FATAL_ERROR "${KESTRO_HEADER_LIBRARIES_ROOT}/${_lib}/${_header} is missing: "
                            "run scripts/install-deps.sh (libcli11-dev, nlohmann-json3-dev)")
    endif()
    file(CREATE_LINK ${KESTRO_HEADER_LIBRARIES_ROOT}/${_lib} ${_kestro_links}/${_lib} SYMBOLIC)
endforeach()
add_library(kestro_header_libraries INTERFACE)
target_include_directories(kestro_header_libraries SYSTEM INTERFACE ${_kestro_links})
