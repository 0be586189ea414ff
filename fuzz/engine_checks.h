// Checks shared by the harnesses that feed answers to a real engine.
#pragma once

#include <cstring>
#include <map>
#include <string>

#include "fuzz/answer_model.h"
#include "fuzz/fuzz_check.h"
#include "voka/client_authen.h"

// The map must match the model, and every entry
// must be readable through GetValue as the facade reads it.
inline void CheckParsedAnswer(CClientAuthen& engine, const char* data, size_t length) {
  FUZZ_CHECK(engine.Results() == ModelAnswerFields(ModelAnswerText(data, length)));
  for (const auto& [name, value] : engine.Results()) {
    for (char c : name) FUZZ_CHECK(!(c >= 'a' && c <= 'z'));
    if (name.find('\0') != std::string::npos) continue;
    char buffer[512];
    std::memset(buffer, 0x5A, sizeof buffer);
    int result = engine.GetValue(name.c_str(), buffer, sizeof buffer);
    if (value.size() < sizeof buffer && value.find('\0') == std::string::npos) {
      FUZZ_CHECK(result == 0 && value == buffer);
    } else if (value.size() >= sizeof buffer) {
      FUZZ_CHECK(result == -2 && static_cast<unsigned char>(buffer[0]) == 0x5A);
    }
    std::string whole;
    FUZZ_CHECK(engine.GetValue(name.c_str(), whole) == 0 && whole == value);
  }
}
