// The dialog description ("qxdlg.dat"): one section per dialog, a flag line,
// then records of one keyword line and a fixed number of field lines each.
// Positions and sizes are pixels of a 96-dots-per-inch display; texts and
// paths are kept as written, for the builder to expand.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "engine/core/text.h"

namespace qx::core {

using DialogLines = std::vector<Text>;

// Every line of the file in order, stripped of spaces at both ends.
DialogLines SplitDialogLines(std::string_view file_bytes);

enum class RecordKind : uint8_t {
  kDialog,         // "#QX.Dlg": width, height, title
  kButton,         // "#QX.But"
  kEdit,           // "#QX.Edit"
  kCheck,          // "#QX.Chk"
  kOption,         // "#QX.Opt"
  kProgress,       // "#QX.Prog"
  kLabel,          // "#QX.Lab"
  kContainer,      // "#QX.Cont"
  kRich,           // "#QX.Rich"
  kImage,          // "#QX.Img"
  kComponentList,  // "#QX.LView"
  kEndContainer,   // "#EndCont"
};

// One record with the fields its keyword has; the others keep their defaults.
struct DialogRecord {
  RecordKind kind = RecordKind::kDialog;
  int32_t x = 0;
  int32_t y = 0;
  int32_t width = 0;
  int32_t height = 0;
  Text text;  // title, caption, or file path, unexpanded
  int32_t number = 0;
  uint32_t colour = 0;
  Text flags;
};

// Reads one section's records in order.
class DialogSection {
 public:
  // Finds the first line that begins with "[" + name + "]", ASCII case
  // ignored; the line after it is the dialog's flag line. False when there
  // is none.
  bool Open(const DialogLines& lines, TextView name);

  const Text& flags() const { return flags_; }

  // The next record. False at "#EndDlg", and when the lines run out first,
  // a record whose field lines are cut short included. Field lines are taken
  // by position only; where a keyword is expected, any other line (comments
  // too) is skipped.
  bool Next(DialogRecord& record);

 private:
  const DialogLines* lines_ = nullptr;
  size_t at_ = 0;
  Text flags_;
};

// A flag letter counts wherever it stands in the line, case included.
bool HasFlag(TextView flags, char16_t letter);

// Of the letters that choose among styles excluding one another (an edit
// field's "O", "R", "P"; a check box's "R", "C"; a label's "E", "F", "R"; a
// container's "S", "R", "F"), the one that applies by precedence, or 0 when
// none is set or the kind has no such letters.
char16_t ExclusiveFlag(RecordKind kind, TextView flags);

// LOGPIXELS / 96 for a value above 0, else |current|.
double ScaleFactor(int32_t dots_per_inch, double current);
// A description length in display pixels, rounded to the nearest integer.
int32_t ScaleLength(int32_t length, double factor);
// The point size of a font |height| pixels high (a negative height is the
// character height, as the system gives it) at |dots_per_inch|, rounded.
int32_t PointSize(int32_t height, int32_t dots_per_inch);

}  // namespace qx::core
