// The library entry and the script function's frame loop.

#include "plugin/plugin.h"

#include "clock/clock.h"
#include "host/runtime.h"
#include "input/keys.h"
#include "menu/menu.h"
#include "settings/settings.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
  if (reason == DLL_PROCESS_ATTACH) {
    scriptRegister(instance, scriptMain);
    keyboardHandlerRegister(onKeyboardMessage);
  } else if (reason == DLL_PROCESS_DETACH) {
    scriptUnregister(scriptMain);
    keyboardHandlerUnregister(onKeyboardMessage);
  }
  return TRUE;
}

void scriptMain() {
  loadSettings();  // a rate already in use keeps its step in progress over a reload
  for (;;) {
    if (consumeKeyRelease(settings.openKey)) openMenu();  // returns when the menu closes
    paceClock();
    scriptWait(0);
  }
}

#ifdef HORAVANE_RESETTABLE
void resetPluginState() {
  resetKeyStates();
  resetSettings();
  resetClock();
  resetMenu();
}
#endif
