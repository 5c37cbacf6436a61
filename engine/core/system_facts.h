// Pure parts of the built-in variables: the operating-system code and the
// date masks. The platform queries that feed them live in engine/win.
#pragma once

#include <cstdint>

#include "engine/core/text.h"

namespace qx::core {

struct OsVersion {
  // From the extended ANSI version query; |workstation| is false when only
  // the plain query answered.
  uint32_t platform_id = 0;  // 1: the 9x family, 2: NT
  uint32_t major = 0;
  uint32_t minor = 0;
  bool workstation = false;
  // What the wide query reports, consulted only for versions the table lacks.
  uint32_t wide_major = 0;
  uint32_t wide_minor = 0;
};

// The value of OSVER: 1 NT 3, 2 NT 4, 3 2000, 4 XP, 6 95, 7 98, 8 ME,
// 10 Server 2003, 11 Vista, 12 Server 2008, 13 Windows 7, 14 Server 2012,
// 15 Windows 8, 16 and 17 for 6.3 and 6.4, 0 for anything else.
int OsVersionCode(const OsVersion& version);

struct LocalDateTime {
  int year, month, day, hour, minute, second;
};

// Writes |mask| with "%yyyy", "%mm", "%dd", "%hh", "%ii" and "%ss" replaced
// by the year (four digits) and the month, day, hour, minute and second (two
// digits each); everything else is copied.
Text FormatDateTime(TextView mask, const LocalDateTime& when);

}  // namespace qx::core
