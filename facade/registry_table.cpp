#include "facade/registry_table.h"

const wchar_t kModuleAppId[] = L"{F824EFED-0E7C-45E6-9F65-A1BA9395C62C}";

namespace {

constexpr wchar_t kClassName[] = L"VOKAClientAuthen Class";
constexpr wchar_t kClsid[] = L"{6ADCA7C5-BE52-4796-A00B-D69EC8310453}";
constexpr wchar_t kProgId[] = L"VOKA4ClientCom.VOKAClientAuthen.1";
constexpr wchar_t kVersionIndependentProgId[] = L"VOKA4ClientCom.VOKAClientAuthen";

const RegistryKeyEntry kAppIdEntries[] = {
    {L"AppID", KeyRule::Keep, nullptr, nullptr, nullptr},
    {L"AppID\\%APPID%", KeyRule::Write, L"VOKA4ClientCom", nullptr, nullptr},
    {L"AppID\\VOKA4ClientCom.DLL", KeyRule::Write, nullptr, L"AppID", L"%APPID%"},
};

const RegistryKeyEntry kClassEntries[] = {
    {kProgId, KeyRule::Write, kClassName, nullptr, nullptr},
    {L"VOKA4ClientCom.VOKAClientAuthen.1\\CLSID", KeyRule::Write, kClsid, nullptr, nullptr},
    {kVersionIndependentProgId, KeyRule::Write, kClassName, nullptr, nullptr},
    {L"VOKA4ClientCom.VOKAClientAuthen\\CLSID", KeyRule::Write, kClsid, nullptr, nullptr},
    {L"VOKA4ClientCom.VOKAClientAuthen\\CurVer", KeyRule::Write, kProgId, nullptr, nullptr},
    {L"CLSID", KeyRule::Keep, nullptr, nullptr, nullptr},
    {L"CLSID\\{6ADCA7C5-BE52-4796-A00B-D69EC8310453}", KeyRule::ForceRemove, kClassName, L"AppID", L"%APPID%"},
    {L"CLSID\\{6ADCA7C5-BE52-4796-A00B-D69EC8310453}\\ProgID", KeyRule::Write, kProgId, nullptr, nullptr},
    {L"CLSID\\{6ADCA7C5-BE52-4796-A00B-D69EC8310453}\\VersionIndependentProgID", KeyRule::Write,
     kVersionIndependentProgId, nullptr, nullptr},
    {L"CLSID\\{6ADCA7C5-BE52-4796-A00B-D69EC8310453}\\Programmable", KeyRule::ForceRemove, nullptr, nullptr,
     nullptr},
    {L"CLSID\\{6ADCA7C5-BE52-4796-A00B-D69EC8310453}\\InprocServer32", KeyRule::Write, L"%MODULE%",
     L"ThreadingModel", L"Apartment"},
    {L"CLSID\\{6ADCA7C5-BE52-4796-A00B-D69EC8310453}\\TypeLib", KeyRule::Write,
     L"{F2CDCDE2-DC9E-4547-A4EF-7236D79EF45C}", nullptr, nullptr},
};

}  // namespace

const RegistryScript kAppIdRegistryScript = {kAppIdEntries, sizeof kAppIdEntries / sizeof kAppIdEntries[0]};
const RegistryScript kClassRegistryScript = {kClassEntries, sizeof kClassEntries / sizeof kClassEntries[0]};
