# Adds every immediate subdirectory of the current source dir that has a CMakeLists.txt,
# so each module owns its own build file.
function(vokari_add_subdirectories)
    file(GLOB children LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/*)
    list(SORT children)
    foreach(child IN LISTS children)
        if(IS_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/${child} AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${child}/CMakeLists.txt)
            add_subdirectory(${child})
        endif()
    endforeach()
endfunction()

# vokari_add_test(NAME <target> LABEL unit|integration|e2e SOURCES ... [LIBS ...] [TIMEOUT s])
# One GoogleTest executable per module, discovered by CTest and labelled so each group can run alone.
function(vokari_add_test)
    cmake_parse_arguments(T "" "NAME;LABEL;TIMEOUT" "SOURCES;LIBS" ${ARGN})
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 120)
    endif()
    add_executable(${T_NAME} ${T_SOURCES})
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main vokari_warnings)
    gtest_discover_tests(${T_NAME}
        PROPERTIES LABELS ${T_LABEL} TIMEOUT ${T_TIMEOUT}
        DISCOVERY_TIMEOUT 60)
endfunction()

# vokari_layer(<target> <folder under src> [LIBS <libraries it may use>...])
# One static library per folder. Its headers are reachable as "<folder>/X.h" only by targets that link it: the
# include directory is a private tree in the build folder holding a link to this folder alone, so an include
# from a layer a target may not use fails to compile.
function(vokari_layer target folder)
    cmake_parse_arguments(L "" "" "LIBS" ${ARGN})
    add_library(${target} STATIC)
    set(root ${CMAKE_BINARY_DIR}/layers/${target})
    get_filename_component(parent ${root}/${folder} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/src/${folder} ${root}/${folder} SYMBOLIC)
    target_include_directories(${target} PUBLIC ${root})
    target_link_libraries(${target} PUBLIC ${L_LIBS} PRIVATE vokari_warnings)
endfunction()
