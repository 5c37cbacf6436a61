// The file-properties table: per-file instructions for the installer side,
// keyed by a path relative to the installation folder, read from a text file
// of five-line records.
#pragma once

#include <string_view>

#include "engine/core/keyed_table.h"
#include "engine/core/text.h"

namespace qx::core {

struct FileProperty {
  Text redirection;  // a folder that receives the file instead, unexpanded
  Text condition1;   // the file is skipped when one of these expands to "0"
  Text condition2;
  bool not_logged = false;
};

// Keys compare exactly, case included; setting an existing key replaces its
// record.
using FilePropertyTable = KeyedTable<FileProperty>;

// Adds the records of a file's bytes to |table|. Lines are UTF-8, trimmed of
// spaces. A line that begins with ";" or is empty, where a record could
// begin, is skipped; any other line is a key, and the next four lines are the
// redirection folder, the two conditions and the flag line ("1" sets the
// not-logged flag). Lines missing at the end of the file read as empty.
void ParseFileProperties(std::string_view bytes, FilePropertyTable& table);

// A path as the tables of the installation know it: every occurrence of the
// installation folder (with a trailing backslash) removed, without regard to
// case. An empty folder leaves the path as it is.
Text RelativeToInstallFolder(TextView path, TextView install_folder);

// The file's name: the text after the last backslash or slash.
TextView FileNamePart(TextView path);

enum class FileDecision {
  kSkip = 0,      // a condition expanded to "0"
  kDefault = 1,   // no record, or nothing that applies
  kRedirect = 2,  // |redirected| holds the new path
};

// Decides what the installer does with the file at |path|. |expand| expands
// a text of the record (the engine's variable expansion). A redirection
// gives the expanded folder, a backslash unless it already ends in one, and
// the file's name.
template <typename Expand>
FileDecision DecideFile(const FilePropertyTable& table, TextView path, TextView install_folder, Expand expand,
                        Text& redirected) {
  const FileProperty* property = table.Find(RelativeToInstallFolder(path, install_folder));
  if (!property) return FileDecision::kDefault;
  for (const Text* condition : {&property->condition1, &property->condition2})
    if (!condition->empty() && expand(*condition) == u"0") return FileDecision::kSkip;
  if (property->redirection.empty()) return FileDecision::kDefault;
  Text folder = expand(property->redirection);
  if (folder.empty()) return FileDecision::kDefault;
  if (folder.back() != u'\\') folder.push_back(u'\\');
  redirected = folder;
  redirected.append(FileNamePart(path));
  return FileDecision::kRedirect;
}

}  // namespace qx::core
