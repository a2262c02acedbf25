# The test build for x86_64: the test programs use the posix thread-model
# compilers (GoogleTest needs std::mutex); the shipped DLL is built in a
# sub-build with the product's own toolchain, mingw-x86_64.cmake.
include(${CMAKE_CURRENT_LIST_DIR}/mingw-x86_64.cmake)
set(CMAKE_C_COMPILER ${TOOLCHAIN_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TOOLCHAIN_PREFIX}-g++-posix)
set(KORVEL_RELEASE_TOOLCHAIN ${CMAKE_CURRENT_LIST_DIR}/mingw-x86_64.cmake)
