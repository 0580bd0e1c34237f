# Cross build for 32-bit Windows. It is compiled to prove the code is
# 32-bit clean; these machines cannot execute it.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
