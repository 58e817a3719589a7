# Configures a throw-away build with a short flash block and a missing data block, and expects
# the configure step to fail with the message that names the file, its size and the size needed.
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
file(WRITE ${WORK_DIR}/short.bin "only twenty-one bytes")

function(expect_configure_failure flash data expected)
    execute_process(
        COMMAND ${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${WORK_DIR}/build -DOSTREL_BUILD_TESTS=OFF
                -DOSTREL_BUILD_GUI=OFF -DOSTREL_FLASH_BLOCK=${flash} -DOSTREL_DATA_BLOCK=${data}
        RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
    string(REPLACE "\n" " " all "${out} ${err}")
    string(REGEX REPLACE " +" " " all "${all}")
    if(rc EQUAL 0)
        message(FATAL_ERROR "configure accepted ${flash} / ${data}")
    endif()
    if(NOT all MATCHES "${expected}")
        message(FATAL_ERROR "expected '${expected}' in:\n${all}")
    endif()
    file(REMOVE_RECURSE ${WORK_DIR}/build)
endfunction()

expect_configure_failure(${WORK_DIR}/short.bin ${SOURCE_DIR}/payload/data.bin
    "Payload file .*short.bin for FlashBlock is 21 bytes; FlashBlock must be exactly 29696 bytes")
expect_configure_failure(${SOURCE_DIR}/payload/flash.bin ${WORK_DIR}/absent.bin
    "Payload file .*absent.bin for DataBlock does not exist; DataBlock must be exactly 1024 bytes")
file(REMOVE_RECURSE ${WORK_DIR})
