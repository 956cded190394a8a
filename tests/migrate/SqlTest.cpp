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

}  // namespace
}  // namespace vantrix::migrate
