// Calls each of the runtime's functions, so the object refers to every name the plug-in
// binds to, under the names a Visual Studio build of host/runtime.h asks for.

#include "host/runtime.h"

namespace {
void script() {}
void keyboardHandler(DWORD, WORD, BYTE, BOOL, BOOL, BOOL, BOOL) {}
}  // namespace

void callEveryRuntimeFunction(HMODULE module) {
  scriptRegister(module, script);
  scriptUnregister(script);
  keyboardHandlerRegister(keyboardHandler);
  keyboardHandlerUnregister(keyboardHandler);
  scriptWait(0);
  nativeInit(0);
  nativePush64(0);
  nativeCall();
}
