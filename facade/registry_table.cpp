#include "facade/registry_table.h"

// The AppID is the one GUID the IDL does not declare.
const wchar_t kModuleAppId[] = L"{F824EFED-0E7C-45E6-9F65-A1BA9395C62C}";

namespace {

constexpr wchar_t kClassName[] = L"VOKAClientAuthen Class";
constexpr wchar_t kProgId[] = L"VOKA4ClientCom.VOKAClientAuthen.1";
constexpr wchar_t kVersionIndependentProgId[] = L"VOKA4ClientCom.VOKAClientAuthen";

const RegistryKeyEntry kAppIdEntries[] = {
    {L"AppID", KeyRule::Keep, nullptr, nullptr, nullptr},
    {L"AppID\\%APPID%", KeyRule::Write, L"VOKA4ClientCom", nullptr, nullptr},
    {L"AppID\\VOKA4ClientCom.DLL", KeyRule::Write, nullptr, L"AppID", L"%APPID%"},
};

const RegistryKeyEntry kClassEntries[] = {
    {kProgId, KeyRule::Write, kClassName, nullptr, nullptr},
    {L"VOKA4ClientCom.VOKAClientAuthen.1\\CLSID", KeyRule::Write, L"%CLSID%", nullptr, nullptr},
    {kVersionIndependentProgId, KeyRule::Write, kClassName, nullptr, nullptr},
    {L"VOKA4ClientCom.VOKAClientAuthen\\CLSID", KeyRule::Write, L"%CLSID%", nullptr, nullptr},
    {L"VOKA4ClientCom.VOKAClientAuthen\\CurVer", KeyRule::Write, kProgId, nullptr, nullptr},
    {L"CLSID", KeyRule::Keep, nullptr, nullptr, nullptr},
    {L"CLSID\\%CLSID%", KeyRule::ForceRemove, kClassName, L"AppID", L"%APPID%"},
    {L"CLSID\\%CLSID%\\ProgID", KeyRule::Write, kProgId, nullptr, nullptr},
    {L"CLSID\\%CLSID%\\VersionIndependentProgID", KeyRule::Write, kVersionIndependentProgId, nullptr, nullptr},
    {L"CLSID\\%CLSID%\\Programmable", KeyRule::ForceRemove, nullptr, nullptr, nullptr},
    {L"CLSID\\%CLSID%\\InprocServer32", KeyRule::Write, L"%MODULE%", L"ThreadingModel", L"Apartment"},
    {L"CLSID\\%CLSID%\\TypeLib", KeyRule::Write, L"%LIBID%", nullptr, nullptr},
};

}  // namespace

const RegistryScript kAppIdRegistryScript = {kAppIdEntries, sizeof kAppIdEntries / sizeof kAppIdEntries[0]};
const RegistryScript kClassRegistryScript = {kClassEntries, sizeof kClassEntries / sizeof kClassEntries[0]};
