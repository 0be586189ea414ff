#include "voka/protocol/result_code_table.h"

#include "voka/result_codes.h"

const std::vector<ResultCodeEntry>& ResultCodeTable() {
  static const std::vector<ResultCodeEntry> table = {
      {ResultSource::kRequest, AUTHEN_S_OK, "AUTHEN_S_OK",
       "the call succeeded; a request's server answered RETVALUE 0"},
      {ResultSource::kRequest, AUTHEN_E_FAIL, "AUTHEN_E_FAIL",
       "no valid answer, a refused argument, or no e-key challenge"},
      {ResultSource::kRequest, AUTHEN_E_EKEYPWD, "AUTHEN_E_EKEYPWD",
       "the USB e-key library gave no password for the challenge"},
      {ResultSource::kGetValue, kValueFound, "kValueFound", "the field is present; its value was handed over"},
      {ResultSource::kGetValue, kValueAbsent, "kValueAbsent", "no such field, or its value could not be handed over"},
      {ResultSource::kGetValue, kValueTooLong, "kValueTooLong",
       "C++ buffer form: the value and its NUL do not fit the buffer"},
  };
  return table;
}

const ResultCodeEntry* FindResultCode(ResultSource source, int code) {
  for (const ResultCodeEntry& entry : ResultCodeTable()) {
    if (entry.source == source && entry.code == code) return &entry;
  }
  return nullptr;
}
