// The Windows calls the plug-in makes, and the types of their signatures.
//
// On Windows this is <windows.h> and the C runtime's <time.h>. Everywhere else
// platform/ supplies the same functions with the same signatures, so the plug-in's
// own code never knows which system it runs on.
#pragma once

#ifdef _WIN32

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <time.h>

#else

#include <cstdint>
#include <ctime>

typedef uint32_t DWORD;
typedef uint16_t WORD;
typedef uint8_t BYTE;
typedef int BOOL;
typedef int INT;
typedef unsigned int UINT;
typedef uint64_t UINT64;
typedef uint64_t* PUINT64;
typedef void* LPVOID;
typedef char* LPSTR;
typedef const char* LPCSTR;
struct HINSTANCE__;
typedef HINSTANCE__* HINSTANCE;
typedef HINSTANCE HMODULE;

#define WINAPI
#define TRUE 1
#define FALSE 0
#define DLL_PROCESS_DETACH 0
#define DLL_PROCESS_ATTACH 1
#define DLL_THREAD_ATTACH 2
#define DLL_THREAD_DETACH 3

extern "C" {

// Milliseconds since an arbitrary start; wraps to 0 after 2^32 - 1.
DWORD GetTickCount(void);

// Copies the value of `key` in `section` of `file` into `out` (at most size - 1
// characters, always terminated), or `fallback` when the key is absent.
// Returns the number of characters copied.
DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR fallback, LPSTR out,
                               DWORD size, LPCSTR file);

// The value of `key` read as an integer, or `fallback` when the key is absent or empty.
UINT GetPrivateProfileIntA(LPCSTR section, LPCSTR key, INT fallback, LPCSTR file);

// Sets `key` in `section` of `file` to `value`, creating what is missing and keeping
// every other line. Returns FALSE when the file could not be written.
BOOL WritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR file);

// The local time of `time` in the machine's time zone, or null when it cannot be converted.
struct tm* _localtime64(const time_t* time);

}  // extern "C"

#endif
