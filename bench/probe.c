/* Looks at another program from outside, as the benchmark needs it:
 *   probe mem TITLE          committed memory of the process that owns the
 *                            top-level window TITLE, by kind, from a walk of
 *                            its address space with VirtualQueryEx
 *   probe command TITLE ID N sends WM_COMMAND ID to that window N times, each
 *                            handled before the next is sent, and prints the
 *                            time they took
 * Prints "key value" lines. Exit code 2 where the window is not found. */
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <psapi.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static HWND FindTopLevel(const char* title)
{
    for (int i = 0; i < 200; i++) {
        HWND window = FindWindowA(NULL, title);
        if (window != NULL)
            return window;
        Sleep(50);
    }
    return NULL;
}

/* Sums the committed regions by type. The private ones are what Windows
 * calls a process's private bytes; image and mapped regions are files. */
static int PrintCommitted(HWND window)
{
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
    if (process == NULL) {
        printf("error OpenProcess %lu\n", GetLastError());
        return 1;
    }
    unsigned long long privateBytes = 0, imageBytes = 0, mappedBytes = 0, privateWritable = 0;
    unsigned long long regions = 0;
    MEMORY_BASIC_INFORMATION info;
    unsigned char* address = NULL;
    while (VirtualQueryEx(process, address, &info, sizeof info) == sizeof info) {
        if (info.State == MEM_COMMIT) {
            regions++;
            if (info.Type == MEM_PRIVATE) {
                privateBytes += info.RegionSize;
                if (info.Protect & (PAGE_READWRITE | PAGE_EXECUTE_READWRITE))
                    privateWritable += info.RegionSize;
            } else if (info.Type == MEM_IMAGE) {
                imageBytes += info.RegionSize;
            } else if (info.Type == MEM_MAPPED) {
                mappedBytes += info.RegionSize;
            }
        }
        unsigned char* next = (unsigned char*)info.BaseAddress + info.RegionSize;
        if (next <= address)
            break;
        address = next;
    }
    HMODULE modules[512];
    DWORD needed = 0;
    if (EnumProcessModulesEx(process, modules, sizeof modules, &needed, LIST_MODULES_ALL)) {
        DWORD count = needed / sizeof modules[0];
        if (count > 512)
            count = 512;
        printf("modules %lu\n", count);
        for (DWORD i = 0; i < count; i++) {
            char name[MAX_PATH] = "";
            MODULEINFO module = {0};
            GetModuleBaseNameA(process, modules[i], name, sizeof name);
            GetModuleInformation(process, modules[i], &module, sizeof module);
            printf("module_%s %lu\n", name, module.SizeOfImage);
        }
    }
    CloseHandle(process);
    printf("pid %lu\n", pid);
    printf("private_bytes %llu\n", privateBytes);
    printf("private_writable_bytes %llu\n", privateWritable);
    printf("image_bytes %llu\n", imageBytes);
    printf("mapped_bytes %llu\n", mappedBytes);
    printf("committed_regions %llu\n", regions);
    return 0;
}

static int SendCommands(HWND window, WPARAM command, int count)
{
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    for (int i = 0; i < count; i++)
        SendMessageA(window, WM_COMMAND, command, 0);
    QueryPerformanceCounter(&end);
    printf("commands %d\n", count);
    printf("seconds %.6f\n", (double)(end.QuadPart - start.QuadPart) / (double)frequency.QuadPart);
    return 0;
}

int main(int argc, char** argv)
{
    if (argc < 3) {
        fprintf(stderr, "usage: probe mem TITLE | probe command TITLE ID COUNT\n");
        return 1;
    }
    HWND window = FindTopLevel(argv[2]);
    if (window == NULL) {
        printf("error no window titled %s\n", argv[2]);
        return 2;
    }
    int rc = 1;
    if (strcmp(argv[1], "mem") == 0)
        rc = PrintCommitted(window);
    else if (strcmp(argv[1], "command") == 0 && argc >= 5)
        rc = SendCommands(window, (WPARAM)strtoul(argv[3], NULL, 0), atoi(argv[4]));
    fflush(stdout);
    return rc;
}
