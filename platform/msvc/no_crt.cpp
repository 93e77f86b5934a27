// What an MSVC build of the plug-in asks of the C runtime, which the DLL does not link:
// _fltused, which any object that uses floating point refers to (the menu's text
// positions), and memcpy, which the compiler calls for a copy of a large object (the
// menu table). Built only by the Visual Studio branch; MinGW's link asks for neither.

extern "C" {

int _fltused = 0;  // only its presence counts

// To MSVC, memcpy is an intrinsic at /O2, which cannot be defined until this pragma
// makes the name a function again (clang in MSVC mode has no such intrinsic).
#ifndef __clang__
#pragma function(memcpy)
#endif
void* memcpy(void* to, const void* from, decltype(sizeof 0) count) {
  auto* out = static_cast<unsigned char*>(to);
  const auto* in = static_cast<const unsigned char*>(from);
  while (count-- != 0) *out++ = *in++;
  return to;
}

}  // extern "C"
