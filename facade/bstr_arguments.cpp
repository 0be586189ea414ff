#include "facade/bstr_arguments.h"

#include "codec/bstr_convert.h"

HRESULT ArgumentToAnsi(BSTR argument, std::string& ansi) {
  if (!argument || SysStringLen(argument) == 0) {
    ansi.clear();
    return S_OK;
  }
  return BstrToAnsi(argument, ansi);
}
