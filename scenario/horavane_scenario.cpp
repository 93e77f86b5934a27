// horavane-scenario: scenario files run against the plug-in's sources in the native
// simulated host, in virtual time. The same files run against the real DLL under
// Wine (wine/), and the two traces must be equal.
//
//   horavane-scenario [--trace <folder>] [--keep] <scenario.scn>...
//   horavane-scenario compare <trace folder> <trace folder>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "sim/host.h"
#include "scenario/scenario.h"
#include "virtual_tick.h"

namespace {

class NativeScenarioHost : public ScenarioHost {
 public:
  void begin() override {
    host_.reset();  // one SimHost at a time: the old one goes first
    host_ = std::make_unique<SimHost>();
  }
  void load() override { host().load(); }
  void unload() override { host().unload(); }
  bool loaded() const override { return host_ != nullptr && host_->loaded(); }
  void restartScript() override { host().restartScript(); }

  void runFrame(uint32_t frameMs) override { host().runFrame(frameMs); }
  uint64_t frameNumber() const override { return host_ != nullptr ? host_->frameNumber() : 0; }
  void elapse(uint32_t ms) override { host().elapse(ms); }
  void setTick(uint32_t tick) override { setVirtualTickCount(tick); }

  void keyDown(uint32_t key) override { host().keyDown(key); }
  void keyUp(uint32_t key) override { host().keyUp(key); }

  const SimGame& game() const override {
    if (host_ == nullptr) throw std::logic_error("no simulated host before begin()");
    return host_->game();
  }
  void newGame() override { host().game().reset(); }
  void setClock(int32_t hours, int32_t minutes, int32_t seconds) override {
    host().game().setClock(hours, minutes, seconds);
  }
  void setResolution(int32_t width, int32_t height) override { host().game().setResolution(width, height); }
  void clearRecords() override { host().game().clearRecords(); }

 private:
  SimHost& host() {
    if (host_ == nullptr) throw std::logic_error("no simulated host before begin()");
    return *host_;
  }

  std::unique_ptr<SimHost> host_;
};

}  // namespace

int main(int argc, char** argv) {
  NativeScenarioHost host;
  return scenarioMain(host, std::vector<std::string>(argv + 1, argv + argc));
}
