// The WebAssembly module has no program to run: it holds the library's C
// functions (src/web/c_api.cpp), which the worker calls, and is linked with
// --no-entry.  CMake needs one source of its own for the target.
