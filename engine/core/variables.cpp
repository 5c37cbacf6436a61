#include "engine/core/variables.h"

namespace qx::core {

Text VariableKey(TextView name) {
  Text key;
  key.reserve(name.size() + 2);
  key.push_back(u'%');
  key.append(name);
  key.push_back(u'%');
  return key;
}

}  // namespace qx::core
