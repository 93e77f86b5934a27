# The real Horavane.asi under Wine, driven by scenarios/*.scn, and the proof that it
# behaves exactly as the plug-in's sources do in the native simulated host.
WINE_SCENARIOS := $(sort $(wildcard tests/scenarios/*.scn))

.PHONY: test-wine
test-wine: native windows
	wine/test-wine.sh $(NATIVE_DIR) $(WINDOWS_DIR) $(WINE_SCENARIOS)

TEST_STEPS += test-wine
