// Prints the registry tables that DllRegisterServer applies (facade/registry_table.cpp),
// one entry a line, so that the MSI is generated from the very rows the DLL writes:
//   RULE <TAB> KEY <TAB> DEFAULT <TAB> VALUE NAME <TAB> VALUE DATA
// An absent default or named value prints as an empty field; placeholders
// ("%CLSID%") stay for the generator to replace. The AppID prints first as
// "APPID <TAB> GUID".
#include <cstdio>
#include <initializer_list>

#include "facade/registry_table.h"

namespace {

// The tables hold ASCII only; anything else would need an encoding the
// generator does not expect, so it stops the build.
bool Print(const wchar_t* text) {
  for (; text && *text; ++text) {
    if (*text < 0x20 || *text > 0x7E) return false;
    std::putchar(static_cast<char>(*text));
  }
  return true;
}

const char* RuleName(KeyRule rule) {
  switch (rule) {
    case KeyRule::Write: return "write";
    case KeyRule::Keep: return "keep";
    case KeyRule::ForceRemove: return "force-remove";
  }
  return "";
}

}  // namespace

int main() {
  std::printf("APPID\t");
  bool ascii = Print(kModuleAppId);
  std::putchar('\n');
  for (const RegistryScript* script : {&kAppIdRegistryScript, &kClassRegistryScript}) {
    for (size_t i = 0; i < script->count; ++i) {
      const RegistryKeyEntry& entry = script->entries[i];
      std::printf("%s\t", RuleName(entry.rule));
      ascii = Print(entry.path) && ascii;
      std::putchar('\t');
      ascii = Print(entry.defaultValue) && ascii;
      std::putchar('\t');
      ascii = Print(entry.valueName) && ascii;
      std::putchar('\t');
      ascii = Print(entry.valueData) && ascii;
      std::putchar('\n');
    }
  }
  if (!ascii) std::fprintf(stderr, "msi_registry_rows: a registry entry holds a character outside printable ASCII\n");
  return ascii ? 0 : 1;
}
