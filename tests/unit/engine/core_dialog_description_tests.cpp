// Reading dialog descriptions: sections, records by position, flag letters,
// scaling.
#include <string>
#include <vector>

#include "engine/core/dialog_description.h"
#include "doctest_text.h"

using namespace qx::core;

namespace {

std::vector<DialogRecord> Records(std::string_view file, TextView section, Text* flags = nullptr) {
  const DialogLines lines = SplitDialogLines(file);
  DialogSection reader;
  std::vector<DialogRecord> out;
  if (!reader.Open(lines, section)) return out;
  if (flags) *flags = reader.flags();
  DialogRecord record;
  while (reader.Next(record)) out.push_back(record);
  return out;
}

}  // namespace

TEST_CASE("dialog section: header in capitals or followed by more text, the first one wins") {
  Text flags;
  std::vector<DialogRecord> r = Records("[DLGPROGRESS] trailing words\r\n C \r\n#QX.Dlg\r\n400\r\n200\r\n %APPTITLE% \r\n#EndDlg\r\n"
                                        "[dlgprogress]\r\nN\r\n#QX.Dlg\r\n1\r\n2\r\nsecond\r\n#EndDlg\r\n",
                                        u"dlgprogress", &flags);
  CHECK_EQ(flags, Text(u"C"));
  CHECK_EQ(r.size(), size_t(1));
  CHECK(r[0].kind == RecordKind::kDialog);
  CHECK_EQ(r[0].width, 400);
  CHECK_EQ(r[0].height, 200);
  CHECK_EQ(r[0].text, Text(u"%APPTITLE%"));

  // A longer name that merely starts like the header, and a missing section.
  CHECK(Records("[dlgprogress2]\r\nN\r\n#QX.Dlg\r\n1\r\n1\r\nt\r\n", u"dlgprogress").empty());
  DialogSection reader;
  const DialogLines lines = SplitDialogLines("[other]\nN\n");
  CHECK(!reader.Open(lines, u"dlgprogress"));
  DialogRecord record;
  CHECK(!reader.Next(record));
}

TEST_CASE("dialog records: fields by position, keywords exact, comments and stray lines skipped") {
  std::vector<DialogRecord> r = Records(
      "[d]\nN\n"
      "; a comment\n#qx.but\nstray\n"
      // Field lines that look like keywords, comments or the end stay fields.
      "#QX.Lab\n15\n10\n300\n27\n#EndDlg\n4\n16777215\nCH\n"
      "#QX.But\n305\n164\n81\n25\n;Cancel\n0\nD\n"
      "#QX.Cont\n0\n0\n400\n150\n5\n$FF\n#QX.But\n"
      "#QX.Prog\n15\n115\n370\n18\n3\n"
      "#QX.Rich\n1\n2\n3\n4\n9\n%QXSFXPATH%\\lic.rtf\nRF\n"
      "#QX.LView\n1\n2\n3\n4\n8\nimages.bmp\n"
      "#EndCont\n#EndDlg\n#QX.Prog\n1\n2\n3\n4\n5\n",
      u"d");
  CHECK_EQ(r.size(), size_t(7));
  if (r.size() != 7) return;
  CHECK(r[0].kind == RecordKind::kLabel);
  CHECK_EQ(r[0].text, Text(u"#EndDlg"));
  CHECK_EQ(r[0].number, 4);
  CHECK_EQ(r[0].flags, Text(u"CH"));
  CHECK(r[1].kind == RecordKind::kButton);
  CHECK_EQ(r[1].text, Text(u";Cancel"));
  CHECK(r[2].kind == RecordKind::kContainer);
  CHECK_EQ(r[2].number, 5);
  CHECK_EQ(r[2].colour, 255u);
  CHECK_EQ(r[2].flags, Text(u"#QX.But"));
  CHECK(r[3].kind == RecordKind::kProgress);
  CHECK_EQ(r[3].number, 3);
  CHECK(r[4].kind == RecordKind::kRich);
  CHECK_EQ(r[4].text, Text(u"%QXSFXPATH%\\lic.rtf"));
  CHECK_EQ(r[4].flags, Text(u"RF"));
  CHECK(r[5].kind == RecordKind::kComponentList);
  CHECK_EQ(r[5].text, Text(u"images.bmp"));
  CHECK(r[6].kind == RecordKind::kEndContainer);
}

TEST_CASE("dialog records: a description that ends early stops there") {
  // No "#EndDlg"; the last record's fields are cut short.
  std::vector<DialogRecord> r = Records("[d]\r\nN\r\n#QX.Dlg\r\n10\r\n20\r\nT\r\n#QX.Prog\r\n1\r\n2\r\n3", u"d");
  CHECK_EQ(r.size(), size_t(1));
  // A header on the last line: an empty flag line and no records.
  Text flags = u"unset";
  CHECK(Records("[x]\n[d]", u"d", &flags).empty());
  CHECK_EQ(flags, Text());
  // A NUL byte ends a line like a line break.
  static const char kWithNul[] = "[d]\0N\0#QX.Dlg\0" "7\0" "8\0T";
  r = Records(std::string_view(kWithNul, sizeof kWithNul - 1), u"d");
  CHECK_EQ(r.size(), size_t(1));
  if (!r.empty()) CHECK_EQ(r[0].height, 8);
}

TEST_CASE("flag letters: precedence among exclusive styles") {
  CHECK_EQ(ExclusiveFlag(RecordKind::kEdit, u"PR"), u'R');
  CHECK_EQ(ExclusiveFlag(RecordKind::kEdit, u"PRO"), u'O');
  CHECK_EQ(ExclusiveFlag(RecordKind::kEdit, u"xP"), u'P');
  CHECK_EQ(ExclusiveFlag(RecordKind::kEdit, u"pro"), char16_t(0));
  CHECK_EQ(ExclusiveFlag(RecordKind::kCheck, u"CR"), u'R');
  CHECK_EQ(ExclusiveFlag(RecordKind::kLabel, u"EF"), u'E');
  CHECK_EQ(ExclusiveFlag(RecordKind::kLabel, u"RFCH"), u'F');
  CHECK_EQ(ExclusiveFlag(RecordKind::kContainer, u"FRS"), u'S');
  CHECK_EQ(ExclusiveFlag(RecordKind::kContainer, u"FR"), u'R');
  CHECK_EQ(ExclusiveFlag(RecordKind::kContainer, u"C"), char16_t(0));
  CHECK_EQ(ExclusiveFlag(RecordKind::kButton, u"RD"), char16_t(0));
  CHECK(HasFlag(u"CH", u'H'));
  CHECK(!HasFlag(u"ch", u'H'));
}

TEST_CASE("scaling: factors, rounding to nearest, point sizes") {
  const double s = ScaleFactor(120, 1.0);
  CHECK_EQ(ScaleLength(400, s), 500);
  CHECK_EQ(ScaleLength(81, s), 101);
  CHECK_EQ(ScaleLength(25, s), 31);
  CHECK_EQ(ScaleLength(2, s), 3);
  CHECK_EQ(ScaleLength(-2, s), -3);
  CHECK_EQ(ScaleFactor(0, 1.25), 1.25);
  CHECK_EQ(ScaleLength(2000000000, 2.0), INT32_MAX);
  CHECK_EQ(PointSize(-12, 96), 9);
  CHECK_EQ(PointSize(-16, 120), 10);
  CHECK_EQ(PointSize(13, 96), 10);
  CHECK_EQ(PointSize(-12, 0), 9);
}
