# One interface target carries the flags every Ortova target is built with.
add_library(ortova_flags INTERFACE)
target_compile_options(ortova_flags INTERFACE
    -Wall -Wextra -pedantic -Wshadow -Wnon-virtual-dtor -Woverloaded-virtual -Wsuggest-override)
if(ORTOVA_WERROR)
    target_compile_options(ortova_flags INTERFACE -Werror)
endif()
target_compile_definitions(ortova_flags INTERFACE
    QT_NO_CAST_FROM_ASCII QT_NO_CAST_TO_ASCII QT_NO_CAST_FROM_BYTEARRAY QT_USE_QSTRINGBUILDER)

# ortova_library(<name> SOURCES <files...> LIBS <deps...>): a static library from the sources
# listed (headers and forms included), linked to the shared flags. A missing file is an error.
function(ortova_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    if(NOT ARG_SOURCES)
        message(FATAL_ERROR "ortova_library(${name}): no SOURCES")
    endif()
    add_library(${name} STATIC ${ARG_SOURCES})
    target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ortova_flags ${ARG_LIBS})
endfunction()
# The sanitizer build: memory errors and undefined behaviour stop the program where they happen.
# Tests that cannot run under it (an address-space limit) see ORTOVA_SANITIZED.
if(ORTOVA_SANITIZE)
    set(_ortova_sanitize -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    target_compile_options(ortova_flags INTERFACE ${_ortova_sanitize})
    target_link_options(ortova_flags INTERFACE ${_ortova_sanitize})
    target_compile_definitions(ortova_flags INTERFACE ORTOVA_SANITIZED)
endif()
