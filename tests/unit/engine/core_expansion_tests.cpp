// The variable store and the expansion of "#key", "%NAME%" and "/$".
#include <ctime>
#include <string>

#include "doctest_text.h"
#include "engine/core/text_layer.h"

using namespace qx::core;

namespace {

Text T(const char16_t* s) { return Text(s); }

Text Expanded(TextLayer& layer, TextView text) {
  Text out;
  layer.Expand(text, out);
  return out;
}

const char kTable[] =
    "[QXLang]\r\nEnglish\r\n1033\r\n"
    "#yestoall=Yes to &All\r\n"
    "#yes=&Yes\r\n"
    "#uninstallprompt=Do you really want to uninstall the \"%APPTITLE%\" package?\r\n"
    "#cancel=&Cancel\r\n"
    "#pct=%\r\n"
    "[QXLang]\r\nFrancais\r\n1036\r\n"
    "#cancel=&Annuler\r\n";

}  // namespace

TEST_CASE("unknown references and lone percent signs stay as written") {
  TextLayer layer;
  layer.SetVariable(u"APPTITLE", u"Orvella");
  CHECK_EQ(Expanded(layer, u"%UNKNOWN%"), T(u"%UNKNOWN%"));
  CHECK_EQ(Expanded(layer, u"100% of %APPTITLE%"), T(u"100% of Orvella"));
  CHECK_EQ(Expanded(layer, u"%"), T(u"%"));
  CHECK_EQ(Expanded(layer, u"%%APPTITLE%%"), T(u"%Orvella%"));
  // The closing sign of one reference cannot open the next.
  layer.SetVariable(u"A", u"x");
  CHECK_EQ(Expanded(layer, u"%A%A%A%"), T(u"xAx"));
  CHECK_EQ(Expanded(layer, u"#nokey and #"), T(u"#nokey and #"));
  CHECK_EQ(Expanded(layer, u""), T(u""));
  CHECK_EQ(Expanded(layer, u"no references"), T(u"no references"));
}

TEST_CASE("line breaks") {
  TextLayer layer;
  CHECK_EQ(Expanded(layer, u"a/$b/$"), T(u"a\r\nb\r\n"));
  CHECK_EQ(Expanded(layer, u"/ $ /"), T(u"/ $ /"));
  // The frozen value already holds the line break.
  layer.SetVariable(u"X", u"a/$b");
  CHECK_EQ(*layer.FindVariable(u"X"), T(u"a\r\nb"));
  CHECK_EQ(Expanded(layer, u"%X%"), T(u"a\r\nb"));
  // A "/" from one variable and a "$" from the text join only in the last step.
  layer.SetVariable(u"SLASH", u"/");
  CHECK_EQ(Expanded(layer, u"%SLASH%$"), T(u"\r\n"));
}

TEST_CASE("reference names match without regard to case, keys stay exact") {
  TextLayer layer;
  layer.SetVariable(u"ISADMIN", u"1");
  CHECK_EQ(Expanded(layer, u"%isadmin%%IsAdmin%%ISADMIN%"), T(u"111"));
  CHECK(layer.FindVariable(u"isadmin") == nullptr);

  layer.SetVariable(u"Foo", u"1");
  layer.SetVariable(u"FOO", u"2");
  CHECK_EQ(layer.variables().size(), size_t(3));
  CHECK_EQ(*layer.FindVariable(u"Foo"), T(u"1"));
  CHECK_EQ(*layer.FindVariable(u"FOO"), T(u"2"));
  // The store applies entries in the order they were first added.
  CHECK_EQ(Expanded(layer, u"%foo%"), T(u"1"));
  layer.SetVariable(u"Foo", u"3");
  CHECK_EQ(layer.variables().size(), size_t(3));
  CHECK_EQ(Expanded(layer, u"%FOO%"), T(u"3"));
}

TEST_CASE("values are frozen when they are set") {
  TextLayer layer;
  layer.SetVariable(u"A", u"%B%");
  CHECK_EQ(*layer.FindVariable(u"A"), T(u"%B%"));
  layer.SetVariable(u"B", u"b");
  // A was stored before B existed and keeps its text; B follows A in the
  // store, so the reference A left behind is filled in by the same walk.
  CHECK_EQ(*layer.FindVariable(u"A"), T(u"%B%"));
  CHECK_EQ(Expanded(layer, u"%A%"), T(u"b"));
  layer.SetVariable(u"C", u"[%B%]");
  layer.SetVariable(u"B", u"changed");
  CHECK_EQ(Expanded(layer, u"%C%"), T(u"[b]"));
  // A value may be set from the store's own text.
  layer.SetVariable(u"C", *layer.FindVariable(u"C"));
  CHECK_EQ(*layer.FindVariable(u"C"), T(u"[b]"));
  layer.SetVariableRaw(u"RAW", u"%B%/$");
  CHECK_EQ(*layer.FindVariable(u"RAW"), T(u"%B%/$"));
}

TEST_CASE("no recursion: each key is applied once, not inside its own text") {
  TextLayer layer;
  layer.SetVariableRaw(u"SELF", u"<%SELF%>");
  CHECK_EQ(Expanded(layer, u"%SELF%"), T(u"<%SELF%>"));
  // A value inserted in the variable step is not searched for language keys.
  layer.LoadLanguageTable(kTable);
  layer.SetVariableRaw(u"HASH", u"#yes");
  CHECK_EQ(Expanded(layer, u"%HASH%"), T(u"#yes"));
  // A language text is searched by the variable step.
  layer.SetVariable(u"APPTITLE", u"Orvella");
  CHECK_EQ(Expanded(layer, u"#UninstallPrompt"),
           T(u"Do you really want to uninstall the \"Orvella\" package?"));
  // A percent sign inserted by a language text can join text to a reference.
  layer.SetVariable(u"Z", u"zed");
  CHECK_EQ(Expanded(layer, u"#pctZ%"), T(u"zed"));
}

TEST_CASE("language references of the current language") {
  TextLayer layer;
  layer.LoadLanguageTable(kTable);
  CHECK_EQ(layer.current_language(), 1033);
  CHECK_EQ(Expanded(layer, u"#YESTOALL / #yes / #Cancel"), T(u"Yes to &All / &Yes / &Cancel"));
  CHECK_EQ(Expanded(layer, u"#yesterday"), T(u"&Yesterday"));
  layer.SetVariable(u"QXLANGID", u"1036");
  CHECK_EQ(layer.current_language(), 1036);
  CHECK_EQ(Expanded(layer, u"#cancel"), T(u"&Annuler"));
  layer.SetVariable(u"QXLANGID", u"$40C0");
  CHECK_EQ(layer.current_language(), 0x40C0);
  CHECK_EQ(*layer.FindVariable(u"QXLANGID"), T(u"$40C0"));
}

TEST_CASE("a key the current language lacks takes the default language's text") {
  // English, the first section, is the default. German has "#yes" but not
  // "#yestoall", which "#yes" begins, and "#notoall" but not "#no", in an
  // order of its own; "#only" is French alone.
  const char table[] =
      "[QXLang]\r\nEnglish\r\n1033\r\n#yestoall=Yes to &All\r\n#yes=&Yes\r\n#prompt=Remove %APPTITLE%?\r\n"
      "#notoall=No to All\r\n#no=&No\r\n#cancel=&Cancel\r\n#cancel=twice\r\n"
      "[QXLang]\r\nDeutsch\r\n1031\r\n#yes=&Ja\r\n#cancel=&Abbrechen\r\n#abbrechen=Abbrechen\r\n"
      "#notoall=Nein, alle\r\n"
      "[QXLang]\r\nFrancais\r\n1036\r\n#only=seulement\r\n"
      "[QXLang]\r\nHebrew\r\n1037\r\n#yes=&\xd7\x9b\xd7\x9f\r\n";
  struct Case {
    const char16_t *language, *expected, *right_to_left;
  };
  // 1029 (Czech) and $0C01 (Arabic of Egypt) are not in the table.
  const Case cases[] = {
      {u"1031", u"Yes to &All|&Ja|&Abbrechen|Remove Orvella?|#only|#unknown|Nein, alle|&No|Abbrechen", u"0"},
      {u"1029", u"Yes to &All|&Yes|&Cancel|Remove Orvella?|#only|#unknown|No to All|&No|#abbrechen", u"0"},
      {u"1037", u"Yes to &All|&\u05db\u05df|&Cancel|Remove Orvella?|#only|#unknown|No to All|&No|#abbrechen", u"1"},
      {u"$0C01", u"Yes to &All|&Yes|&Cancel|Remove Orvella?|#only|#unknown|No to All|&No|#abbrechen", u"1"},
  };
  TextLayer layer;
  layer.LoadLanguageTable(table);
  layer.SetVariable(u"APPTITLE", u"Orvella");
  for (const Case& c : cases) {
    CAPTURE(c.language);
    layer.SetVariable(u"QXLANGID", c.language);
    CHECK_EQ(Expanded(layer, u"#YesToAll|#yes|#Cancel|#prompt|#only|#unknown|#NoToAll|#no|#abbrechen"),
             T(c.expected));
    CHECK_EQ(Expanded(layer, u"%QXRTL%"), T(c.right_to_left));
  }
}

TEST_CASE("QXLANGID selects by its exact name and reads the value as passed") {
  TextLayer layer;
  layer.LoadLanguageTable(kTable);
  layer.SetVariable(u"qxlangid", u"1036");
  CHECK_EQ(layer.current_language(), 1033);
  layer.SetVariable(u"LANG", u"1036");
  // The value as passed is "%LANG%", which holds no digits.
  layer.SetVariable(u"QXLANGID", u"%LANG%");
  CHECK_EQ(layer.current_language(), 0);
  CHECK_EQ(*layer.FindVariable(u"QXLANGID"), T(u"1036"));
}

TEST_CASE("many keys and a long text expand in one walk") {
  TextLayer layer;
  layer.LoadLanguageTable(kTable);
  for (int i = 0; i < 50; ++i) layer.SetVariable(u"V" + DecimalText(i), DecimalText(i * 7));
  Text text, expected;
  for (int i = 0; i < 400; ++i) {
    text += u"%v" + DecimalText(i % 60) + u"%#Yes";
    expected += (i % 60 < 50 ? DecimalText((i % 60) * 7) : u"%v" + DecimalText(i % 60) + u"%") + u"&Yes";
  }
  CHECK_EQ(Expanded(layer, text), expected);
}

TEST_CASE("chains that double the text stop at the bound, quickly") {
  // Processor time, which a busy machine does not stretch.
  const std::clock_t started = std::clock();
  // 40 language entries and 40 variables, each holding two references to the
  // next: 2^40 characters unbounded.
  std::string table = "[QXLang]\r\nEnglish\r\n1033\r\n";
  TextLayer layer;
  for (int i = 1; i <= 40; ++i) {
    const std::string next = std::to_string(i + 1);
    table += "#k" + std::to_string(i) + "=#k" + next + "#k" + next + "\r\n";
    layer.SetVariable(u"V" + DecimalText(i), u"%V" + DecimalText(i + 1) + u"%%V" + DecimalText(i + 1) + u"%");
  }
  layer.LoadLanguageTable(table);
  for (const TextView start : {TextView(u"#k1/$"), TextView(u"%V1%/$")}) {
    const Text out = Expanded(layer, start);
    CHECK_LE(out.size(), TextLayer::kExpansionLimit);
    CHECK_GT(out.size(), TextLayer::kExpansionLimit / 2);
    // The text stands as it was before the replacement that would pass the
    // bound: whole copies of one reference, the later steps skipped too.
    const Text unit = out.substr(0, out.find(start.substr(0, 2), 1));
    Text expected;
    while (expected.size() + 2 < out.size()) expected += unit;
    CHECK_EQ(out, expected + u"/$");
  }
  CHECK_LT(double(std::clock() - started) / CLOCKS_PER_SEC, 1.0);
  // A replacement that lands exactly on the bound is made; one more unit is not.
  layer.SetVariable(u"UNIT", u"123456789");
  const Text below(TextLayer::kExpansionLimit - 9, u'x');
  CHECK_EQ(Expanded(layer, below + u"%UNIT%"), below + u"123456789");
  CHECK_EQ(Expanded(layer, below + u"x%UNIT%"), below + u"x%UNIT%");
  // Replacements that do not lengthen the text still apply to a text past the bound.
  layer.SetVariable(u"SHORT", u"s");
  const Text long_text(TextLayer::kExpansionLimit + 10, u'x');
  CHECK_EQ(Expanded(layer, long_text + u"%SHORT%"), long_text + u"s");
}
