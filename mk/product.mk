# The shipped DLL beyond its budgets (check-imports): the same bytes from another
# folder, and a Visual Studio build's binding to the runtime.
#   make test-reproducible   the product and the release zip built again in another clone,
#                            under another umask, and compared byte for byte
#   make test-msvc-binding   host/runtime.h as MSVC compiles it, against ScriptHookV.def
.PHONY: test-reproducible test-msvc-binding

test-reproducible: release
	scripts/check-reproducible.sh $(WINDOWS_DIR) $(RELEASE_SIM) dist build/reproducible

test-msvc-binding: setup
	tests/msvc_binding/run.sh build

TEST_STEPS += test-reproducible test-msvc-binding
