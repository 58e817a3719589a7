# Read by CTest after the list of discovered GUI cases (gui_tests_TESTS) has been defined.
if(gui_tests_TESTS)
    set_tests_properties(${gui_tests_TESTS} PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endif()
