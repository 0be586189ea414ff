// The protocol's vocabulary and the login's steps through the C interface,
// read from the tables that the engine and voka-server use.
#include <string>
#include <vector>

#include "voka/limits.h"
#include "voka/login_steps.h"
#include "voka/protocol/answer_codes.h"
#include "voka/protocol/field_names.h"
#include "voka/protocol/request_kinds.h"
#include "voka/protocol/result_code_table.h"
#include "voka/voka_client.h"

namespace {

std::vector<voka_term> MakeTerms() {
  std::vector<voka_term> terms;
  for (const int code : {VOKA_OK, VOKA_E_FAIL, VOKA_E_EKEYPWD, VOKA_VALUE_ABSENT, VOKA_VALUE_TOO_LONG}) {
    const ResultCodeEntry* entry = FindResultCode(
        code == VOKA_VALUE_ABSENT || code == VOKA_VALUE_TOO_LONG ? ResultSource::kGetValue : ResultSource::kRequest,
        code);
    terms.push_back({"result", voka_client_result_name(code), code, entry->meaning});
  }
  for (const AnswerCodeEntry& entry : AnswerCodeTable()) {
    if (entry.code != kRetSuccess) terms.push_back({"answer", entry.name, entry.code, entry.message});
  }
  for (int cause = 0; cause < VOKA_CAUSE_COUNT; ++cause) {
    terms.push_back({"cause", FailureCauseName(cause), cause, FailureCauseText(cause)});
  }
  for (const auto& state :
       {std::make_pair("LOGGED_IN", kStateLoggedIn), std::make_pair("NEEDS_ECARD", kStateNeedsECard),
        std::make_pair("NEEDS_EKEY", kStateNeedsEKey)}) {
    terms.push_back({"state", state.first, std::stol(state.second), state.second});
  }
  for (const RequestKindRow& row : AllRequestKinds()) {
    terms.push_back({"request", row.name, static_cast<long>(row.kind), row.summary});
  }
  const struct {
    const char* name;
    long number;
  } limits[] = {{"UDP_PORT", kDefaultUdpPort},
                {"HTTP_PORT", kDefaultHttpPort},
                {"UDP_TIMEOUT", kDefaultUdpTimeOutSeconds},
                {"UDP_TIMEOUT_MAX", kLongestUdpTimeOutSeconds},
                {"HTTP_TIMEOUT", kHttpRequestTimeOutMs / 1000}};
  for (const auto& limit : limits) terms.push_back({"limit", limit.name, limit.number, ""});
  return terms;
}

const RequestKindRow* KindOf(int number) {
  for (const RequestKindRow& row : AllRequestKinds()) {
    if (static_cast<int>(row.kind) == number) return &row;
  }
  return nullptr;
}

int StepOf(const LoginStep& step) {
  if (!step.over) return VOKA_STEP_SEND;
  switch (step.end) {
    case LoginEnd::kLoggedIn: return VOKA_STEP_LOGGED_IN;
    case LoginEnd::kNoState: return VOKA_STEP_NO_STATE;
    case LoginEnd::kOtherState: return VOKA_STEP_OTHER_STATE;
    case LoginEnd::kRequestFailed:
    case LoginEnd::kNoCard: return VOKA_STEP_REQUEST_FAILED;
  }
  return VOKA_STEP_REQUEST_FAILED;
}

}  // namespace

const voka_term* voka_client_term(size_t index) {
  try {
    static const std::vector<voka_term> terms = MakeTerms();
    return index < terms.size() ? &terms[index] : nullptr;
  } catch (...) {
    return nullptr;  // out of memory on the first call
  }
}

int voka_client_first_step(void) { return static_cast<int>(FirstLoginRequest()); }

int voka_client_next_step(int answered, int result, const char* authen_state, int* next) {
  const RequestKindRow* row = KindOf(answered);
  if (row == nullptr || next == nullptr) return VOKA_E_FAIL;
  const LoginStep step = NextLoginStep(row->kind, result, authen_state);
  if (!step.over) *next = static_cast<int>(step.next);
  return StepOf(step);
}
