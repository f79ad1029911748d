/*
 * A MIDI output driver for the media tests, built as midimap.dll and placed
 * beside the program, where it stands in for the system's MIDI mapper (under
 * Wine with WINEDLLOVERRIDES=...;midimap=n). It plays nothing: it accepts
 * every short and long message at once and reports each long buffer as done
 * (MOM_DONE), so the sequencer behind "open sequencer!..." plays a piece in
 * real time to its end on a machine without any MIDI device, and the program
 * receives its MM_MCINOTIFY.
 *
 * When the environment variable MIDIOUT_TEST_LOG names a file, each call is
 * appended to it as one line, "<seconds.milliseconds of GetTickCount> <what>":
 *   open, close, reset, short XXXXXX (the packed message), long N XX XX ...
 * Test equipment only: it is never shipped with the program.
 */
#include <windows.h>
#include <mmsystem.h>
#include <mmddk.h>

BOOL WINAPI DriverCallback(DWORD_PTR callback, DWORD flags, HDRVR device, DWORD message,
                           DWORD_PTR user, DWORD_PTR param1, DWORD_PTR param2);

/* One open of the device: what the caller asked to be told. */
struct Opened {
    MIDIOPENDESC desc;
    DWORD flags;
};

static CRITICAL_SECTION logLock;
static HANDLE logFile = INVALID_HANDLE_VALUE;

static void AppendHex(char** at, unsigned value, int digits)
{
    static const char hex[] = "0123456789abcdef";
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4)
        *(*at)++ = hex[(value >> shift) & 15];
}

static void AppendDecimal(char** at, unsigned value, int minDigits)
{
    char digits[12];
    int count = 0;
    do {
        digits[count++] = (char)('0' + value % 10);
        value /= 10;
    } while (value != 0 || count < minDigits);
    while (count > 0)
        *(*at)++ = digits[--count];
}

static void AppendText(char** at, const char* text)
{
    while (*text)
        *(*at)++ = *text++;
}

/* Writes one line: the tick count, the word, then an optional payload. */
static void LogLine(const char* what, const BYTE* bytes, DWORD count, DWORD shortMessage, int isShort)
{
    if (logFile == INVALID_HANDLE_VALUE)
        return;
    char line[256];
    char* at = line;
    DWORD ticks = GetTickCount();
    AppendDecimal(&at, ticks / 1000, 1);
    *at++ = '.';
    AppendDecimal(&at, ticks % 1000, 3);
    *at++ = ' ';
    AppendText(&at, what);
    if (isShort) {
        *at++ = ' ';
        AppendHex(&at, shortMessage & 0xFFFFFF, 6);
    }
    if (bytes) {
        *at++ = ' ';
        AppendDecimal(&at, count, 1);
        for (DWORD i = 0; i < count && at < line + sizeof(line) - 8; i++) {
            *at++ = ' ';
            AppendHex(&at, bytes[i], 2);
        }
    }
    *at++ = '\n';
    EnterCriticalSection(&logLock);
    DWORD written;
    WriteFile(logFile, line, (DWORD)(at - line), &written, NULL);
    LeaveCriticalSection(&logLock);
}

static void OpenLog(void)
{
    char path[MAX_PATH];
    DWORD length = GetEnvironmentVariableA("MIDIOUT_TEST_LOG", path, sizeof(path));
    if (length == 0 || length >= sizeof(path))
        return;
    logFile = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                          OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
}

static void Notify(struct Opened* opened, UINT message, DWORD_PTR param)
{
    DriverCallback(opened->desc.dwCallback, HIWORD(opened->flags), (HDRVR)opened->desc.hMidi,
                   message, opened->desc.dwInstance, param, 0);
}

static DWORD GetCaps(MIDIOUTCAPSW* caps, DWORD_PTR size)
{
    static const WCHAR name[] = L"Test MIDI out";
    MIDIOUTCAPSW filled;
    ZeroMemory(&filled, sizeof(filled));
    filled.wMid = 0xFF;
    filled.wPid = 1;
    filled.vDriverVersion = 0x0100;
    for (int i = 0; name[i] && i < MAXPNAMELEN - 1; i++)
        filled.szPname[i] = name[i];
    filled.wTechnology = MOD_MAPPER;
    filled.wVoices = 0;
    filled.wNotes = 0;
    filled.wChannelMask = 0xFFFF;
    filled.dwSupport = 0;
    if (caps == NULL)
        return MMSYSERR_INVALPARAM;
    CopyMemory(caps, &filled, size < sizeof(filled) ? size : sizeof(filled));
    return MMSYSERR_NOERROR;
}

DWORD WINAPI modMessage(UINT device, UINT message, DWORD_PTR user, DWORD_PTR param1, DWORD_PTR param2)
{
    struct Opened* opened = (struct Opened*)user;
    (void)device;

    switch (message) {
    case DRVM_INIT:
    case DRVM_EXIT:
    case DRVM_ENABLE:
    case DRVM_DISABLE:
        return MMSYSERR_NOERROR;
    case MODM_GETNUMDEVS:
        return 1;
    case MODM_GETDEVCAPS:
        return GetCaps((MIDIOUTCAPSW*)param1, param2);
    case MODM_OPEN: {
        if (param1 == 0 || user == 0)
            return MMSYSERR_INVALPARAM;
        opened = (struct Opened*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(*opened));
        if (opened == NULL)
            return MMSYSERR_NOMEM;
        opened->desc = *(MIDIOPENDESC*)param1;
        opened->flags = (DWORD)param2;
        *(DWORD_PTR*)user = (DWORD_PTR)opened;
        LogLine("open", NULL, 0, 0, 0);
        Notify(opened, MOM_OPEN, 0);
        return MMSYSERR_NOERROR;
    }
    case MODM_CLOSE:
        if (opened == NULL)
            return MMSYSERR_INVALHANDLE;
        LogLine("close", NULL, 0, 0, 0);
        Notify(opened, MOM_CLOSE, 0);
        HeapFree(GetProcessHeap(), 0, opened);
        return MMSYSERR_NOERROR;
    case MODM_DATA:
        LogLine("short", NULL, 0, (DWORD)param1, 1);
        return MMSYSERR_NOERROR;
    case MODM_LONGDATA: {
        MIDIHDR* header = (MIDIHDR*)param1;
        if (opened == NULL || header == NULL)
            return MMSYSERR_INVALPARAM;
        if (!(header->dwFlags & MHDR_PREPARED))
            return MIDIERR_UNPREPARED;
        LogLine("long", (const BYTE*)header->lpData, header->dwBufferLength, 0, 0);
        header->dwFlags &= ~MHDR_INQUEUE;
        header->dwFlags |= MHDR_DONE;
        Notify(opened, MOM_DONE, (DWORD_PTR)header);
        return MMSYSERR_NOERROR;
    }
    case MODM_RESET:
        LogLine("reset", NULL, 0, 0, 0);
        return MMSYSERR_NOERROR;
    case MODM_GETVOLUME:
        if (param1 == 0)
            return MMSYSERR_INVALPARAM;
        *(DWORD*)param1 = 0xFFFFFFFF;
        return MMSYSERR_NOERROR;
    case MODM_SETVOLUME:
        return MMSYSERR_NOERROR;
    default:
        /* Preparing headers is left to the system. */
        return MMSYSERR_NOTSUPPORTED;
    }
}

LRESULT WINAPI DriverProc(DWORD_PTR id, HDRVR driver, UINT message, LPARAM param1, LPARAM param2)
{
    switch (message) {
    case DRV_LOAD:
    case DRV_FREE:
    case DRV_OPEN:
    case DRV_CLOSE:
    case DRV_ENABLE:
    case DRV_DISABLE:
        return 1;
    case DRV_QUERYCONFIGURE:
        return 0;
    case DRV_CONFIGURE:
        return DRVCNF_OK;
    case DRV_INSTALL:
    case DRV_REMOVE:
        return DRVCNF_RESTART;
    default:
        return DefDriverProc(id, driver, message, param1, param2);
    }
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(instance);
        InitializeCriticalSection(&logLock);
        OpenLog();
    } else if (reason == DLL_PROCESS_DETACH) {
        if (logFile != INVALID_HANDLE_VALUE)
            CloseHandle(logFile);
        DeleteCriticalSection(&logLock);
    }
    return TRUE;
}
