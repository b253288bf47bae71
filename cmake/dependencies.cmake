# OpenSSL libcrypto and GoogleTest for both targets.
if(WIN32)
  if(NOT MINGW_OPENSSL_ROOT OR NOT MINGW_GTEST_ROOT)
    message(FATAL_ERROR "mingw dependencies not built: run ./run setup")
  endif()
  add_library(OpenSSL::Crypto STATIC IMPORTED GLOBAL)
  set_target_properties(OpenSSL::Crypto PROPERTIES
    IMPORTED_LOCATION ${MINGW_OPENSSL_ROOT}/lib/libcrypto.a
    INTERFACE_INCLUDE_DIRECTORIES ${MINGW_OPENSSL_ROOT}/include
    INTERFACE_LINK_LIBRARIES "ws2_32;crypt32;advapi32;user32")
  foreach(lib gtest gtest_main gmock)
    add_library(GTest::${lib} STATIC IMPORTED GLOBAL)
    set_target_properties(GTest::${lib} PROPERTIES
      IMPORTED_LOCATION ${MINGW_GTEST_ROOT}/lib/lib${lib}.a
      INTERFACE_INCLUDE_DIRECTORIES ${MINGW_GTEST_ROOT}/include)
  endforeach()
  set_property(TARGET GTest::gtest_main APPEND PROPERTY INTERFACE_LINK_LIBRARIES GTest::gtest)
  set_property(TARGET GTest::gmock APPEND PROPERTY INTERFACE_LINK_LIBRARIES GTest::gtest)
  find_program(WINE_PROGRAM wine REQUIRED)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${WINE_PROGRAM} CACHE FILEPATH "" FORCE)
else()
  find_package(OpenSSL 3.0 REQUIRED COMPONENTS Crypto)
  find_package(GTest REQUIRED)
  find_package(benchmark REQUIRED)
endif()

# token_add_test(name source...): one test program, run natively or under Wine.
function(token_add_test name)
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE GTest::gtest_main)
  add_test(NAME ${name} COMMAND ${name})
endfunction()
