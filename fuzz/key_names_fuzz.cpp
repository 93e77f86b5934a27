// Fuzz target: key-name lookup on arbitrary bytes. The answer is 0 or a code of the
// table; a text that gives a code is the name of an entry with that code, so it maps
// back to itself; and the lookup never reads past the text's terminator (the text sits
// at the very end of its own allocation, where AddressSanitizer sees any overread).

#include <cstring>
#include <memory>

#include "fuzz_support.h"
#include "input/keys.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The settings functions hand over NUL-terminated text: whatever follows a NUL is cut.
  const size_t length = strnlen(reinterpret_cast<const char*>(data), size);
  const std::unique_ptr<char[]> text(new char[length + 1]);
  std::memcpy(text.get(), data, length);
  text[length] = '\0';
  const uint32_t code = keyCodeFromName(text.get());

  bool named = false;
  for (uint32_t i = 0; i < KEY_NAME_COUNT; ++i)
    named = named || (KEY_NAMES[i].code == code && std::strlen(KEY_NAMES[i].name) == length &&
                      std::memcmp(KEY_NAMES[i].name, text.get(), length) == 0);
  FUZZ_CHECK(code == 0 || named, "\"%s\" gave code %u, but is no entry's name with that code", text.get(), code);
  FUZZ_CHECK(code <= 165, "\"%s\" gave code %u, above the highest key of the table", text.get(), code);
  return 0;
}
