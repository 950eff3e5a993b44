#include "StartUp.h"

#if defined(_WIN32)
#include <windows.h>
#endif

int main(int argc, char* argv[])
{
#if defined(_WIN32)
    // The shortcut starts the program in a folder every user may write. Windows would look there
    // for a DLL it finds nowhere else; from here on it looks only beside the program and in the
    // system folders. A DLL named in the program's import table is already loaded by now, from
    // beside the program.
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
    SetDllDirectoryW(L"");
#endif
    return StartUp::run(argc, argv);
}
