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

# token_user_text(target): the target shows user texts. They are UTF-8 in the sources and
# GBK (code page 936) in the Windows build. Only such targets get the GBK execution character
# set, since some standard headers (<chrono>) do not compile under it.
function(token_user_text target)
  if(WIN32)
    target_compile_options(${target} PRIVATE $<$<COMPILE_LANGUAGE:CXX>:-fexec-charset=GBK>)
  endif()
endfunction()
