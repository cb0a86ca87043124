/* A second plug-in host, built by another compiler than the plug-in (clang rather than GCC), to
 * show that the exports keep the C calling convention across compilers: it looks decrypt_a up by
 * name, calls it with a null archive path (the one call that opens no dialog) and measures the
 * stack pointer across the call. With the C convention the callee leaves its five arguments on
 * the stack for the caller, so the stack pointer right after the call is the one right before it;
 * a function that removed its own arguments would have moved it by 20 bytes.
 *
 *     cdecl_probe.exe PATH-TO-sfxbuild.dll
 *
 * Prints what it saw; exit status 0 when the export returned 0 and left the stack pointer where
 * it was, 1 otherwise, 2 when the plug-in or the export is missing. */
#include <windows.h>

#include <stdio.h>

/* Pushes the five arguments, calls, and reads the stack pointer before and after the call; the
 * caller's own stack pointer is put back afterwards whatever the callee did. Only registers that
 * the callee must keep (esi, edi) carry values across the call. */
static int callMeasured(FARPROC function, void* const args[5], long* moved) {
    int result;
    unsigned long before;
    unsigned long after;
    __asm__ volatile(
        "movl %%esp, %%esi\n\t"
        "pushl 16(%%ebx)\n\t"
        "pushl 12(%%ebx)\n\t"
        "pushl 8(%%ebx)\n\t"
        "pushl 4(%%ebx)\n\t"
        "pushl (%%ebx)\n\t"
        "movl %%esp, %%edi\n\t"
        "call *%%edx\n\t"
        "movl %%esp, %%ecx\n\t"
        "movl %%esi, %%esp\n\t"
        : "=a"(result), "=D"(before), "=c"(after), "+d"(function)
        : "b"(args)
        : "esi", "memory", "cc");
    *moved = (long)(after - before);
    return result;
}

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: cdecl_probe PATH-TO-sfxbuild.dll\n");
        return 2;
    }
    HMODULE plugin = LoadLibraryA(argv[1]);
    FARPROC decrypt = plugin != NULL ? GetProcAddress(plugin, "decrypt_a") : NULL;
    if (decrypt == NULL) {
        fprintf(stderr, "cdecl_probe: no decrypt_a in %s\n", argv[1]);
        return 2;
    }
    void* const args[5] = {GetModuleHandleA(NULL), NULL, NULL, NULL, "password"};
    long moved = 0;
    const int result = callMeasured(decrypt, args, &moved);
    printf("decrypt_a returned %d; the stack pointer moved by %ld bytes across the call\n", result,
           moved);
    FreeLibrary(plugin);
    return result == 0 && moved == 0 ? 0 : 1;
}
