// The reply decoder on hand-made byte buffers: the layouts the protocol has,
// and the broken and hostile replies a server could send.

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "support/RecordSets.h"
#include "db/CubeSqlProtocol.h"

namespace vantrix::db::cubesql {
namespace {

using Value = std::optional<std::string>;
using Values = std::vector<std::vector<Value>>;

std::string Be32(std::uint32_t v) {
  return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
          static_cast<char>(v)};
}

struct HeaderSpec {
  std::uint32_t packetSize = 0;
  std::uint16_t errorCode = 0;
  std::uint8_t flags = 0;
  std::uint8_t encrypted = 0;
  std::uint32_t expandedSize = 0;
  std::uint32_t rows = 0;
  std::uint32_t cols = 0;
};

std::string HeaderBytes(const HeaderSpec& h) {
  std::string out = "SQLS" + Be32(h.packetSize);
  out += static_cast<char>(h.errorCode >> 8);
  out += static_cast<char>(h.errorCode);
  out += static_cast<char>(h.flags);
  out += static_cast<char>(h.encrypted);
  out += Be32(h.expandedSize) + Be32(h.rows) + Be32(h.cols) + Be32(0);
  out.append(4, '\0');
  return out;
}

// Sizes (row-major, -1 for NULL) followed by the values.
std::string SizesAndValues(const Values& rows) {
  std::string sizes;
  std::string values;
  for (const auto& row : rows) {
    for (const Value& v : row) {
      sizes += Be32(v ? static_cast<std::uint32_t>(v->size()) : 0xFFFFFFFFu);
      if (v) values += *v;
    }
  }
  return sizes + values;
}

// The body of a first cursor packet.
std::string CursorBody(const std::vector<std::string>& names, const Values& rows,
                       const std::vector<std::string>& tables = {}) {
  std::string body;
  for (std::size_t i = 0; i < names.size(); ++i) body += Be32(3);
  const std::string both = SizesAndValues(rows);
  const std::size_t sizeBytes = rows.size() * names.size() * 4;
  body += both.substr(0, sizeBytes);
  for (const std::string& n : names) body += n + '\0';
  for (const std::string& t : tables) body += t + '\0';
  return body + both.substr(sizeBytes);
}

std::string Compress(const std::string& data) {
  uLongf size = compressBound(static_cast<uLong>(data.size()));
  std::string out(size, '\0');
  compress(reinterpret_cast<Bytef*>(out.data()), &size,
           reinterpret_cast<const Bytef*>(data.data()), static_cast<uLong>(data.size()));
  out.resize(size);
  return out;
}

// One reply to feed: header fields and the raw body.
struct Packet {
  HeaderSpec header;
  std::string body;
};

Packet Cursor(const std::vector<std::string>& names, const Values& rows, std::uint8_t flags = 0,
              const std::vector<std::string>& tables = {}) {
  const std::string body = CursorBody(names, rows, tables);
  return {{static_cast<std::uint32_t>(body.size()), 0, flags, 0, 0,
           static_cast<std::uint32_t>(rows.size()), static_cast<std::uint32_t>(names.size())},
          body};
}

Packet Compressed(Packet packet) {
  packet.header.flags |= kReplyCompressed;
  packet.header.expandedSize = static_cast<std::uint32_t>(packet.body.size());
  packet.body = Compress(packet.body);
  packet.header.packetSize = static_cast<std::uint32_t>(packet.body.size());
  return packet;
}

Packet Raw(HeaderSpec header, std::string body) {
  header.packetSize = static_cast<std::uint32_t>(body.size());
  return {header, std::move(body)};
}

Packet EndChunk() { return {{0, kEndChunk}, ""}; }

struct Outcome {
  std::vector<CursorReader::Step> steps;
  std::string error;
  std::optional<RecordSet> records;
};

// Feeds the packets as the client would, from raw header bytes on.
Outcome Feed(const std::vector<Packet>& packets) {
  Outcome outcome;
  CursorReader reader;
  for (const Packet& p : packets) {
    ReplyHeader header;
    std::string error;
    if (!ParseReplyHeader(HeaderBytes(p.header), header, error)) {
      outcome.steps.push_back(CursorReader::Step::kInvalid);
      outcome.error = error;
      return outcome;
    }
    const auto step = reader.Add(header, p.body);
    outcome.steps.push_back(step);
    if (step == CursorReader::Step::kComplete) outcome.records = reader.TakeRecords();
    if (step != CursorReader::Step::kNeedAck) break;
  }
  outcome.error = reader.Error();
  return outcome;
}

using vantrix::test::Rows;

const Values kSample = {
    {"1", "alpha"}, {"2", std::nullopt}, {"-3", ""}, {"4", std::string("b\0b", 3)}};

TEST(CubeSqlProtocol, EncodesRequestsByteForByte) {
  const std::string select = EncodeRequest(kCommandSelect, kSelectorNone,
                                           {TextField("SELECT 1;")}, 10);
  const std::string expected = std::string("SQLS") + Be32(14) +
                               std::string("\x02\x00\x01\x00\x00\x00\x04\x00", 8) + Be32(1) +
                               Be32(0) + Be32(10) + std::string(4, '\0') + Be32(10) +
                               std::string("SELECT 1;\0", 10);
  EXPECT_EQ(select, expected);

  const std::string ack = EncodeRequest(kCommandChunk, kSelectorChunkOk, {}, 1);
  ASSERT_EQ(ack.size(), kHeaderSize);
  EXPECT_EQ(ack.substr(4, 6), std::string("\0\0\0\0\x09\x19", 6));

  EXPECT_EQ(QuoteSqlString("it's 'x'"), "'it''s ''x'''");
  EXPECT_EQ(QuoteSqlString(""), "''");
}

TEST(CubeSqlProtocol, ReadsEveryHeaderFieldAtItsOffset) {
  const std::string bytes = std::string("SQLS") + Be32(0x0102) + std::string("\x03\x09\xA8\x00", 4) +
                            Be32(0x0304) + Be32(5) + Be32(6) + Be32(1) + std::string(4, '\0');
  ReplyHeader header;
  std::string error;
  ASSERT_TRUE(ParseReplyHeader(bytes, header, error)) << error;
  EXPECT_EQ(header.packetSize, 0x0102u);
  EXPECT_EQ(header.errorCode, 777);
  EXPECT_EQ(header.flags, 0xA8);
  EXPECT_EQ(header.encrypted, 0);
  EXPECT_EQ(header.expandedSize, 0x0304u);
  EXPECT_EQ(header.rows, 5u);
  EXPECT_EQ(header.cols, 6u);
  EXPECT_EQ(header.numFields, 1u);
}

TEST(CubeSqlProtocol, RefusesImpossibleHeadersBeforeReadingABody) {
  struct Case {
    const char* what;
    std::string bytes;
  };
  std::string badSignature = HeaderBytes({});
  badSignature[3] = 'X';
  const std::vector<Case> cases = {
      {"wrong signature", badSignature},
      {"short header", HeaderBytes({}).substr(0, 31)},
      {"body beyond the limit", HeaderBytes({kMaxBodySize + 1})},
      {"body of nearly 4 GiB", HeaderBytes({0xFFFFFFF0u})},
      {"expanded body beyond the limit",
       HeaderBytes({10, 0, kReplyCompressed, 0, kMaxBodySize + 1})},
      {"more columns than a result can have",
       HeaderBytes({10, 0, kReplyCompressed, 0, 100, 0, kMaxResultColumns + 1})},
  };
  for (const Case& c : cases) {
    ReplyHeader header;
    std::string error;
    EXPECT_FALSE(ParseReplyHeader(c.bytes, header, error)) << c.what;
    EXPECT_TRUE(error.starts_with("The cubeSQL server sent a reply that is not valid")) << error;
  }
}

TEST(CubeSqlProtocol, DecodesAPlainCursorWrittenOutByHand) {
  // Two columns (integer, text), two rows: (7, "hi") and (NULL, "").
  const std::string body = Be32(1) + Be32(3) + Be32(1) + Be32(2) + Be32(0xFFFFFFFF) + Be32(0) +
                           std::string("id\0name\0", 8) + "7hi";
  const Outcome outcome = Feed({{{static_cast<std::uint32_t>(body.size()), 0, 0, 0, 0, 2, 2},
                                 body}});
  ASSERT_TRUE(outcome.records) << outcome.error;
  EXPECT_EQ(outcome.records->ColumnNames(), (std::vector<std::string>{"id", "name"}));
  EXPECT_EQ(Rows(*outcome.records), (Values{{"7", "hi"}, {std::nullopt, ""}}));
}

TEST(CubeSqlProtocol, DecodesEachReplyForm) {
  const Values withRowid = {{"10", "1", "alpha"},
                            {"11", "2", std::nullopt},
                            {"12", "-3", ""},
                            {"13", "4", std::string("b\0b", 3)}};
  const std::vector<std::string> names = {"id", "name"};
  const std::vector<std::string> namesWithRowid = {"rowid", "id", "name"};
  const std::vector<std::string> tables = {"t", "t", "t"};
  struct Case {
    const char* what;
    std::vector<Packet> packets;
    std::size_t acks;
  };
  const std::vector<Case> cases = {
      {"plain", {Cursor(names, kSample)}, 0},
      {"compressed", {Compressed(Cursor(names, kSample))}, 0},
      {"rowid column", {Cursor(namesWithRowid, withRowid, kReplyRowidColumn)}, 0},
      {"table names", {Cursor(names, kSample, kReplyTableNames, {"t", "t"})}, 0},
      {"rowid and table names",
       {Cursor(namesWithRowid, withRowid, kReplyRowidColumn | kReplyTableNames, tables)}, 0},
      {"chunked",
       {Cursor(names, {kSample[0], kSample[1]}, kReplyPartial),
        Raw({0, 0, kReplyPartial, 0, 0, 1, 2}, SizesAndValues({kSample[2]})),
        Raw({0, 0, kReplyPartial, 0, 0, 1, 2}, SizesAndValues({kSample[3]})), EndChunk()},
       3},
      {"chunked, compressed, rowid",
       {Compressed(Cursor(namesWithRowid, {withRowid[0]}, kReplyPartial | kReplyRowidColumn)),
        Compressed(Raw({0, 0, kReplyPartial, 0, 0, 3, 3},
                       SizesAndValues({withRowid[1], withRowid[2], withRowid[3]}))),
        EndChunk()},
       2},
      {"chunked, later chunks without column count",
       {Cursor(names, {}, kReplyPartial), Raw({0, 0, kReplyPartial, 0, 0, 4, 0},
                                               SizesAndValues(kSample)),
        EndChunk()},
       2},
  };
  for (const Case& c : cases) {
    const Outcome outcome = Feed(c.packets);
    ASSERT_TRUE(outcome.records) << c.what << ": " << outcome.error;
    EXPECT_EQ(outcome.records->ColumnNames(), names) << c.what;
    EXPECT_EQ(Rows(*outcome.records), kSample) << c.what;
    EXPECT_EQ(outcome.steps.size(), c.acks + 1) << c.what;
  }
}

TEST(CubeSqlProtocol, ReadsEmptyResults) {
  for (const Packet& p : {Cursor({}, {}), Cursor({"name"}, {}), Compressed(Cursor({"a"}, {}))}) {
    const Outcome outcome = Feed({p});
    ASSERT_TRUE(outcome.records) << outcome.error;
    EXPECT_EQ(outcome.records->RecordCount(), 0u);
  }
}

TEST(CubeSqlProtocol, PassesServerErrorsOnVerbatim) {
  struct Case {
    std::string body;
    std::string message;
  };
  const std::vector<Case> cases = {
      {std::string("no such table: x\0", 17), "no such table: x"},
      {"no such table: x", "no such table: x"},
      {std::string("two\0\0", 5), std::string("two\0", 4)},  // only one NUL is a terminator
      {"", "The cubeSQL server reported error 1"},
  };
  for (const Case& c : cases) {
    const Outcome outcome = Feed({Raw({0, 1}, c.body)});
    ASSERT_EQ(outcome.steps.back(), CursorReader::Step::kServerError);
    EXPECT_EQ(outcome.error, c.message);
  }
  // An error in the middle of a chunked result ends it the same way.
  const Outcome midway = Feed({Cursor({"a"}, {{"1"}}, kReplyPartial),
                               Raw({0, 7015}, "Database is stopping")});
  EXPECT_EQ(midway.steps.back(), CursorReader::Step::kServerError);
  EXPECT_EQ(midway.error, "Database is stopping");

  Reply reply;
  std::string error;
  ASSERT_TRUE(OpenReply({20, 7056}, "Invalid password, go", reply, error));
  EXPECT_EQ(reply.kind, Reply::Kind::kServerError);
  EXPECT_EQ(reply.errorCode, 7056);
}

TEST(CubeSqlProtocol, RejectsBrokenAndHostileReplies) {
  const std::vector<std::string> one = {"a"};
  const std::string names = std::string("a\0", 2);
  const std::string plain = CursorBody({"a", "b"}, {{"1", "2"}});
  Packet lyingLarger = Compressed(Cursor({"a"}, {{"xyz"}}));
  lyingLarger.header.expandedSize += 1;
  Packet lyingSmaller = Compressed(Cursor({"a"}, {{"xyz"}}));
  lyingSmaller.header.expandedSize -= 1;
  Packet damaged = Compressed(Cursor({"a"}, {{"xyz"}}));
  damaged.body[damaged.body.size() / 2] ^= 0x55;
  damaged.body[2] ^= 0x7F;
  Packet truncated = Compressed(Cursor({"a"}, {{std::string(200, 'q')}}));
  truncated.body.resize(truncated.body.size() / 2);
  truncated.header.packetSize = static_cast<std::uint32_t>(truncated.body.size());
  Packet bomb = Raw({0, 0, kReplyCompressed, 0, kMaxBodySize, 1, 1}, Compress("x"));
  bomb.header.expandedSize = kMaxBodySize;
  Packet notZlib = Raw({0, 0, kReplyCompressed, 0, 8, 0, 0}, "not zlib at all");
  notZlib.header.expandedSize = 8;

  struct Case {
    const char* what;
    std::vector<Packet> packets;
  };
  const std::vector<Case> cases = {
      {"rows times columns overflow",
       {Raw({0, 0, 0, 0, 0, 0xFFFFFFFFu, 0xFFFFFFFFu}, std::string(64, '\0'))}},
      {"more columns than bytes", {Raw({0, 0, 0, 0, 0, 0, 100000}, std::string(16, 'a'))}},
      {"more rows than sizes", {Raw({0, 0, 0, 0, 0, 1000, 1}, Be32(3) + Be32(1) + names + "x")}},
      {"size overruns the body", {Raw({0, 0, 0, 0, 0, 1, 1}, Be32(3) + Be32(50) + names + "abc")}},
      {"huge size", {Raw({0, 0, 0, 0, 0, 1, 1}, Be32(3) + Be32(0x7FFFFFFF) + names + "abc")}},
      {"negative size other than -1",
       {Raw({0, 0, 0, 0, 0, 1, 1}, Be32(3) + Be32(0xFFFFFFFE) + names)}},
      {"sizes together overrun the body",
       {Raw({0, 0, 0, 0, 0, 2, 1}, Be32(3) + Be32(2) + Be32(2) + names + "abc")}},
      {"column name without its NUL", {Raw({0, 0, 0, 0, 0, 0, 1}, Be32(3) + "a")}},
      {"table names missing", {Raw({0, 0, kReplyTableNames, 0, 0, 0, 2},
                                   Be32(3) + Be32(3) + std::string("a\0b\0t\0", 6))}},
      {"rows without columns", {Raw({0, 0, 0, 0, 0, 5, 0}, "")}},
      {"rowid flag without columns", {Raw({0, 0, kReplyRowidColumn, 0, 0, 0, 0}, "")}},
      {"body shorter than its header says",
       {{{static_cast<std::uint32_t>(plain.size() + 1), 0, 0, 0, 0, 1, 2}, plain}}},
      {"encrypted body", {Raw({0, 0, 0, 2, 0, 1, 2}, plain)}},
      {"expanded size larger than the data", {lyingLarger}},
      {"expanded size smaller than the data", {lyingSmaller}},
      {"damaged compressed body", {damaged}},
      {"truncated compressed body", {truncated}},
      {"expanded size no compressed body can reach", {bomb}},
      {"compressed flag on plain bytes", {notZlib}},
      {"end of chunks without a chunked result", {EndChunk()}},
      {"chunk with a different column count",
       {Cursor(one, {{"1"}}, kReplyPartial),
        Raw({0, 0, kReplyPartial, 0, 0, 1, 2}, SizesAndValues({{"1", "2"}}))}},
      {"chunk with more rows than sizes",
       {Cursor(one, {{"1"}}, kReplyPartial), Raw({0, 0, kReplyPartial, 0, 0, 9, 1}, Be32(1) + "1")}},
      {"chunk size overruns", {Cursor(one, {{"1"}}, kReplyPartial),
                               Raw({0, 0, kReplyPartial, 0, 0, 1, 1}, Be32(9) + "1")}},
  };
  for (const Case& c : cases) {
    const Outcome outcome = Feed(c.packets);
    EXPECT_FALSE(outcome.records) << c.what;
    ASSERT_FALSE(outcome.steps.empty()) << c.what;
    EXPECT_EQ(outcome.steps.back(), CursorReader::Step::kInvalid) << c.what;
    EXPECT_FALSE(outcome.error.empty()) << c.what;
  }
}

// The body of a first packet with `count` text columns, each named `name`,
// and no rows.
std::string ManyColumns(std::uint32_t count, const std::string& name) {
  std::string body(std::size_t{count} * 4, '\0');
  for (std::size_t i = 0; i < count; ++i) body[4 * i + 3] = 3;  // text
  if (name.empty()) return body.append(count, '\0');
  for (std::uint32_t i = 0; i < count; ++i) body += name + '\0';
  return body;
}

TEST(CubeSqlProtocol, RefusesWhatAHeaderAnnouncesBeyondTheLimits) {
  // A few kilobytes of compressed reply that would make millions of names,
  // fields or rows.
  const Packet bomb = Compressed(Raw({0, 0, 0, 0, 0, 0, 12'000'000}, ManyColumns(12'000'000, "")));
  // Refused from its header: the body is never inflated, so its damage is
  // never seen.
  Packet bombOfJunk = Raw({0, 0, kReplyCompressed, 0, 0, 0, 12'000'000}, std::string(60'000, 'x'));
  bombOfJunk.header.expandedSize = 60'000'000;
  const Packet longNames =
      Compressed(Raw({0, 0, 0, 0, 0, 0, 2}, ManyColumns(2, std::string(2'621'440, 'n'))));
  std::string emptyValues = Be32(3) + std::string(3'500'000 * 4, '\0') + std::string("a\0", 2);
  const Packet manyEmptyValues = Compressed(Raw({0, 0, 0, 0, 0, 3'500'000, 1}, emptyValues));

  struct Case {
    const char* what;
    std::vector<Packet> packets;
    std::string message;
  };
  const std::string invalid = "The cubeSQL server sent a reply that is not valid (";
  const std::vector<Case> cases = {
      {"twelve million empty column names",
       {bomb},
       invalid + "a result of 12000000 columns, more than the 32767 a result can have)"},
      {"twelve million columns over a body that is no zlib stream",
       {bombOfJunk},
       invalid + "a result of 12000000 columns, more than the 32767 a result can have)"},
      {"one column more than a result can have",
       {Raw({0, 0, 0, 0, 0, 0, 32768}, ManyColumns(32768, "c"))},
       invalid + "a result of 32768 columns, more than the 32767 a result can have)"},
      {"a later chunk announcing too many columns",
       {Cursor({"a"}, {{"1"}}, kReplyPartial), Raw({0, 0, kReplyPartial, 0, 0, 0, 40000}, "")},
       invalid + "a result of 40000 columns, more than the 32767 a result can have)"},
      {"column names of 5 MiB",
       {longNames},
       invalid + "column names of 5242880 bytes, more than the 4194304 a result may have)"},
      {"3.5 million empty values in as many rows",
       {manyEmptyValues},
       "The cubeSQL result is too large to read"},
  };
  for (const Case& c : cases) {
    const Outcome outcome = Feed(c.packets);
    EXPECT_FALSE(outcome.records) << c.what;
    ASSERT_FALSE(outcome.steps.empty()) << c.what;
    EXPECT_EQ(outcome.steps.back(), CursorReader::Step::kInvalid) << c.what;
    EXPECT_EQ(outcome.error, c.message) << c.what;
  }
}

TEST(CubeSqlProtocol, AcceptsResultsRightAtTheLimits) {
  const Outcome widest = Feed({Raw({0, 0, 0, 0, 0, 0, 32767}, ManyColumns(32767, "c"))});
  ASSERT_TRUE(widest.records) << widest.error;
  EXPECT_EQ(widest.records->ColumnNames().size(), 32767u);

  const std::string longest(4'194'304, 'n');
  const Outcome named = Feed({Compressed(Raw({0, 0, 0, 0, 0, 0, 1}, ManyColumns(1, longest)))});
  ASSERT_TRUE(named.records) << named.error;
  EXPECT_EQ(named.records->ColumnNames(), std::vector<std::string>{longest});
}

TEST(CubeSqlProtocol, RefusesDataAfterTheResultIsComplete) {
  const Packet packet = Cursor({"a"}, {{"1"}});
  ReplyHeader header;
  std::string error;
  ASSERT_TRUE(ParseReplyHeader(HeaderBytes(packet.header), header, error));
  CursorReader reader;
  EXPECT_EQ(reader.Add(header, packet.body), CursorReader::Step::kComplete);
  EXPECT_EQ(reader.Add(header, packet.body), CursorReader::Step::kInvalid);
  EXPECT_FALSE(reader.Error().empty());
}

TEST(CubeSqlProtocol, InflateDemandsTheExactAnnouncedSize) {
  const std::string data(1000, 'z');
  const std::string packed = Compress(data);
  std::string out;
  std::string error;
  EXPECT_TRUE(Inflate(packed, 1000, out, error)) << error;
  EXPECT_EQ(out, data);
  EXPECT_FALSE(Inflate(packed, 999, out, error));
  EXPECT_FALSE(Inflate(packed, 1001, out, error));
  EXPECT_FALSE(Inflate(packed.substr(0, packed.size() - 5), 1000, out, error));
  EXPECT_FALSE(Inflate("", 0, out, error));
  EXPECT_TRUE(Inflate(Compress(""), 0, out, error)) << error;
  EXPECT_TRUE(out.empty());
}

}  // namespace
}  // namespace vantrix::db::cubesql
