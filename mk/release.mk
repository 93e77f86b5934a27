# Ready for players: the release package, screenshots of the menu, and play mode.
#   make release       dist/Horavane-<version>.zip: Horavane.asi, horavane.ini, README.txt
#   make screenshots   the menu rendered to PNG from the real DLL under Wine
#   make test-release  the package checked; make test-play  play mode tested under tmux
RELEASE_SIM := $(NATIVE_DIR)/tools/horavane-sim
RELEASE_STAGE := build/release
SCREENSHOT_DIR := dist/screenshots
# The CMake project version, known once the Windows build is configured.
RELEASE_VERSION = $(shell sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' $(WINDOWS_DIR)/CMakeCache.txt)

.PHONY: release screenshots test-release test-play demo-release

release: native windows
	packaging/make-release.sh $(WINDOWS_DIR) $(RELEASE_SIM) dist $(RELEASE_STAGE)

screenshots: native windows
	packaging/screenshots.sh $(NATIVE_DIR) $(WINDOWS_DIR) $(SCREENSHOT_DIR)

test-release: release
	packaging/test-release.sh $(WINDOWS_DIR) $(RELEASE_SIM) dist

# Play mode in a real terminal, starting from the shipped settings file.
test-play: release
	tests/play_mode_test.sh $(RELEASE_SIM) $(RELEASE_STAGE)/Horavane-$(RELEASE_VERSION)/horavane.ini

# The closing words of `make demo`, after every other demo step (hence the second
# expansion: the list is complete only once every mk/*.mk has been read).
.SECONDEXPANSION:
demo-release: $$(filter-out demo-release,$$(DEMO_STEPS))
	@echo
	@echo "Release package:  dist/Horavane-$(RELEASE_VERSION).zip (Horavane.asi, horavane.ini, README.txt)"
	@ls $(SCREENSHOT_DIR)/*.png 2>/dev/null | sed -e '1s/^/Screenshots:      /' -e '2,$$s/^/                  /' || true
	@echo "Play mode:        cd to a folder of your choice (its horavane.ini is used, as the game's is) and run"
	@echo "                  $(abspath $(RELEASE_SIM)) play"
	@echo "                  F5 opens the menu, digits are the keypad's keys; Ctrl-C or Esc twice quits."

TEST_STEPS += test-release test-play
DEMO_STEPS += release screenshots demo-release
