# Read by CTest after the list of discovered Qt window cases (wizard_qt_tests_TESTS) has been defined.
if(wizard_qt_tests_TESTS)
    set_tests_properties(${wizard_qt_tests_TESTS} PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endif()
