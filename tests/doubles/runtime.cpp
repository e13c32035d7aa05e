// A DLL the Windows fake program needs, kept only beside the fake compiler,
// as a MinGW g++'s runtime DLLs are kept only in its bin folder.
extern "C" __attribute__((dllexport)) int Fake_runtime() { return 0; }
