// horavane-wine-host: the real Horavane.asi in a Windows process (under Wine), loaded
// with LoadLibrary as a game loads it, beside the stand-in ScriptHookV.dll, and driven
// through scenario files in virtual time.
//
//   horavane-wine-host.exe --plugin <Horavane.asi> [--trace <folder>] [--keep] <scenario.scn>...
//
// The stand-in is the ScriptHookV.dll next to this program, which this program imports
// its control functions from, so the plug-in binds to the same loaded copy. The
// plug-in's GetTickCount import is pointed at the stand-in's virtual tick after each
// load; everything else it imports (the profile functions, the C runtime) is the system's.

#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "import_patch.h"
#include "scenario/scenario.h"
#include "stand_in.h"

namespace {

std::string errorText(DWORD error) {
  char text[256] = {};
  FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text,
                 sizeof text, nullptr);
  std::string out = text;
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' ')) out.pop_back();
  return "error " + std::to_string(error) + (out.empty() ? "" : " (" + out + ")");
}

class WineScenarioHost : public ScenarioHost {
 public:
  explicit WineScenarioHost(const std::string& pluginPath) : pluginPath_(pluginPath) {}

  void begin() override {
    if (loaded()) unload();
    standInReset();
    for (bool& held : held_) held = false;
  }

  void load() override {
    plugin_ = LoadLibraryA(pluginPath_.c_str());
    if (plugin_ == nullptr) throw std::runtime_error("cannot load " + pluginPath_ + ": " + errorText(GetLastError()));
    if (!standInScriptRegistered())
      throw std::runtime_error("the plug-in's library entry registered no script function");
    // Before the first frame, so that every tick the plug-in reads is virtual.
    redirectImport(plugin_, "KERNEL32.dll", "GetTickCount", reinterpret_cast<const void*>(&standInTickCount));
  }

  void unload() override {
    HMODULE module = plugin_;
    plugin_ = nullptr;
    if (!FreeLibrary(module)) throw std::runtime_error("FreeLibrary failed: " + errorText(GetLastError()));
    HMODULE still = nullptr;
    if (GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           reinterpret_cast<LPCSTR>(module), &still))
      throw std::runtime_error("the plug-in is still loaded after FreeLibrary: a restart would not be fresh");
    if (standInScriptRegistered()) throw std::runtime_error("the plug-in unloaded with its script function registered");
  }

  bool loaded() const override { return plugin_ != nullptr; }
  void restartScript() override { standInRestartScript(); }

  void runFrame(uint32_t frameMs) override {
    if (!standInRunFrame(frameMs)) throw std::runtime_error("no fiber for the script: " + errorText(GetLastError()));
  }
  uint64_t frameNumber() const override { return standInFrameNumber(); }
  void elapse(uint32_t ms) override { standInElapse(ms); }
  void setTick(uint32_t tick) override { standInSetTick(tick); }

  void keyDown(uint32_t key) override {
    const bool wasDown = key < 256 && held_[key];
    if (key < 256) held_[key] = true;
    standInKeyboardMessage(key, 1, 0, FALSE, FALSE, wasDown, FALSE);
  }
  void keyUp(uint32_t key) override {
    if (key < 256) held_[key] = false;
    standInKeyboardMessage(key, 1, 0, FALSE, FALSE, TRUE, TRUE);
  }

  const SimGame& game() const override { return *standInGame(); }
  void newGame() override { standInNewGame(); }
  void setClock(int32_t hours, int32_t minutes, int32_t seconds) override { standInSetClock(hours, minutes, seconds); }
  void setResolution(int32_t width, int32_t height) override { standInSetResolution(width, height); }
  void clearRecords() override { standInClearRecords(); }

 private:
  std::string pluginPath_;
  HMODULE plugin_ = nullptr;
  bool held_[256] = {};
};

// A fault in the plug-in ends the run with a line that says so, not a debugger.
LONG WINAPI reportCrash(EXCEPTION_POINTERS* pointers) {
  std::fprintf(stderr, "horavane-wine-host: exception 0x%08lX at %p\n",
               static_cast<unsigned long>(pointers->ExceptionRecord->ExceptionCode),
               pointers->ExceptionRecord->ExceptionAddress);
  std::fflush(stderr);
  ExitProcess(3);
}

}  // namespace

int main(int argc, char** argv) {
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  SetUnhandledExceptionFilter(reportCrash);
  std::vector<std::string> arguments(argv + 1, argv + argc);
  std::string plugin;
  for (size_t i = 0; i + 1 < arguments.size(); ++i) {
    if (arguments[i] != "--plugin") continue;
    plugin = arguments[i + 1];
    arguments.erase(arguments.begin() + static_cast<std::ptrdiff_t>(i), arguments.begin() + static_cast<std::ptrdiff_t>(i) + 2);
    break;
  }
  if (plugin.empty()) {
    std::fprintf(stderr, "usage: horavane-wine-host.exe --plugin <Horavane.asi> [--trace <folder>] [--keep] <scenario.scn>...\n");
    return 2;
  }
  try {
    // Absolute, because each scenario runs in a folder of its own.
    std::filesystem::path pluginPath = std::filesystem::absolute(plugin);
    WineScenarioHost host(pluginPath.make_preferred().string());
    return scenarioMain(host, arguments);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "horavane-wine-host: %s\n", error.what());
    return 1;
  }
}
