# Cross toolchain for the browser: clang's wasm32 target with Debian's wasi-libc, libc++ and
# compiler runtime for it. Nothing of WASI's system interface is used at run time: the engine
# reaches the page only through the few imports of its _wasm seams, which the page's script
# provides, so the module needs no WASI shim.
set(CMAKE_SYSTEM_NAME Generic)
set(CMAKE_SYSTEM_PROCESSOR wasm32)

set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET wasm32-wasi)
set(CMAKE_CXX_COMPILER_TARGET wasm32-wasi)
set(CMAKE_AR llvm-ar-14 CACHE FILEPATH "")
set(CMAKE_RANLIB llvm-ranlib-14 CACHE FILEPATH "")
set(CMAKE_EXECUTABLE_SUFFIX .wasm)
# A test program cannot be run here, and a static library needs no linking to test the compiler.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)

set(QUILLON_WEB ON)
