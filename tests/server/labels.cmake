# The labels of quarvel-server's discovered tests, read by ctest after the lists that
# gtest_discover_tests wrote (tests/server/CMakeLists.txt).
if(quarvel_server_unit_tests)
  set_tests_properties(${quarvel_server_unit_tests} PROPERTIES LABELS "server;unit")
endif()
if(quarvel_server_end_to_end_tests)
  set_tests_properties(${quarvel_server_end_to_end_tests} PROPERTIES LABELS "server;end-to-end")
endif()
