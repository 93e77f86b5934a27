// Fuzz target: key-name lookup on arbitrary bytes. The answer is 0 or a code of the
// table, and exactly the code of the first entry spelled as the text is, byte for byte.

#include <cstring>
#include <string>

#include "fuzz_support.h"
#include "input/keys.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The settings functions hand over NUL-terminated text: whatever follows a NUL is cut.
  const std::string text(reinterpret_cast<const char*>(data), size);
  const uint32_t code = keyCodeFromName(text.c_str());

  const KeyName* spelled = nullptr;
  bool codeInTable = code == 0;
  for (uint32_t i = 0; i < KEY_NAME_COUNT; ++i) {
    if (spelled == nullptr && std::strcmp(KEY_NAMES[i].name, text.c_str()) == 0) spelled = &KEY_NAMES[i];
    codeInTable = codeInTable || KEY_NAMES[i].code == code;
  }
  FUZZ_CHECK(codeInTable, "\"%s\" gave code %u, which no entry has", text.c_str(), code);
  FUZZ_CHECK(code <= 165, "\"%s\" gave code %u, above the highest key of the table", text.c_str(), code);
  if (spelled != nullptr) {
    FUZZ_CHECK(code == spelled->code, "\"%s\" gave %u, the table says %u", text.c_str(), code, spelled->code);
  } else {
    FUZZ_CHECK(code == 0, "\"%s\" names no key but gave %u", text.c_str(), code);
  }
  return 0;
}
