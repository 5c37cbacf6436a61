// The protected access list that the launcher and the engine build for their
// folders and lock objects, and the check an existing folder or lock must
// pass, read as text: Wine keeps no access list on files or folders (it reads
// back one made from the Unix mode), so each descriptor is checked where it
// is built.
#define DOCTEST_CONFIG_IMPLEMENT_WITH_MAIN
#include <windows.h>
#include <sddl.h>

#include "common/protected_access.h"
#include "common/unique_resource.h"
#include "doctest_text.h"
#include "test_support.h"

using namespace qxtest;

namespace {

std::string AsText(PSECURITY_DESCRIPTOR descriptor) {
  wchar_t* text = nullptr;
  if (!ConvertSecurityDescriptorToStringSecurityDescriptorW(
          descriptor, SDDL_REVISION_1, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &text, nullptr)) {
    return "<not convertible>";
  }
  qx::UniqueLocalMemory held(text);
  return Utf8(text);
}

}  // namespace

TEST_CASE("folders and locks are made owned by Administrators, for SYSTEM and Administrators only") {
  qx::ProtectedDescriptor access;
  REQUIRE(access.valid());
  CHECK_EQ(AsText(access.attributes()->lpSecurityDescriptor),
           std::string("O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)"));
  CHECK(qx::IsProtectedDescriptor(access.attributes()->lpSecurityDescriptor));
}

TEST_CASE("an existing folder or lock: protected only with exactly that list; closed to users by owner and entries") {
  struct Case {
    const wchar_t* text;
    bool protected_list, closed;
  };
#define QX_TI L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464"
  const Case cases[] = {
      {L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", true, true},
      // The order of the entries and the system's own inheritance mark do not matter.
      {L"O:BAD:PAI(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)", true, true},
      {L"O:BUD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", false, false},
      {L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", false, false},
      {L"O:BAD:(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", false, true},
      {L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)", false, true},
      {L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BU)", false, false},
      {L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;SY)", false, true},
      {L"O:BAD:P(A;OICIID;FA;;;SY)(A;OICI;FA;;;BA)", false, true},
      // A denying entry is not counted on.
      {L"O:BAD:P(D;OICI;FA;;;SY)(A;OICI;FA;;;BA)", false, true},
      {L"O:BAD:(D;;SD;;;BU)(A;;FA;;;SY)", false, true},
      {L"O:BAD:P(A;OICI;FR;;;SY)(A;OICI;FA;;;BA)", false, true},
      {L"O:BA", false, false},
      // As the system's program folder: TrustedInstaller's, others read, creators own what they make.
      {L"O:" QX_TI L"D:PAI(A;;FA;;;" QX_TI L")(A;;0x1301bf;;;SY)(A;;0x1301bf;;;BA)(A;;0x1200a9;;;BU)"
       L"(A;OICIIO;GA;;;CO)(A;OICIIO;GA;;;BU)",
       false, true},
      // As a drive's root: users may make folders there, and own what is made inside.
      {L"O:SYD:(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)(A;CI;0x4;;;AU)(A;OICIIO;SDGXGWGR;;;AU)", false,
       true},
      // What Wine reads back for every folder: its user's own.
      {L"O:S-1-5-21-0-0-0-1000D:(A;OICI;FA;;;SY)(A;OICI;FA;;;S-1-5-21-0-0-0-1000)(A;OICI;0x1200a9;;;WD)", false,
       false},
      {L"O:BAD:(A;;FA;;;SY)(A;;SD;;;BU)", false, false},
      {L"O:BAD:(A;;FA;;;SY)(A;;0x40;;;AU)", false, false},
      {L"O:BAD:(A;;FA;;;SY)(A;;WD;;;WD)", false, false},
      {L"O:BAD:(A;;FA;;;SY)(A;;WO;;;BU)", false, false},
      {L"O:BAD:(A;;FA;;;SY)(A;;GA;;;BU)", false, false},
  };
#undef QX_TI
  for (const Case& c : cases) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    REQUIRE_MESSAGE(ConvertStringSecurityDescriptorToSecurityDescriptorW(c.text, SDDL_REVISION_1, &descriptor, nullptr),
                    Utf8(c.text));
    qx::UniqueLocalMemory held(descriptor);
    CHECK_MESSAGE(qx::IsProtectedDescriptor(descriptor) == c.protected_list, Utf8(c.text));
    CHECK_MESSAGE(qx::IsClosedToUsers(descriptor) == c.closed, Utf8(c.text));
  }
}
