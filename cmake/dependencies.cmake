# OpenSSL libcrypto and GoogleTest for both targets.
if(WIN32)
  # ./run setup builds them once per target processor (i686, x86_64).
  set(MINGW_OPENSSL_ROOT ${MINGW_OPENSSL_ROOT_${CMAKE_SYSTEM_PROCESSOR}})
  set(MINGW_GTEST_ROOT ${MINGW_GTEST_ROOT_${CMAKE_SYSTEM_PROCESSOR}})
  if(NOT MINGW_OPENSSL_ROOT OR NOT MINGW_GTEST_ROOT)
    message(FATAL_ERROR "mingw dependencies for ${CMAKE_SYSTEM_PROCESSOR} not built: run ./run setup")
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
  # 64-bit programs run under Wine's 64-bit loader itself: Debian's `wine` starts the 32-bit
  # one wherever wine32 is installed.
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    find_program(WINE_PROGRAM wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH REQUIRED)
  else()
    find_program(WINE_PROGRAM wine REQUIRED)
  endif()
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

# token_export_def(target def): the DLL's export table. The .def names the __stdcall exports
# as the i686 compiler decorates them (NAME@ARGUMENT_BYTES) and the link strips the decoration
# (--kill-at). x86-64 has one calling convention and no decoration: there the table is the same
# .def, names and ordinals, with the decorations taken off.
function(token_export_def target def)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    target_sources(${target} PRIVATE ${def})
    target_link_options(${target} PRIVATE -Wl,--kill-at)
    return()
  endif()
  get_filename_component(name ${def} NAME)
  set(plain ${CMAKE_CURRENT_BINARY_DIR}/${target}.exports/${name})
  file(READ ${def} text)
  string(REGEX REPLACE "([A-Za-z_][A-Za-z0-9_]*)@[0-9]+" "\\1" text "${text}")
  file(WRITE ${plain}.in "${text}")
  configure_file(${plain}.in ${plain} COPYONLY)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${def})
  target_sources(${target} PRIVATE ${plain})
endfunction()
