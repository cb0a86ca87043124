// Placeholder until the exports are written.
#include <windows.h>
extern "C" int create_sfx_archive_w() { return 0; }
