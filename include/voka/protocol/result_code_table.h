// Every result a host receives from the engine (and, through lRet, from the
// COM object), with its name and meaning: the one source of the texts that
// voka-auth prints and of the list in docs/com-api.md, which a test compares
// with this table.
#pragma once

#include <vector>

// Which call returns the code: the same number means different things to a
// request method and to GetValue.
enum class ResultSource { kRequest, kGetValue };

struct ResultCodeEntry {
  ResultSource source;
  int code;
  const char* name;
  const char* meaning;
};

const std::vector<ResultCodeEntry>& ResultCodeTable();

// The entry of code for source; null for a number the table does not name
// (for a request, the account server's own RETVALUE).
const ResultCodeEntry* FindResultCode(ResultSource source, int code);
