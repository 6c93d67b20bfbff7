// brindlequillworth-preview: prints the address the handler would open.

#include "preview.h"

#ifdef _WIN32
#include <windows.h>

// The link reaches the preview as it reaches the handler: no wildcard expansion.
int _dowildcard = 0;
#endif

int main(int argc, char **argv) {
#ifdef _WIN32
    // The bytes are UTF-8, as the handler gets them; a console shows them as
    // such only in its UTF-8 code page, which is put back at the end.
    UINT console_page = GetConsoleOutputCP();
    if (console_page != 0) SetConsoleOutputCP(CP_UTF8);
    int code = preview_main(argc, argv, stdout, stderr);
    if (console_page != 0) SetConsoleOutputCP(console_page);
    return code;
#else
    return preview_main(argc, argv, stdout, stderr);
#endif
}
