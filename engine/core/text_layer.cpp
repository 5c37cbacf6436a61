#include "engine/core/text_layer.h"

#include <algorithm>

#include "engine/include/launcher_contract.h"

namespace qx::core {

namespace {

Text Folded(TextView key) {
  Text folded(key);
  for (char16_t& c : folded) c = FoldAZ(c);
  return folded;
}

bool MatchesAt(const Text& text, size_t at, TextView key) {
  if (text.size() - at < key.size()) return false;
  for (size_t i = 1; i < key.size(); ++i)
    if (FoldAZ(text[at + i]) != FoldAZ(key[i])) return false;
  return true;
}

}  // namespace

// Every key of a step begins with the same character ("#" or "%"), so the
// places of that character are the only ones where a match can start. They
// are collected once per step and again only after the text changed, and the
// character after each of them rules out most keys at once, which keeps a
// step over a hundred keys to a few comparisons per key.
void TextLayer::CollectMarks(const Text& text, char16_t marker) {
  marks_.clear();
  next_bits_ = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != marker) continue;
    const char16_t next = i + 1 < text.size() ? FoldAZ(text[i + 1]) : 0;
    marks_.push_back(Mark{static_cast<uint32_t>(i), next});
    next_bits_ |= uint64_t(1) << (next & 63);
  }
}

TextLayer::Replaced TextLayer::ReplaceAtMarks(Text& text, TextView key, TextView with) {
  const bool long_key = key.size() >= 2;
  const char16_t second = long_key ? FoldAZ(key[1]) : 0;
  if (long_key && !(next_bits_ & (uint64_t(1) << (second & 63)))) return Replaced::kNothing;
  // Matches do not overlap: each starts after the end of the one before.
  auto each_match = [&](auto&& at_match) {
    size_t done = 0;
    for (const Mark& mark : marks_) {
      if (mark.position < done || (long_key && mark.next != second) || !MatchesAt(text, mark.position, key)) continue;
      if (!at_match(mark.position, done)) return false;
      done = mark.position + key.size();
    }
    return true;
  };
  // A replacement that lengthens the text is measured before it is made.
  if (with.size() > key.size()) {
    uint64_t length = text.size();
    const bool fits = each_match([&](size_t, size_t) {
      length += with.size() - key.size();
      return length <= kExpansionLimit;
    });
    if (!fits) return Replaced::kOverLimit;
  }
  bool changed = false;
  size_t end = 0;
  each_match([&](size_t position, size_t done) {
    if (!changed) scratch_.clear();
    changed = true;
    scratch_.append(text, done, position - done);
    scratch_.append(with);
    end = position + key.size();
    return true;
  });
  if (!changed) return Replaced::kNothing;
  scratch_.append(text, end, Text::npos);
  text.swap(scratch_);
  return Replaced::kChanged;
}

void TextLayer::Expand(TextView text, Text& out) {
  out.assign(text);

  CollectMarks(out, u'#');
  for (uint32_t index : active_) {
    if (marks_.empty()) break;
    const LanguageEntry& entry = language_[index];
    const Replaced replaced = ReplaceAtMarks(out, entry.key, entry.text);
    if (replaced == Replaced::kOverLimit) return;
    if (replaced == Replaced::kChanged) CollectMarks(out, u'#');
  }

  CollectMarks(out, u'%');
  for (size_t i = 0; i < variables_.size() && !marks_.empty(); ++i) {
    if (i < deferred_.size() && deferred_[i] && OccursAtMarks(out, variables_[i].key)) {
      // The lookup expands its value through this same layer, which
      // reuses the marks.
      Resolve(i);
      CollectMarks(out, u'%');
    }
    const VariableStore::Entry& entry = variables_[i];
    const Replaced replaced = ReplaceAtMarks(out, entry.key, entry.value);
    if (replaced == Replaced::kOverLimit) return;
    if (replaced == Replaced::kChanged) CollectMarks(out, u'%');
  }

  ReplaceAllExact(out, u"/$", u"\r\n", scratch_);
}

bool TextLayer::OccursAtMarks(const Text& text, TextView key) const {
  const char16_t second = key.size() >= 2 ? FoldAZ(key[1]) : 0;
  for (const Mark& mark : marks_)
    if ((key.size() < 2 || mark.next == second) && MatchesAt(text, mark.position, key)) return true;
  return false;
}

void TextLayer::Resolve(size_t index) {
  const uint32_t id = deferred_[index] - 1;
  // Cleared first: the value's own expansion sees the entry as it is now.
  ClearDeferred(index);
  const Text value = resolver_ ? resolver_(id) : Text();
  Text expanded;
  Expand(value, expanded);
  variables_.value_at(index) = std::move(expanded);
}

void TextLayer::SetVariable(TextView name, TextView value) {
  const bool selects_language = name == contract::kLanguageId.portable_name;
  const int32_t language = selects_language ? ReadNumber(value) : 0;
  Text expanded;
  Expand(value, expanded);
  ClearDeferred(variables_.Set(VariableKey(name), expanded));
  if (selects_language) SelectLanguage(language);
}

void TextLayer::SetVariableRaw(TextView name, TextView value) {
  Text copy(value);
  ClearDeferred(variables_.Set(VariableKey(name), copy));
}

void TextLayer::SetStoreEntry(TextView key, TextView value) {
  Text copy(value);
  ClearDeferred(variables_.Set(key, copy));
}

void TextLayer::SetDeferredVariable(TextView name, uint32_t id) {
  const size_t index = variables_.Set(VariableKey(name), Text());
  while (deferred_.size() < variables_.size()) deferred_.push_back(0);
  deferred_[index] = id + 1;
}

const Text* TextLayer::FindVariable(TextView name) {
  const int32_t index = variables_.IndexOf(VariableKey(name));
  if (index < 0) return nullptr;
  if (static_cast<size_t>(index) < deferred_.size() && deferred_[index]) Resolve(static_cast<size_t>(index));
  return &variables_[static_cast<size_t>(index)].value;
}

void TextLayer::LoadLanguageTable(std::string_view file_bytes) {
  default_language_ = ParseLanguageTable(file_bytes, language_);
  SelectLanguage(default_language_);
}

void TextLayer::ClearLanguageTable() {
  language_.clear();
  default_language_ = 0;
  active_.clear();
}

// The current language's entries in table order, and the default language's
// for the keys it lacks, each placed right before the first of the current
// language's keys that begins it (else at the end). Whatever order each
// section uses, a key then still comes before every key that begins it
// ("#notoall" before "#no"), as long as each section keeps that rule.
void TextLayer::SelectLanguage(int32_t id) {
  current_language_ = id;
  active_.clear();
  KeyIndex own_keys;
  for (size_t i = 0; i < language_.size(); ++i) {
    if (language_[i].language != id) continue;
    const Text key = Folded(language_[i].key);
    if (own_keys.IndexOf(key) < 0) own_keys.Add(key);
    active_.push_back(static_cast<uint32_t>(i));
  }
  const size_t own_count = active_.size();
  // Pairs of (place among the current language's entries, entry).
  std::vector<uint32_t> fallback;
  for (size_t i = 0; i < language_.size(); ++i) {
    const LanguageEntry& entry = language_[i];
    if (entry.language != default_language_ || id == default_language_ ||
        own_keys.IndexOf(Folded(entry.key)) >= 0)
      continue;
    size_t place = 0;
    while (place < own_count && !StartsWithNoCase(entry.key, language_[active_[place]].key)) ++place;
    fallback.push_back(static_cast<uint32_t>(place));
    fallback.push_back(static_cast<uint32_t>(i));
  }
  // Few entries: a pass over the fallback per place keeps its order.
  std::vector<uint32_t> merged;
  merged.reserve(own_count + fallback.size() / 2);
  for (size_t at = 0; at <= own_count; ++at) {
    for (size_t k = 0; k < fallback.size(); k += 2)
      if (fallback[k] == at) merged.push_back(fallback[k + 1]);
    if (at < own_count) merged.push_back(active_[at]);
  }
  active_ = std::move(merged);
  // Only "#" keys are references.
  std::erase_if(active_, [&](uint32_t i) { return language_[i].key.empty() || language_[i].key[0] != u'#'; });
  SetVariableRaw(contract::kRightToLeft.portable_name, IsRightToLeftLanguage(id) ? u"1" : u"0");
}

}  // namespace qx::core
