# Installs the build into a temporary prefix and uses it as a user and another project would:
# the installed kalvor-cli runs without LD_LIBRARY_PATH on the prefix's libvarnek, a project
# builds against the installed CMake package Varnek and solves a system with it, and the
# installed desktop entry is valid.
#
# -D BUILD_DIR=build folder  WORK_DIR=scratch folder  CONSUMER_DIR=the consumer project
#    GENERATOR=CMake generator  CXX=C++ compiler  DESKTOP_FILE_VALIDATE=program or empty

function(run_checked what)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "${what} failed (${rc}):\n${out}\n${err}")
    endif()
    set(output "${out}" PARENT_SCOPE)
endfunction()

set(prefix ${WORK_DIR}/prefix)
file(REMOVE_RECURSE ${WORK_DIR})
run_checked("cmake --install" ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})

set(cli ${prefix}/bin/kalvor-cli)
run_checked("installed kalvor-cli --version" ${CMAKE_COMMAND} -E env --unset=LD_LIBRARY_PATH
            ${cli} --version)
if(NOT output MATCHES "^kalvor-cli [0-9]")
    message(FATAL_ERROR "kalvor-cli --version printed \"${output}\"")
endif()
# It must be the prefix's library, not one installed elsewhere on the machine.
run_checked("ldd" ${CMAKE_COMMAND} -E env --unset=LD_LIBRARY_PATH ldd ${cli})
if(NOT output MATCHES "libvarnek[.]so[.]1 => ${prefix}/")
    message(FATAL_ERROR "kalvor-cli does not load libvarnek from ${prefix}:\n${output}")
endif()

run_checked("configuring the consumer" ${CMAKE_COMMAND} -S ${CONSUMER_DIR} -B ${WORK_DIR}/consumer
            -G ${GENERATOR} -DCMAKE_CXX_COMPILER=${CXX} -DCMAKE_PREFIX_PATH=${prefix})
run_checked("building the consumer" ${CMAKE_COMMAND} --build ${WORK_DIR}/consumer)
run_checked("the consumer" ${WORK_DIR}/consumer/varnek_consumer)
message(STATUS "consumer: ${output}")

if(DEFINED DESKTOP_FILE_VALIDATE)
    if(NOT DESKTOP_FILE_VALIDATE)
        message(FATAL_ERROR "desktop-file-validate not found (Debian package desktop-file-utils)")
    endif()
    run_checked("desktop-file-validate" ${DESKTOP_FILE_VALIDATE}
                ${prefix}/share/applications/kalvor.desktop)
endif()
