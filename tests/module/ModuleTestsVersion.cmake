# The version resource of the module's test program, on Linux and in the Windows build alike: a
# version of its own, so that a report's version field is seen to come from the module that
# contains the reporting code (ErrorReportTest expects 9.8.7.6).
set(NORN_MODULE_TESTS_FILE_VERSION 9.8.7.6)
set(NORN_MODULE_TESTS_VERSION_STRINGS
    "FileDescription=norn module tests"
    "InternalName=module_tests")
