// Any HTTP body as the HTTP stages parse it: the fetcher hands over text that
// holds no NUL byte (it cuts each chunk there), and the stage passes the body
// length + 1 so that the terminating NUL is the answer's last byte.
#include <algorithm>
#include <cstdint>
#include <string>

#include "fuzz/engine_checks.h"
#include "voka/client_authen.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string body(reinterpret_cast<const char*>(data), size);
  body.erase(std::remove(body.begin(), body.end(), '\0'), body.end());
  if (body.empty()) return 0;  // the fetcher reports an empty body as a failure
  size_t length = body.size() + 1;

  CClientAuthen engine;
  engine.ParseAnswer(body.c_str(), length);
  CheckParsedAnswer(engine, body.c_str(), length);
  // The terminating NUL is dropped and nothing else: the body is the text.
  FUZZ_CHECK(CClientAuthen::AnswerToText(body.c_str(), length) == body);
  return 0;
}
