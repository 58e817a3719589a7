# Which system headers (<name.h>) the files of each folder may include outside its linux/ and
# win32/ folders, where each platform's own code lives. Shared code includes none: MSVC has no
# <unistd.h>, Linux no <windows.h>. A folder whose programs run on one system only (a simulator
# serving a pty, a test that spawns processes) names that system's headers here, so that adding
# one is a decision. A file is ruled by the longest folder that leads to it.
cmake_policy(SET CMP0057 NEW)  # if(... IN_LIST ...) in script mode
set(allowed
    "core:"
    "device:"
    "cli:"
    "options:"
    "wizard:"
    "payload:"
    "fuzz:"
    "sim:"
    "sim/devsim:poll sys/signalfd unistd"
    "sim/bridge:dlfcn fcntl poll pty sanitizer/tsan_interface signal sys/ioctl sys/signalfd sys/wait termios umockdev unistd"
    "tests:gtest/gtest"
    "tests/wizard/qt:gtest/gtest fcntl unistd"
    "tests/cli:gtest/gtest fcntl signal spawn stdlib sys/wait unistd"
    "tests/support:gtest/gtest fcntl signal spawn stdlib sys/wait unistd"
    "tests/cli/modes:gtest/gtest pty stdlib sys/stat sys/wait unistd"
    "tests/cli/station:gtest/gtest fcntl sys/file sys/resource sys/stat unistd"
    "tests/device:gtest/gtest"
    "tests/windows:gtest/gtest windows"
    "tests/windows/support:gtest/gtest windows winsock2 ws2tcpip"
    "tests/windows/host:arpa/inet fcntl netinet/in poll pty signal sys/ioctl sys/socket sys/wait termios unistd")

set(leaks "")
foreach(dir core device cli options wizard payload fuzz sim tests)
    file(GLOB_RECURSE files RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/${dir}/*.cpp ${SOURCE_DIR}/${dir}/*.h)
    foreach(file ${files})
        if(file MATCHES "/(linux|win32)/")
            continue()
        endif()
        # The rule of the longest folder that leads to the file.
        set(rule "")
        set(ruleLength 0)
        foreach(entry ${allowed})
            string(FIND "${entry}" ":" colon)
            string(SUBSTRING "${entry}" 0 ${colon} folder)
            math(EXPR from "${colon} + 1")
            string(SUBSTRING "${entry}" ${from} -1 headers)
            string(LENGTH "${folder}" length)
            string(FIND "${file}" "${folder}/" at)
            if(at EQUAL 0 AND length GREATER ruleLength)
                set(rule "${headers}")
                set(ruleLength ${length})
            endif()
        endforeach()
        separate_arguments(rule)
        file(STRINGS ${SOURCE_DIR}/${file} lines REGEX "^#include <[^>]+\\.h>")
        foreach(line ${lines})
            string(REGEX REPLACE "^#include <([^>]+)\\.h>.*" "\\1" header "${line}")
            if(NOT header IN_LIST rule)
                list(APPEND leaks "${file}: <${header}.h>")
            endif()
        endforeach()
    endforeach()
endforeach()
if(leaks)
    list(JOIN leaks "\n  " text)
    message(FATAL_ERROR "A system header where its folder does not allow it (move the code into "
                        "a linux/ or win32/ folder, or name the header in tests/platform_headers_check.cmake):\n  ${text}")
endif()
