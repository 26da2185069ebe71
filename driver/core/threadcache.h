#pragma once

// Marks a function's variable that each thread keeps from call to call (a
// decoder, a buffer): thread_local, except on Windows, where it is made
// afresh in each call. There the C++ library may destroy a thread's
// thread_local objects after the thread's emulated TLS storage is freed
// (the two are thread-exit callbacks of winpthreads in no set order), and a
// worker thread's exit then frees pointers read from freed memory.
#ifdef _WIN32
#define CORVANEX_THREAD_CACHE
#else
#define CORVANEX_THREAD_CACHE thread_local
#endif
