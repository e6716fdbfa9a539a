/* Forced into jansson's sources. mingw-w64's headers turn strtod into the
   toolchain's own conversion, which brings some 20 KB of code along; this
   name binds to msvcrt.dll's strtod instead. */
#include <stdlib.h>
double __cdecl tx_system_strtod(const char*, char**) __MINGW_ASM_CALL(strtod);
#define strtod tx_system_strtod
