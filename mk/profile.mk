# The settings-file functions of the native build against the Windows ones, under Wine.
.PHONY: test-profile-differential
TEST_STEPS += test-profile-differential

test-profile-differential: setup
	tests/profile_differential/run.sh build/profile-differential
