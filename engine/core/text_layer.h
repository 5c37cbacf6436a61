// The engine's text layer: the variable store, the language table and the
// expansion of "#key", "%NAME%" and "/$" references that serves every text the
// engine shows, writes or uses as a path.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "engine/core/language_table.h"
#include "engine/core/text.h"
#include "engine/core/variables.h"

namespace qx::core {

class TextLayer {
 public:
  // Expands |text| into |out|, which must not overlap |text|:
  //   1. every "#" entry of the current language, in table order, with the
  //      default language's entry for each key the current one lacks;
  //   2. every variable, in the store's order;
  //   3. "/$" becomes CR LF.
  // Keys match without regard to the case of A-Z, each key once, left to
  // right and not inside its own inserted text; unknown references stay.
  // Later keys replace inside earlier insertions, so a chain of entries can
  // double the text with each key: once a replacement would take the text
  // past kExpansionLimit characters, it and every later replacement of this
  // expansion are skipped and the text is returned as it stands. A text that
  // is longer to begin with still takes replacements that do not lengthen it.
  void Expand(TextView text, Text& out);

  static constexpr size_t kExpansionLimit = 1000000;

  // Stores the expansion of |value| under "%name%". Setting "QXLANGID"
  // (exactly) also selects the language read as a number from |value| as
  // passed. |value| may point into the store itself.
  void SetVariable(TextView name, TextView value);
  // Stores |value| as it is, unexpanded.
  void SetVariableRaw(TextView name, TextView value);
  // Stores |value| as it is under |key| itself, without adding percent signs:
  // an expansion finds it only when |key| is written "%NAME%".
  void SetStoreEntry(TextView key, TextView value);
  // The stored value of "%name%", or null. A deferred value is looked up
  // first.
  const Text* FindVariable(TextView name);

  // Deferred variables: the value of "%name%" comes from |resolver| (given
  // |id|) when an expansion first meets the reference, or FindVariable asks
  // for it, and is then stored like SetVariable's, expanded. The entry takes
  // its place in the store's order now, and any setting of the name before
  // the first use replaces the deferred value.
  using Resolver = Text (*)(uint32_t id);
  void set_resolver(Resolver resolver) { resolver_ = resolver; }
  void SetDeferredVariable(TextView name, uint32_t id);

  // Replaces the table with the file's entries and selects the language the
  // file makes current (its first section with a non-zero identifier). That
  // language is also the table's default, whose entries stand in for the
  // keys another language lacks.
  void LoadLanguageTable(std::string_view file_bytes);
  // Empties the table and keeps the current language.
  void ClearLanguageTable();

  int32_t current_language() const { return current_language_; }
  // Every change of the current language also sets "QXRTL": "1" when the
  // language is written right to left, else "0", for hosts that show boxes.
  void set_current_language(int32_t id) { SelectLanguage(id); }
  bool right_to_left() const { return IsRightToLeftLanguage(current_language_); }
  const std::vector<LanguageEntry>& language_entries() const { return language_; }
  const VariableStore& variables() const { return variables_; }

 private:
  // A place where a key of the current step may start: the position of the
  // step's first character and the character after it, folded.
  struct Mark {
    uint32_t position;
    char16_t next;
  };

  enum class Replaced { kNothing, kChanged, kOverLimit };

  // Replaces every occurrence of |key| (which begins with the character whose
  // places |marks_| holds) by |with|. kOverLimit leaves |text| unchanged.
  Replaced ReplaceAtMarks(Text& text, TextView key, TextView with);
  void CollectMarks(const Text& text, char16_t marker);
  // Whether |key| (beginning with the step's marker) occurs at a mark.
  bool OccursAtMarks(const Text& text, TextView key) const;
  // Stores the deferred value of entry |index| (which must be deferred).
  void Resolve(size_t index);
  void SelectLanguage(int32_t id);
  void ClearDeferred(size_t index) {
    if (index < deferred_.size()) deferred_[index] = 0;
  }

  VariableStore variables_;
  // Per store entry: 0, or 1 + the resolver's id of a deferred value.
  std::vector<uint32_t> deferred_;
  Resolver resolver_ = nullptr;
  std::vector<LanguageEntry> language_;
  int32_t current_language_ = 0;
  int32_t default_language_ = 0;
  // The entries the language step applies, as indexes into language_, in
  // the order it applies them.
  std::vector<uint32_t> active_;
  // Working room reused by every expansion.
  Text scratch_;
  std::vector<Mark> marks_;
  // One bit per folded following character (modulo 64) over all marks: a
  // key whose second character has no bit cannot match anywhere.
  uint64_t next_bits_ = 0;
};

}  // namespace qx::core
