// The Windows SDK definitions that host/runtime.h uses, as the SDK documents them
// (Windows Data Types; DECLARE_HANDLE with STRICT), so clang in MSVC mode sees the
// declarations Visual Studio sees. A fixture of this test only.
#pragma once

typedef unsigned long DWORD;
typedef unsigned short WORD;
typedef unsigned char BYTE;
typedef int BOOL;
typedef unsigned __int64 UINT64, *PUINT64;
struct HINSTANCE__ {
  int unused;
};
typedef struct HINSTANCE__* HINSTANCE;
typedef HINSTANCE HMODULE;
