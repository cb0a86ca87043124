// The UTC clock on Windows: GetSystemTime, which already gives the broken-down fields.
#include <windows.h>

#include "common/support/clock.h"

UtcTime currentUtcTime() {
    SYSTEMTIME st;
    GetSystemTime(&st);
    return UtcTime{st.wYear,   st.wMonth,  st.wDay,         st.wHour,
                   st.wMinute, st.wSecond, st.wMilliseconds};
}
