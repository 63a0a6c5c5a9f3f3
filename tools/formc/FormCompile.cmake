# The form compiler at build time.
#
# norvex_compile_form(<out.bin> <in.txt> [DEPENDS files...] [MAP "stored=real" ...])
#   Compiles a text form description into binary form data. MAP tells the designer which real
#   file a design-time file name stands for (a keeper's Filename).
# norvex_form_resources(<target> <out.rc> <NAME>=<bin> ...)
#   Writes a resource script with one RCDATA per form and adds it to <target> (Windows).
# norvex_add_form_fpc_check(<test> <bin> <txt> [ALLOW_EXTRA prop...] [DEPENDS files...])
#   A test that converts <bin> with Free Pascal's ObjectBinaryToText and holds the result
#   against the text description <txt>, object by object and property by property.
#
# The compiler runs on the build machine. In the native build it is the target norvex_formc;
# in the cross build it is built once natively in <build>/host-tools, together with the archiver
# that packs the payload (the build machine need not be able to run the Windows programs).

include_guard(GLOBAL)
if(WIN32)
  enable_language(RC)
endif()
set(NORVEX_FORMC_DIR ${CMAKE_CURRENT_LIST_DIR} CACHE INTERNAL "")

if(CMAKE_CROSSCOMPILING)
  include(ExternalProject)
  set(NORVEX_HOST_TOOLS ${CMAKE_BINARY_DIR}/host-tools)
  set(NORVEX_FORMC_EXE ${NORVEX_HOST_TOOLS}/tools/formc/norvex_formc)
  ExternalProject_Add(norvex_formc_host
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    BINARY_DIR ${NORVEX_HOST_TOOLS}
    CMAKE_GENERATOR Ninja
    CMAKE_ARGS -DCMAKE_BUILD_TYPE=Release -DNORVEX_SANITIZE=OFF
    BUILD_COMMAND ${CMAKE_COMMAND} --build ${NORVEX_HOST_TOOLS} --target norvex_formc lzh -j2
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON
    BUILD_BYPRODUCTS ${NORVEX_FORMC_EXE} ${NORVEX_HOST_TOOLS}/tools/lzh/lzh)
  set(NORVEX_FORMC_EXE ${NORVEX_FORMC_EXE} CACHE INTERNAL "")
  set(NORVEX_HOST_LZH_EXE ${NORVEX_HOST_TOOLS}/tools/lzh/lzh CACHE INTERNAL "")
  set(NORVEX_HOST_LZH_DEP norvex_formc_host CACHE INTERNAL "")
  set(NORVEX_FORMC_DEP norvex_formc_host CACHE INTERNAL "")
else()
  set(NORVEX_FORMC_EXE $<TARGET_FILE:norvex_formc> CACHE INTERNAL "")
  set(NORVEX_FORMC_DEP norvex_formc CACHE INTERNAL "")
  set(NORVEX_HOST_LZH_EXE $<TARGET_FILE:lzh> CACHE INTERNAL "")
  set(NORVEX_HOST_LZH_DEP lzh CACHE INTERNAL "")
endif()

function(norvex_compile_form out in)
  cmake_parse_arguments(F "" "" "DEPENDS;MAP" ${ARGN})
  set(maps)
  foreach(m ${F_MAP})
    list(APPEND maps --map ${m})
  endforeach()
  get_filename_component(name ${out} NAME)
  add_custom_command(OUTPUT ${out}
    COMMAND ${NORVEX_FORMC_EXE} ${maps} -o ${out} ${in}
    DEPENDS ${in} ${F_DEPENDS} ${NORVEX_FORMC_DEP}
    COMMENT "Compiling form ${name}"
    VERBATIM)
endfunction()

function(norvex_form_resources target rc)
  set(lines "")
  set(deps)
  foreach(pair ${ARGN})
    string(REPLACE "=" ";" kv ${pair})
    list(GET kv 0 name)
    list(GET kv 1 bin)
    string(APPEND lines "${name} RCDATA \"${bin}\"\n")
    list(APPEND deps ${bin})
  endforeach()
  file(GENERATE OUTPUT ${rc} CONTENT "${lines}")
  target_sources(${target} PRIVATE ${rc})
  set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS "${deps}")
endfunction()

function(norvex_add_form_fpc_check test bin txt)
  cmake_parse_arguments(F "" "" "ALLOW_EXTRA;DEPENDS" ${ARGN})
  find_program(NORVEX_FPC fpc)
  find_package(Python3 COMPONENTS Interpreter)
  if(NOT NORVEX_FPC OR NOT Python3_FOUND)
    message(STATUS "fpc or python3 missing: ${test} not added")
    return()
  endif()
  set(extra)
  foreach(e ${F_ALLOW_EXTRA})
    list(APPEND extra --allow-extra ${e})
  endforeach()
  add_test(NAME ${test}
    COMMAND ${Python3_EXECUTABLE} ${NORVEX_FORMC_DIR}/fpc_check.py
            --fpc ${NORVEX_FPC} --work ${CMAKE_BINARY_DIR}/fpc-check
            --converter ${NORVEX_FORMC_DIR}/bin2text.pas ${extra} ${bin} ${txt})
  set_tests_properties(${test} PROPERTIES LABELS "fpc" TIMEOUT 120)
endfunction()
