#include "engine/core/file_property_table.h"

#include "engine/core/lines.h"

namespace qx::core {

void ParseFileProperties(std::string_view bytes, FilePropertyTable& table) {
  LineReader reader(bytes);
  Text key, flag;
  while (reader.NextTrimmed(key)) {
    // A blank line would otherwise become a key and shift every later record.
    if (key.empty() || key[0] == u';') continue;
    FileProperty property;
    reader.NextTrimmed(property.redirection);
    reader.NextTrimmed(property.condition1);
    reader.NextTrimmed(property.condition2);
    reader.NextTrimmed(flag);
    property.not_logged = flag == u"1";
    table.Set(key, std::move(property));
  }
}

Text RelativeToInstallFolder(TextView path, TextView install_folder) {
  Text relative(path);
  if (install_folder.empty()) return relative;
  Text folder(install_folder);
  if (folder.back() != u'\\') folder.push_back(u'\\');
  Text scratch;
  ReplaceAllNoCase(relative, folder, u"", scratch);
  return relative;
}

TextView FileNamePart(TextView path) {
  const size_t slash = path.find_last_of(u"\\/");
  return slash == TextView::npos ? path : path.substr(slash + 1);
}

}  // namespace qx::core
