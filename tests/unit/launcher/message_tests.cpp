// The fatal message text, read from the launcher's string table.
#define DOCTEST_CONFIG_IMPLEMENT_WITH_MAIN
#include "doctest_text.h"
#include "test_support.h"
#include "uninstall/launcher.h"

using namespace qxtest;

namespace {

std::string Message(int status) {
  qx::PathBuffer text;
  qx::FormatFatalMessage(GetModuleHandleW(nullptr), status, text);
  return Utf8(text.get());
}

}  // namespace

TEST_CASE("Each launcher status shows its own second line") {
  CHECK_EQ(Message(1), std::string("Fatal Error\r\nCannot create temporary folder: the program will exit."));
  CHECK_EQ(Message(2), std::string("Fatal Error\r\nCannot create temporary runtime: the program will exit."));
  CHECK_EQ(Message(3), std::string("Fatal Error\r\nThis program has got corrupted internal data: it will exit. "
                                   "Please obtain a new copy."));
}

TEST_CASE("A status without a text gives an empty second line, whatever string its number reaches") {
  for (int status : {-1, 0, 5, 15, 16, 32, 0xFFEF})
    CHECK_EQ(Message(status), std::string("Fatal Error\r\n"));
}

TEST_CASE("The title is string 0") {
  wchar_t title[260];
  int n = LoadStringW(GetModuleHandleW(nullptr), 0, title, 260);
  CHECK_EQ(Utf8(std::wstring(title, n > 0 ? n : 0)), std::string("Orvella_Installation"));
}
