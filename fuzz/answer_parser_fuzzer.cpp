// Any UDP answer payload, NUL- or "^$^"-separated and of any length, parsed by
// a real engine. Parsing the same answer twice must not change the map.
#include <cstdint>

#include "fuzz/engine_checks.h"
#include "voka/client_authen.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* answer = reinterpret_cast<const char*>(data);

  CClientAuthen engine;
  engine.ParseAnswer(answer, size);
  CheckParsedAnswer(engine, answer, size);

  auto first = engine.Results();
  engine.ParseAnswer(answer, size);
  FUZZ_CHECK(engine.Results() == first);
  return 0;
}
