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

TEST_CASE("an existing folder or lock counts as protected only with exactly that list") {
  struct Case {
    const wchar_t* text;
    bool protected_list;
  };
  const Case cases[] = {
      {L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", true},
      // The order of the entries and the system's own inheritance mark do not matter.
      {L"O:BAD:PAI(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)", true},
      {L"O:BUD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", false},
      {L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", false},
      {L"O:BAD:(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", false},
      {L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)", false},
      {L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BU)", false},
      {L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;SY)", false},
      {L"O:BAD:P(A;OICIID;FA;;;SY)(A;OICI;FA;;;BA)", false},
      {L"O:BAD:P(D;OICI;FA;;;SY)(A;OICI;FA;;;BA)", false},
      {L"O:BAD:P(A;OICI;FR;;;SY)(A;OICI;FA;;;BA)", false},
      {L"O:BA", false},
  };
  for (const Case& c : cases) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    REQUIRE_MESSAGE(ConvertStringSecurityDescriptorToSecurityDescriptorW(c.text, SDDL_REVISION_1, &descriptor, nullptr),
                    Utf8(c.text));
    qx::UniqueLocalMemory held(descriptor);
    CHECK_MESSAGE(qx::IsProtectedDescriptor(descriptor) == c.protected_list, Utf8(c.text));
  }
}
