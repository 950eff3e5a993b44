/* Stands for a DLL another user left where the program might load it from. If it is ever
   loaded, it says so in C:\planted-loaded.txt, naming the file it was loaded from. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID reserved)
{
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) {
        char path[MAX_PATH];
        DWORD n = GetModuleFileNameA(self, path, sizeof path);
        HANDLE f = CreateFileA("C:\\planted-loaded.txt", FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                               OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
        if (f != INVALID_HANDLE_VALUE) {
            DWORD written;
            WriteFile(f, path, n, &written, NULL);
            WriteFile(f, "\r\n", 2, &written, NULL);
            CloseHandle(f);
        }
    }
    return TRUE;
}
