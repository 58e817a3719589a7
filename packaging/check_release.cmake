# Runs before CPack makes the package. A package is what reaches a tracker in service, so it
# must carry a real release; and without dpkg-shlibdeps (package dpkg-dev) CPack would quietly
# make a package that declares no dependencies.
if(CPACK_OSTREL_PLACEHOLDER_RELEASE AND NOT CPACK_OSTREL_ALLOW_PLACEHOLDER_RELEASE)
    message(FATAL_ERROR
        "Refusing to package the PLACEHOLDER release (test bytes, not firmware). Configure with "
        "-DOSTREL_FLASH_BLOCK=... -DOSTREL_DATA_BLOCK=... for a real release, or with "
        "-DOSTREL_ALLOW_PLACEHOLDER_RELEASE=ON for a test or demonstration package.")
endif()
find_program(shlibdeps dpkg-shlibdeps)
if(NOT shlibdeps)
    message(FATAL_ERROR "dpkg-shlibdeps is missing (apt-get install dpkg-dev): without it the "
                        "package would declare no dependencies.")
endif()
