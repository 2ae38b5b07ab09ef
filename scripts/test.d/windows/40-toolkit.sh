# toolkit: the tagclient tests (64-bit) under wine64: the core tests (scripted transport, no server)
# once; the C API tests against the COM test server in-process (regsvr32 opcsim.dll), then as a local
# server (opcsim.exe /RegServer), with the OPC proxy/stub DLL registered.
stage_toolkit() {
  needs toolkit_c_header_test.exe toolkit_stream_tests.exe toolkit_threaded_tests.exe toolkit_fake_tests.exe \
    toolkit_rpc_guard_tests.exe toolkit_sim_tests.exe
  need_wine
  step "core tests (scripted transport)"
  gtest_under_wine core toolkit_{c_header_test,stream_tests,threaded_tests,fake_tests,rpc_guard_tests}.exe
  step "C API tests, the COM test server in-process"
  register_com_test_server inproc
  gtest_under_wine in-process toolkit_sim_tests.exe
  step "C API tests, the COM test server as a local server"
  register_com_test_server local
  gtest_under_wine out-of-process toolkit_sim_tests.exe
}
