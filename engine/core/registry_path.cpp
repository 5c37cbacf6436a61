#include "engine/core/registry_path.h"

namespace qx::core {

namespace {

struct Root {
  TextView name;
  uint32_t handle;
};

constexpr Root kRoots[] = {
    {u"HKEY_CLASSES_ROOT", 0x80000000u}, {u"HKEY_CURRENT_USER", 0x80000001u}, {u"HKEY_LOCAL_MACHINE", 0x80000002u},
    {u"HKEY_USERS", 0x80000003u},        {u"HKEY_CURRENT_CONFIG", 0x80000005u},
};

}  // namespace

RegistryPath ParseRegistryPath(TextView path) {
  RegistryPath parsed;
  const size_t slash = path.find(u'\\');
  const TextView root = path.substr(0, slash);
  for (const Root& known : kRoots) {
    if (EqualNoCase(root, known.name)) {
      parsed.root = known.handle;
      if (slash != TextView::npos) parsed.subkey.assign(path.substr(slash + 1));
      break;
    }
  }
  return parsed;
}

}  // namespace qx::core
