#include "facade/script_invoke.h"

namespace {

enum class ScriptForm { None, KeyOnly, ByRefVariantValue };

ScriptForm FormOf(DISPID dispId, WORD flags, const DISPPARAMS* params) {
  if (dispId != kGetValueDispId || !(flags & DISPATCH_METHOD) || !params || params->cNamedArgs != 0) {
    return ScriptForm::None;
  }
  if (params->cArgs == 1) return ScriptForm::KeyOnly;
  // Arguments arrive last first: rgvarg[0] is bstrValue.
  if (params->cArgs == 2 && V_VT(&params->rgvarg[0]) == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(&params->rgvarg[0])) {
    return ScriptForm::ByRefVariantValue;
  }
  return ScriptForm::None;
}

HRESULT KeyText(VARIANT& argument, VARIANT& key) {
  VARIANT direct;
  VariantInit(&direct);
  HRESULT hr = VariantCopyInd(&direct, &argument);
  if (SUCCEEDED(hr)) hr = VariantChangeType(&key, &direct, 0, VT_BSTR);
  VariantClear(&direct);
  return hr;
}

}  // namespace

bool InvokeScriptGetValue(IVOKAClientAuthen* target, DISPID dispId, WORD flags, DISPPARAMS* params, VARIANT* result,
                          UINT* argError, HRESULT& hr) {
  const ScriptForm form = FormOf(dispId, flags, params);
  if (form == ScriptForm::None) return false;

  const UINT keyIndex = params->cArgs - 1;
  VARIANT key;
  VariantInit(&key);
  hr = KeyText(params->rgvarg[keyIndex], key);
  if (FAILED(hr)) {
    if (argError) *argError = keyIndex;
    hr = DISP_E_TYPEMISMATCH;
    return true;
  }

  BSTR value = nullptr;
  LONG lookup = 0;
  hr = target->GetValue(V_BSTR(&key), &value, &lookup);
  VariantClear(&key);
  if (FAILED(hr)) return true;

  if (form == ScriptForm::KeyOnly) {
    if (result) {
      VariantInit(result);
      V_VT(result) = VT_BSTR;
      V_BSTR(result) = value;
    } else {
      SysFreeString(value);
    }
    return true;
  }

  VARIANT* out = V_VARIANTREF(&params->rgvarg[0]);
  VariantClear(out);
  V_VT(out) = VT_BSTR;
  V_BSTR(out) = value;
  if (result) {
    VariantInit(result);
    V_VT(result) = VT_I4;
    V_I4(result) = lookup;
  }
  return true;
}
