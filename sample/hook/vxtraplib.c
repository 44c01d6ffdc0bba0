/* The hooking driver's user-mode library of the sample product: a DLL that
 * does nothing but carry the file version under which the installer copies it. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)instance;
    (void)reason;
    (void)reserved;
    return TRUE;
}
