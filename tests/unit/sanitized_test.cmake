# Shared by the small sanitizer builds under tests/unit: each builds one test executable from a
# few gateway sources, so that its cost does not grow with the rest of the gateway.
set(CMAKE_CXX_STANDARD 20)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
if(NOT CMAKE_BUILD_TYPE)
  set(CMAKE_BUILD_TYPE RelWithDebInfo)
endif()

find_package(Qt6 REQUIRED COMPONENTS Core)
find_package(GTest REQUIRED)

set(ROOT ${CMAKE_CURRENT_LIST_DIR}/../..)

# kolvane_sanitized_test(NAME SANITIZERS source...): SANITIZERS as for -fsanitize=.
function(kolvane_sanitized_test name sanitizers)
  add_executable(${name} ${ARGN} ${ROOT}/tests/support/test_main.cpp)
  target_include_directories(${name} PRIVATE ${ROOT}/src ${ROOT}/tests)
  target_compile_definitions(${name} PRIVATE QT_NO_KEYWORDS)
  target_compile_options(${name} PRIVATE -Wall -Wextra -Werror -fsanitize=${sanitizers}
    -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_link_options(${name} PRIVATE -fsanitize=${sanitizers})
  target_link_libraries(${name} PRIVATE Qt6::Core GTest::gtest)
endfunction()
