#pragma once

#include <QString>

namespace vantrix::ui::texts {

// Description lines of the splash and About windows.
inline constexpr const char* kD1 = "Vantrix is developed an distribuited by Orvello";
inline constexpr const char* kD2 =
    "This app allows you to compare two different databases structures and find any difference.";
inline constexpr const char* kD3 = "Databases type allowed are: Mysql, SQLite and CubeSQLServer.";
inline constexpr const char* kD4Lead = "You can send us feedback and new function request at ";
inline constexpr const char* kD5 = "Thanks for buy!";

// The platform's line ending.
inline constexpr const char* kEndOfLine = "\n";

// The feedback line, with the maker's address.
QString D4();
// D1-D3, a blank line, D4.
QString SplashText();
// D1-D5, one line each.
QString AboutText();

// The help text: 20 lines separated by carriage returns, none at the end.
inline constexpr const char* kHelpText =
    "Vantrix allows you to make comparison between two different databases.\r"
    "Database type allowed are:\r"
    "- Mysql\r"
    "- RealServer\r"
    "- CubeSQL server\r"
    "- SQLite\r"
    "\r"
    "For Mysql, RealServer and CubeSQL databases you need to fill the field request (server, "
    "database, user, pass). For SQLite you have to select the file on your drive.\r"
    "\r"
    "The comparison can be made between two databases of the same type \r"
    "or a different type.\r"
    "\r"
    "The response you'll have are:\r"
    "- tables match\r"
    "- tables does not match\r"
    "\t- table not exists in one of two databases\r"
    "\t- table has more or less fields in one of two databases\r"
    "\t- one or more field type is different in one table\r"
    "\r"
    "Vantrix will helps you to develop your database structure, to keep it synchronized, to find "
    "errors and much more.";

// Addresses the About window opens.
QString WebsiteUrl();
QString FeedbackMailUrl();

}  // namespace vantrix::ui::texts
