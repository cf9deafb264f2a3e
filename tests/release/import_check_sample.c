/* Deliberately bad inputs for the release import check: each build of this program
   (see cmake/release_tests.cmake) imports one thing that a program for old Windows must
   not, and the check has to name it. Built, never run. */
#include <windows.h>

#ifdef SAMPLE_PRIVATE_DLL
__declspec(dllimport) int PrivateHelper(void);
#endif

int main(void) {
  int result = (int)GetTickCount();
#ifdef SAMPLE_NEWER_FUNCTION
  result += (int)GetTickCount64(); /* Windows Vista */
#endif
#ifdef SAMPLE_UNLISTED_FUNCTION
  SYSTEM_INFO info;
  GetNativeSystemInfo(&info); /* not in the list of allowed functions */
  result += (int)info.dwNumberOfProcessors;
#endif
#ifdef SAMPLE_PRIVATE_DLL
  result += PrivateHelper();
#endif
  return result;
}
