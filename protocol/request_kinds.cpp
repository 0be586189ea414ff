#include "voka/protocol/request_kinds.h"

#include <algorithm>
#include <cstdint>

namespace {

constexpr FieldUse kPlain = FieldUse::kPlain;
constexpr FieldUse kIdentity = FieldUse::kIdentity;
constexpr FieldUse kOptional = FieldUse::kOptional;
constexpr bool kSecret = true;

// The e-card login sends GUID third over UDP and fifth over HTTP: the
// servers expect exactly that.
constexpr RequestKindRow kRows[] = {
    {RequestKind::kDynamicKey,
     "dynamic-key",
     "request the dynamic key (UDP first, HTTP for good when UDP fails)",
     0x5300,
     "/zq.ack",
     {{kFieldIndication, kOptional}},
     {{kFieldIndication, kOptional}}},
    {RequestKind::kStaticLogin,
     "static",
     "account login; an e-key account also gets EKEYPWD from the USB token",
     0xC500,
     "/Login.Validate.Account",
     {{kFieldUserId, kPlain},
      {kFieldPassword, kPlain, kSecret},
      {kFieldAppId, kPlain},
      {kFieldAreaId, kPlain},
      {kFieldGuid, kPlain},
      {kFieldClientIp, kPlain},
      {kFieldMac, kPlain},
      {kFieldCheckCode, kOptional},
      {kFieldIndication, kOptional}},
     {{kFieldUserId, kIdentity},
      {kFieldPassword, kIdentity, kSecret},
      {kFieldAppId, kPlain},
      {kFieldAreaId, kPlain},
      {kFieldGuid, kPlain},
      {kFieldClientIp, kPlain},
      {kFieldMac, kPlain},
      {kFieldCheckCode, kOptional},
      {kFieldIndication, kOptional}}},
    {RequestKind::kEKeyLogin,
     "ekey",
     "e-key login",
     0xC600,
     "/Login.Validate.Dynamic",
     {{kFieldUserId, kPlain},
      {kFieldEKeyPassword, kPlain, kSecret},
      {kFieldEKeyType, kPlain},
      {kFieldAppId, kPlain},
      {kFieldAreaId, kPlain},
      {kFieldGuid, kPlain},
      {kFieldIndication, kOptional}},
     {{kFieldUserId, kIdentity},
      {kFieldEKeyPassword, kIdentity, kSecret},
      {kFieldEKeyType, kPlain},
      {kFieldAppId, kPlain},
      {kFieldAreaId, kPlain},
      {kFieldGuid, kPlain},
      {kFieldIndication, kOptional}}},
    {RequestKind::kECardLogin,
     "ecard",
     "matrix card login, with the digits at the POSITION the account login asked for",
     0xAD00,
     "/Login.Validate.ECard",
     {{kFieldUserId, kPlain},
      {kFieldECardAnswer, kPlain, kSecret},
      {kFieldGuid, kPlain},
      {kFieldAppId, kPlain},
      {kFieldAreaId, kPlain},
      {kFieldIndication, kOptional}},
     {{kFieldUserId, kIdentity},
      {kFieldECardAnswer, kIdentity, kSecret},
      {kFieldAppId, kPlain},
      {kFieldAreaId, kPlain},
      {kFieldGuid, kPlain},
      {kFieldIndication, kOptional}}},
};

template <typename Matches>
constexpr const RequestKindRow* FindRow(Matches matches) {
  for (const RequestKindRow& row : kRows) {
    if (matches(row)) return &row;
  }
  return nullptr;
}

// The switch names every kind, or the build fails (-Werror=switch); the
// assertion below then fails the build for a named kind without a row.
constexpr bool IsRequestKind(RequestKind kind) {
  switch (kind) {
    case RequestKind::kDynamicKey:
    case RequestKind::kStaticLogin:
    case RequestKind::kEKeyLogin:
    case RequestKind::kECardLogin: return true;
  }
  return false;
}

constexpr bool EveryKindHasARow() {
  for (unsigned value = 0; value <= UINT8_MAX; ++value) {
    const auto kind = static_cast<RequestKind>(value);
    if (IsRequestKind(kind) && FindRow([kind](const RequestKindRow& row) { return row.kind == kind; }) == nullptr) {
      return false;
    }
  }
  return true;
}
static_assert(EveryKindHasARow(), "every request kind has a row in kRows");

constexpr bool SameText(const char* a, const char* b) {
  while (*a != '\0' && *a == *b) ++a, ++b;
  return *a == *b;
}

// Calls visit(field) for each field of each list of each row, until it returns false.
template <typename Visit>
constexpr bool EveryField(Visit visit) {
  for (const RequestKindRow& row : kRows) {
    for (const RequestField* list : {row.udpFields, row.httpFields}) {
      for (size_t i = 0; i < kMaxRequestFields && list[i].name != nullptr; ++i) {
        if (!visit(list[i])) return false;
      }
    }
  }
  return true;
}

// A field is secret in every list that carries it, or in none.
constexpr bool SecretEverywhereOrNowhere() {
  return EveryField([](const RequestField& field) {
    return EveryField(
        [&field](const RequestField& same) { return !SameText(field.name, same.name) || field.secret == same.secret; });
  });
}
static_assert(SecretEverywhereOrNowhere(), "a secret field is marked in every list that carries it");

}  // namespace

const RequestKindRow& RowOf(RequestKind kind) {
  return *FindRow([kind](const RequestKindRow& row) { return row.kind == kind; });
}

const std::vector<RequestKindRow>& AllRequestKinds() {
  static const std::vector<RequestKindRow> rows(std::begin(kRows), std::end(kRows));
  return rows;
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

bool IsSecretField(const std::string& name) {
  const std::vector<std::string>& names = SecretFieldNames();
  return std::find(names.begin(), names.end(), name) != names.end();
}

const std::vector<std::string>& SecretFieldNames() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> found;
    EveryField([&found](const RequestField& field) {
      if (field.secret && std::find(found.begin(), found.end(), field.name) == found.end())
        found.emplace_back(field.name);
      return true;
    });
    return found;
  }();
  return names;
}
