#include "engine/core/system_facts.h"

namespace qx::core {

int OsVersionCode(const OsVersion& v) {
  if (v.platform_id == 1 && v.major == 4) {
    if (v.minor == 0) return 6;
    if (v.minor == 10) return 7;
    if (v.minor == 90) return 8;
  }
  if (v.platform_id == 2) {
    if (v.major == 3) return 1;
    if (v.major == 4) return 2;
    if (v.major == 5 && v.minor == 0) return 3;
    if (v.major == 5 && v.minor == 1) return 4;
    if (v.major == 5 && v.minor == 2) return v.workstation ? 4 : 10;
    if (v.major == 6 && v.minor == 0) return v.workstation ? 11 : 12;
    if (v.major == 6 && v.minor == 1) return v.workstation ? 13 : 0;
    if (v.major == 6 && v.minor == 2) return v.workstation ? 15 : 14;
  }
  if (v.wide_major == 6 && v.wide_minor == 3) return 16;
  if (v.wide_major == 6 && v.wide_minor == 4) return 17;
  return 0;
}

namespace {

void AppendDigits(Text& out, int value, int width) {
  char16_t digits[12];
  unsigned magnitude = value < 0 ? 0u : unsigned(value);
  for (int i = width - 1; i >= 0; --i) {
    digits[i] = char16_t(u'0' + magnitude % 10);
    magnitude /= 10;
  }
  out.append(digits, width);
}

}  // namespace

Text FormatDateTime(TextView mask, const LocalDateTime& when) {
  struct Field {
    TextView token;
    int value;
    int width;
  };
  const Field fields[] = {{u"%yyyy", when.year, 4},  {u"%mm", when.month, 2},  {u"%dd", when.day, 2},
                          {u"%hh", when.hour, 2},    {u"%ii", when.minute, 2}, {u"%ss", when.second, 2}};
  Text out;
  size_t i = 0;
  while (i < mask.size()) {
    bool replaced = false;
    for (const Field& f : fields) {
      if (mask.substr(i, f.token.size()) == f.token) {
        AppendDigits(out, f.value, f.width);
        i += f.token.size();
        replaced = true;
        break;
      }
    }
    if (!replaced) out.push_back(mask[i++]);
  }
  return out;
}

}  // namespace qx::core
