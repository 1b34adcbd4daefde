# One interface target carries the flags every Ortova target is built with.
add_library(ortova_flags INTERFACE)
target_compile_options(ortova_flags INTERFACE
    -Wall -Wextra -pedantic -Wshadow -Wnon-virtual-dtor -Woverloaded-virtual -Wsuggest-override)
if(ORTOVA_WERROR)
    target_compile_options(ortova_flags INTERFACE -Werror)
endif()
target_compile_definitions(ortova_flags INTERFACE
    QT_NO_CAST_FROM_ASCII QT_NO_CAST_TO_ASCII QT_NO_CAST_FROM_BYTEARRAY QT_USE_QSTRINGBUILDER)

# ortova_library(NAME <name> LIBS <deps...>): a static library from every source in the
# current folder (and its forms), linked to the shared flags.
function(ortova_library name)
    cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
    file(GLOB _src CONFIGURE_DEPENDS
        ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h ${CMAKE_CURRENT_SOURCE_DIR}/*.ui)
    if(NOT _src MATCHES "\\.cpp")
        # Nothing built here yet: an interface library keeps the dependents linking.
        add_library(${name} INTERFACE)
        target_include_directories(${name} INTERFACE ${CMAKE_CURRENT_SOURCE_DIR})
        target_link_libraries(${name} INTERFACE ortova_flags ${ARG_LIBS})
        return()
    endif()
    add_library(${name} STATIC ${_src})
    target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ortova_flags ${ARG_LIBS})
endfunction()
