#include <windows.h>
extern "C" int WINAPI EnumReaders(int) { return 0; }
