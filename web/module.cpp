// The WebAssembly module's entry: it only holds the library's C functions
// (web/c_api.cpp), which the worker calls; there is no program to run.
int main() { return 0; }
