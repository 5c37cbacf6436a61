#include "engine/core/dialog_description.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "engine/core/lines.h"

namespace qx::core {

namespace {

// A record's field lines in order: x, y, w(idth), h(eight), t(ext),
// n(umber), c(olour), f(lags).
struct Keyword {
  TextView word;
  RecordKind kind;
  std::string_view fields;
};

constexpr Keyword kKeywords[] = {
    {u"#QX.Dlg", RecordKind::kDialog, "wht"},
    {u"#QX.But", RecordKind::kButton, "xywhtnf"},
    {u"#QX.Edit", RecordKind::kEdit, "xywhtnf"},
    {u"#QX.Chk", RecordKind::kCheck, "xywhtnf"},
    {u"#QX.Opt", RecordKind::kOption, "xywhtnf"},
    {u"#QX.Prog", RecordKind::kProgress, "xywhn"},
    {u"#QX.Lab", RecordKind::kLabel, "xywhtncf"},
    {u"#QX.Cont", RecordKind::kContainer, "xywhncf"},
    {u"#QX.Rich", RecordKind::kRich, "xywhntf"},
    {u"#QX.Img", RecordKind::kImage, "xywhntf"},
    {u"#QX.LView", RecordKind::kComponentList, "xywhnt"},
    {u"#EndCont", RecordKind::kEndContainer, ""},
};

constexpr TextView kEndDialog = u"#EndDlg";

void SetField(DialogRecord& record, char field, const Text& line) {
  switch (field) {
    case 'x': record.x = ReadNumber(line); break;
    case 'y': record.y = ReadNumber(line); break;
    case 'w': record.width = ReadNumber(line); break;
    case 'h': record.height = ReadNumber(line); break;
    case 't': record.text = line; break;
    case 'n': record.number = ReadNumber(line); break;
    case 'c': record.colour = static_cast<uint32_t>(ReadNumber(line)); break;
    case 'f': record.flags = line; break;
  }
}

// Half away from zero, as std::round rounds, without the math library's
// routine (and the runtime pieces it brings into the library).
double RoundHalfAway(double value) {
  // From 2^52 on, every double is a whole number.
  if (!(value > -4503599627370496.0 && value < 4503599627370496.0)) return value;
  const double whole = static_cast<double>(static_cast<int64_t>(value));
  const double rest = value - whole;
  if (rest >= 0.5) return whole + 1;
  if (rest <= -0.5) return whole - 1;
  return whole;
}

}  // namespace

DialogLines SplitDialogLines(std::string_view file_bytes) {
  DialogLines lines;
  LineReader reader(file_bytes);
  Text line;
  while (reader.NextTrimmed(line)) lines.push_back(line);
  return lines;
}

bool DialogSection::Open(const DialogLines& lines, TextView name) {
  Text header = u"[";
  header.append(name);
  header += u']';
  for (size_t i = 0; i < lines.size(); ++i) {
    if (!StartsWithNoCase(lines[i], header)) continue;
    lines_ = &lines;
    at_ = i + 1;
    flags_.clear();
    if (at_ < lines.size()) flags_ = lines[at_++];
    return true;
  }
  return false;
}

bool DialogSection::Next(DialogRecord& record) {
  if (!lines_) return false;
  const DialogLines& lines = *lines_;
  while (at_ < lines.size()) {
    const Text& line = lines[at_++];
    if (line == kEndDialog) {
      at_ = lines.size();
      return false;
    }
    for (const Keyword& keyword : kKeywords) {
      if (line != keyword.word) continue;
      if (lines.size() - at_ < keyword.fields.size()) {
        at_ = lines.size();
        return false;
      }
      record = DialogRecord{};
      record.kind = keyword.kind;
      for (char field : keyword.fields) SetField(record, field, lines[at_++]);
      return true;
    }
  }
  return false;
}

bool HasFlag(TextView flags, char16_t letter) { return flags.find(letter) != TextView::npos; }

char16_t ExclusiveFlag(RecordKind kind, TextView flags) {
  TextView by_precedence;
  switch (kind) {
    case RecordKind::kEdit: by_precedence = u"ORP"; break;
    case RecordKind::kCheck: by_precedence = u"RC"; break;
    case RecordKind::kLabel: by_precedence = u"EFR"; break;
    case RecordKind::kContainer: by_precedence = u"SRF"; break;
    default: break;
  }
  for (char16_t letter : by_precedence)
    if (HasFlag(flags, letter)) return letter;
  return 0;
}

double ScaleFactor(int32_t dots_per_inch, double current) {
  return dots_per_inch > 0 ? dots_per_inch / 96.0 : current;
}

int32_t ScaleLength(int32_t length, double factor) {
  const double scaled = RoundHalfAway(length * factor);
  if (scaled >= 2147483647.0) return INT32_MAX;
  if (scaled <= -2147483648.0) return INT32_MIN;
  return static_cast<int32_t>(scaled);
}

int32_t PointSize(int32_t height, int32_t dots_per_inch) {
  if (dots_per_inch <= 0) return 9;
  return static_cast<int32_t>(RoundHalfAway(std::abs(static_cast<double>(height)) * 72.0 / dots_per_inch));
}

}  // namespace qx::core
