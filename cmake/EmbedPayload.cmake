# ostrel_embed_payload(OUT name1 file1 size1 name2 file2 size2 ...)
# Checks every file's size at configure time and writes one .cpp that defines each block as a
# constant array in namespace ostrel. A missing or wrongly sized file stops the build here.
function(ostrel_embed_payload out)
    set(args ${ARGN})
    set(body "// Generated from the release files; do not edit.\n#include <cstdint>\n\nnamespace ostrel {\n")
    while(args)
        list(POP_FRONT args name file size)
        if(NOT EXISTS "${file}")
            message(FATAL_ERROR "Payload file ${file} for ${name} does not exist; "
                                "${name} must be exactly ${size} bytes.")
        endif()
        file(SIZE "${file}" actual)
        if(NOT actual EQUAL size)
            message(FATAL_ERROR "Payload file ${file} for ${name} is ${actual} bytes; "
                                "${name} must be exactly ${size} bytes.")
        endif()
        file(READ "${file}" hex HEX)
        string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," hex "${hex}")
        string(APPEND body "extern const std::uint8_t ${name}[${size}];\n"
                           "const std::uint8_t ${name}[${size}] = {${hex}};\n")
        set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${file}")
    endwhile()
    string(APPEND body "}  // namespace ostrel\n")
    file(CONFIGURE OUTPUT "${out}" CONTENT "${body}" @ONLY)
endfunction()
