// Reading answers into the result map (protocol/answer_fields.h reads them).
#include <string>
#include <vector>

#include "voka/client_authen.h"
#include "voka/protocol/answer_fields.h"

std::string CClientAuthen::AnswerToText(const char* data, size_t length) { return ::AnswerToText(data, length); }

void CClientAuthen::SplitString(const std::string& text, const std::string& separator,
                                std::vector<std::string>& pieces) {
  size_t start = 0;
  if (!separator.empty()) {
    for (size_t found = text.find(separator); found != std::string::npos; found = text.find(separator, start)) {
      pieces.push_back(text.substr(start, found - start));
      start = found + separator.size();
    }
  }
  pieces.push_back(text.substr(start));
}

void CClientAuthen::ParseAnswer(const char* data, size_t length) { MergeAnswerFields(data, length, m_mapResult); }

int CClientAuthen::GetRetValue() const {
  int value = AUTHEN_E_FAIL;
  return ReadRetValue(&value) ? value : AUTHEN_E_FAIL;
}

bool CClientAuthen::ReadRetValue(int* value) const { return ReadVerdict(m_mapResult, value); }
