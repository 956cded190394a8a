// Pieces of the scripts' SQL that have rules of their own.
#include <gtest/gtest.h>

#include "migrate/Sql.h"

namespace vantrix::migrate {
namespace {

// PostgreSQL writes a trigger's table with its schema; the script makes it
// in the schema it runs in, whatever the names hold.
TEST(SqlTest, PostgresTriggerLosesOnlyItsTablesSchema) {
  struct Case {
    std::string declared;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"CREATE TRIGGER tr BEFORE INSERT ON public.u FOR EACH ROW EXECUTE FUNCTION f()",
       "CREATE TRIGGER tr BEFORE INSERT ON u FOR EACH ROW EXECUTE FUNCTION f()"},
      {"CREATE TRIGGER \"a ON b.c\" AFTER UPDATE ON \"Sales\".\"Order \"\"x\"\"\" FOR EACH ROW "
       "EXECUTE FUNCTION sales.f()",
       "CREATE TRIGGER \"a ON b.c\" AFTER UPDATE ON \"Order \"\"x\"\"\" FOR EACH ROW EXECUTE "
       "FUNCTION sales.f()"},
      {"CREATE TRIGGER tr AFTER DELETE ON u FOR EACH STATEMENT EXECUTE FUNCTION f()",
       "CREATE TRIGGER tr AFTER DELETE ON u FOR EACH STATEMENT EXECUTE FUNCTION f()"},
      {"CREATE CONSTRAINT TRIGGER tr AFTER INSERT ON s.u DEFERRABLE FOR EACH ROW EXECUTE "
       "FUNCTION f()",
       "CREATE CONSTRAINT TRIGGER tr AFTER INSERT ON u DEFERRABLE FOR EACH ROW EXECUTE FUNCTION "
       "f()"},
  };
  for (const Case& c : cases) EXPECT_EQ(TriggerOnTableOnly(c.declared), c.expected) << c.declared;
}

// A view is made from its query, or left out with a note when the query
// could not be read: never an empty CREATE VIEW.
TEST(SqlTest, AViewIsMadeFromTheQueryReadOrLeftOut) {
  db::Table view;
  view.name = "totals";
  view.view = true;
  std::vector<std::string> notes;
  const Translation mysql{Dialect::kMysql, Dialect::kMysql, &notes, "shop"};
  view.viewDefinition = "select `shop`.`t`.`a` AS `a` from `shop`.`t`";
  EXPECT_EQ(CreateView(mysql, view),
            std::vector<std::string>{"CREATE VIEW `totals` AS select `t`.`a` AS `a` from `t`"});
  EXPECT_TRUE(notes.empty());
  view.viewDefinition.clear();
  EXPECT_TRUE(CreateView(mysql, view).empty());
  ASSERT_EQ(notes.size(), 1U);
  EXPECT_NE(notes[0].find("the view totals's query was not shown"), std::string::npos) << notes[0];
}

}  // namespace
}  // namespace vantrix::migrate
