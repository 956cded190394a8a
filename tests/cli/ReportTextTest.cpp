// Names come from the databases as bytes: each report makes them safe for
// its own language, and a terminal is never steered by them.
#include <gtest/gtest.h>

#include "Process.h"
#include "report/Text.h"
#include "support/TempSqlite.h"

namespace vantrix::report::text {
namespace {

const std::string kFffd = "\xEF\xBF\xBD";

struct Case {
  std::string in;
  std::string out;
};

TEST(ReportTextTest, InvalidUtf8BecomesReplacementCharacters) {
  const std::vector<Case> cases = {
      {"Caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", "Caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"},
      {"a\xFF"
       "b",
       "a" + kFffd + "b"},
      {"\xC0\xAF", kFffd + kFffd},                          // an overlong "/"
      {"\xED\xA0\x80", kFffd + kFffd + kFffd},              // a surrogate
      {"\xF4\x90\x80\x80", kFffd + kFffd + kFffd + kFffd},  // past U+10FFFF
      {"\xE2\x82", kFffd + kFffd},                          // cut short
  };
  for (const Case& c : cases) EXPECT_EQ(ValidUtf8(c.in), c.out) << c.in;
}

TEST(ReportTextTest, EachLanguageEscapesWhatItMust) {
  const std::vector<Case> plain = {
      {"evil\x1B[2Jname", "evil" + kFffd + "[2Jname"},
      {"csi\xC2\x9B"
       "31m",
       "csi" + kFffd + "31m"},
      {"tab\tand\nline", "tab" + kFffd + "and" + kFffd + "line"},
      {"<&> | *ok*", "<&> | *ok*"},
      // Bidirectional formatting characters are shown by name, not obeyed.
      {"users\xE2\x80\xAEtxt.exe", "users<U+202E>txt.exe"},
      {"a\xE2\x81\xA6" "b\xE2\x81\xA9\xE2\x80\x8F\xD8\x9C",
       "a<U+2066>b<U+2069><U+200F><U+061C>"},
      {"\xE2\x80\x94 dash", "\xE2\x80\x94 dash"},
  };
  for (const Case& c : plain) EXPECT_EQ(Plain(c.in), c.out) << c.in;
  EXPECT_EQ(Html("a\xE2\x80\xAE" "b"), "a&lt;U+202E&gt;b");
  EXPECT_EQ(Xml("a\xE2\x80\xAE" "b"), "a&lt;U+202E&gt;b");
  EXPECT_EQ(JsonBidiEscaped("{\"n\": \"a\xE2\x80\xAE" "b\xE2\x80\x94\"}"),
            "{\"n\": \"a\\u202eb\xE2\x80\x94\"}");

  const std::vector<Case> html = {
      {"<script>alert('x')</script>", "&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt;"},
      {"a \"b\" & c", "a &quot;b&quot; &amp; c"},
      {"bell\x07", "bell" + kFffd},
      {"two\nlines", "two&#10;lines"},
  };
  for (const Case& c : html) EXPECT_EQ(Html(c.in), c.out) << c.in;

  EXPECT_EQ(Xml("a<b>&\"c\"\nd\x01"), "a&lt;b&gt;&amp;&quot;c&quot;\nd" + kFffd);
  EXPECT_EQ(Xml("non-character \xEF\xBF\xBE\xEF\xBF\xBF"), "non-character " + kFffd + kFffd);
  EXPECT_EQ(XmlAttribute("a\nb\tc\rd"), "a&#10;b&#9;c&#13;d");

  const std::vector<Case> markdown = {
      {"Audit|Log", "Audit\\|Log"},
      {"*bold* _em_ `code` [link](x) <b> &amp; ~s~ #h !i $m$ \\",
       "\\*bold\\* \\_em\\_ \\`code\\` \\[link\\](x) \\<b\\> \\&amp; \\~s\\~ \\#h \\!i \\$m\\$ "
       "\\\\"},
      {"two\nlines\r", "two lines "},
      {"order_lines (1.2-3): a, b; c", "order\\_lines (1.2-3): a, b; c"},
      // Nobody is mentioned and nothing becomes a link.
      {"ping @octocat", "ping @&#8203;octocat"},
      {"ann@db.example", "ann@&#8203;db.example"},
      {"see https://evil.example/x", "see https:&#8203;//evil.example/x"},
      {"WWW.evil.example", "WWW&#8203;.evil.example"},
      {"a\xE2\x80\xAE" "b", "a\\<U+202E\\>b"},
  };
  for (const Case& c : markdown) EXPECT_EQ(Markdown(c.in), c.out) << c.in;
}

TEST(ReportTextTest, IdsAreMadeOfLettersDigitsAndHexFromTheName) {
  const std::vector<Case> cases = {
      {"Users", "table-Users"},
      {"order_lines", "table-order_5Flines"},
      {"a b", "table-a_20b"},
      {"a_20b", "table-a_5F20b"},
      {"\xC3\xA9t\xC3\xA9", "table-_C3_A9t_C3_A9"},
      {"\"><script>", "table-_22_3E_3Cscript_3E"},
      {"", "table-"},
  };
  for (const Case& c : cases) EXPECT_EQ(HtmlId(c.in), c.out) << c.in;
}

// A table name that would clear the screen is shown harmless in the text
// report, and kept as it is, escaped, in the JSON report.
TEST(ReportTextTest, ANameWithATerminalEscapeNeitherSteersTheTerminalNorIsLost) {
  test::TempSqlite db1("CREATE TABLE \"evil\x1B[2Jname\" (a INTEGER);");
  test::TempSqlite db2("CREATE TABLE other (a INTEGER);");
  const test::Outcome text = test::RunDiff({db1.path().string(), db2.path().string()});
  EXPECT_EQ(text.status, 1);
  EXPECT_EQ(text.out.find('\x1B'), std::string::npos);
  EXPECT_EQ(text.out.rfind("evil" + kFffd + "[2Jname: only in DB 1\n", 0), 0U) << text.out;

  const test::Outcome json =
      test::RunDiff({"-f", "json", db1.path().string(), db2.path().string()});
  EXPECT_EQ(json.status, 1);
  EXPECT_NE(json.out.find("\"name\": \"evil\\u001b[2Jname\""), std::string::npos) << json.out;
}

}  // namespace
}  // namespace vantrix::report::text
