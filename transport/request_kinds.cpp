#include "transport/request_kinds.h"

namespace {

constexpr FieldUse kPlain = FieldUse::kPlain;
constexpr FieldUse kIdentity = FieldUse::kIdentity;
constexpr FieldUse kOptional = FieldUse::kOptional;

// The e-card login sends GUID third over UDP and fifth over HTTP: the
// servers expect exactly that.
constexpr RequestKindRow kRows[] = {
    {RequestKind::kDynamicKey,
     "dynamic-key",
     0x5300,
     "/zq.ack",
     {{"INDICATION", kOptional}},
     {{"INDICATION", kOptional}}},
    {RequestKind::kStaticLogin,
     "static",
     0xC500,
     "/Login.Validate.Account",
     {{"USERID", kPlain},
      {"PWD", kPlain},
      {"APPID", kPlain},
      {"AREAID", kPlain},
      {"GUID", kPlain},
      {"CLIENTIP", kPlain},
      {"MAC", kPlain},
      {"CHECKCODE", kOptional},
      {"INDICATION", kOptional}},
     {{"USERID", kIdentity},
      {"PWD", kIdentity},
      {"APPID", kPlain},
      {"AREAID", kPlain},
      {"GUID", kPlain},
      {"CLIENTIP", kPlain},
      {"MAC", kPlain},
      {"CHECKCODE", kOptional},
      {"INDICATION", kOptional}}},
    {RequestKind::kEKeyLogin,
     "ekey",
     0xC600,
     "/Login.Validate.Dynamic",
     {{"USERID", kPlain},
      {"EKEYPWD", kPlain},
      {"EKEYTYPE", kPlain},
      {"APPID", kPlain},
      {"AREAID", kPlain},
      {"GUID", kPlain},
      {"INDICATION", kOptional}},
     {{"USERID", kIdentity},
      {"EKEYPWD", kIdentity},
      {"EKEYTYPE", kPlain},
      {"APPID", kPlain},
      {"AREAID", kPlain},
      {"GUID", kPlain},
      {"INDICATION", kOptional}}},
    {RequestKind::kECardLogin,
     "ecard",
     0xAD00,
     "/Login.Validate.ECard",
     {{"USERID", kPlain},
      {"ECARDPWD", kPlain},
      {"GUID", kPlain},
      {"APPID", kPlain},
      {"AREAID", kPlain},
      {"INDICATION", kOptional}},
     {{"USERID", kIdentity},
      {"ECARDPWD", kIdentity},
      {"APPID", kPlain},
      {"AREAID", kPlain},
      {"GUID", kPlain},
      {"INDICATION", kOptional}}},
};

template <typename Matches>
const RequestKindRow* FindRow(Matches matches) {
  for (const RequestKindRow& row : kRows) {
    if (matches(row)) return &row;
  }
  return nullptr;
}

}  // namespace

const RequestKindRow& RowOf(RequestKind kind) {
  return *FindRow([kind](const RequestKindRow& row) { return row.kind == kind; });
}

const RequestKindRow* FindRequestByCommand(uint16_t command) {
  return FindRow([command](const RequestKindRow& row) { return row.udpCommand == command; });
}

const RequestKindRow* FindRequestByPath(const std::string& path) {
  return FindRow([&path](const RequestKindRow& row) { return path == row.httpPath; });
}

const RequestKindRow* FindRequestByName(const std::string& name) {
  return FindRow([&name](const RequestKindRow& row) { return name == row.name; });
}
