/* A DLL of the test's own: a program that imports from it depends on more than Windows. */
__declspec(dllexport) int PrivateHelper(void) { return 1; }
