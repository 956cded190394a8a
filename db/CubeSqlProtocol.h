#pragma once

// The cubeSQL wire protocol as pure functions over byte buffers: request
// encoding, reply headers, zlib bodies and cursors. Nothing here touches a
// socket, so the decoding can be driven by unit tests and the fuzzer with any
// bytes at all.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "db/RecordSet.h"

namespace vantrix::db::cubesql {

// Every message starts with a fixed header; multi-byte integers are
// big-endian.
inline constexpr std::size_t kHeaderSize = 32;
inline constexpr std::string_view kSignature = "SQLS";

// Limits against a hostile or broken server: no reply body and no inflated
// body may exceed this, and one result may not hold more values or bytes than
// below, whatever the headers claim.
inline constexpr std::uint32_t kMaxBodySize = 64u * 1024 * 1024;
inline constexpr std::uint64_t kMaxResultValues = 4u * 1024 * 1024;
inline constexpr std::uint64_t kMaxResultBytes = 256u * 1024 * 1024;
// A result has at most as many columns as SQLite, on which cubeSQL is built,
// can ever return, and its column names together at most this many bytes.
// Both are checked before anything is allocated for them, since a few
// kilobytes of compressed reply can announce millions of empty names.
inline constexpr std::uint32_t kMaxResultColumns = 32767;
inline constexpr std::uint64_t kMaxColumnNameBytes = 4u * 1024 * 1024;
// What a decoded result may take in memory (its names, rows and values with
// the bookkeeping of each), estimated before each part is made.
inline constexpr std::uint64_t kMaxResultMemory = 256u * 1024 * 1024;

enum Command : std::uint8_t {
  kCommandConnect = 1,
  kCommandSelect = 2,
  kCommandExecute = 3,
  kCommandClose = 7,
  kCommandChunk = 9,
};

enum Selector : std::uint8_t {
  kSelectorNone = 0,
  kSelectorLoginStep1 = 20,
  kSelectorLoginStep2 = 21,
  kSelectorChunkOk = 25,
};

// Request flag: this client can inflate compressed replies.
inline constexpr std::uint8_t kRequestSupportsCompression = 0x01;
inline constexpr std::uint8_t kProtocolVersion = 4;

// Reply flag bits.
inline constexpr std::uint8_t kReplyRowidColumn = 0x04;
inline constexpr std::uint8_t kReplyCompressed = 0x08;
inline constexpr std::uint8_t kReplyPartial = 0x20;
inline constexpr std::uint8_t kReplyTableNames = 0x80;

// Reply error code that ends a chunked result; it is not an error.
inline constexpr std::uint16_t kEndChunk = 777;

// Size of the random challenge the server sends after login step 1.
inline constexpr std::size_t kChallengeSize = 20;

// A complete request: header plus body made of the size array and the fields.
// The fields go as given; SQL text must carry its own trailing NUL.
std::string EncodeRequest(Command command, Selector selector,
                          const std::vector<std::string>& fields, std::uint32_t timeoutSeconds);

// A string field as the server expects it: the text and a trailing NUL.
std::string TextField(std::string_view text);

// Text between single quotes for SQL, with every single quote doubled.
std::string QuoteSqlString(std::string_view text);

struct ReplyHeader {
  std::uint32_t packetSize = 0;
  std::uint16_t errorCode = 0;
  std::uint8_t flags = 0;
  std::uint8_t encrypted = 0;
  std::uint32_t expandedSize = 0;
  std::uint32_t rows = 0;
  std::uint32_t cols = 0;
  std::uint32_t numFields = 0;
};

// The message for a reply that breaks the protocol, with what was wrong.
std::string InvalidReplyMessage(std::string_view detail);

// Reads the fixed reply header. Fails (with a message) on a wrong signature,
// a wrong length, or a body size beyond the limits, before any body is read.
bool ParseReplyHeader(std::string_view bytes, ReplyHeader& header, std::string& error);

// What a reply turned out to be once its body is read.
struct Reply {
  enum class Kind { kOk, kServerError, kEndChunk };
  Kind kind = Kind::kOk;
  std::uint16_t errorCode = 0;
  // The usable body (inflated when it came compressed), or for a server error
  // the server's message text.
  std::string body;
};

// Opens a reply body: the error text of an error reply (one trailing NUL
// removed), or the body, inflated when flagged compressed. Fails on an
// encrypted reply, a body of the wrong length, or a compressed body that does
// not inflate to exactly expandedSize bytes.
bool OpenReply(const ReplyHeader& header, std::string_view rawBody, Reply& reply,
               std::string& error);

// zlib inflate of a whole stream into exactly expectedSize bytes.
bool Inflate(std::string_view compressed, std::uint32_t expectedSize, std::string& out,
             std::string& error);

// Builds the result of a SELECT from one or more cursor packets. Feed each
// reply (header and raw body) in order; a chunked result asks for an
// acknowledgement after each data packet until its end marker arrives.
class CursorReader {
public:
  enum class Step {
    kNeedAck,      // a chunk was read: acknowledge it, then feed the next reply
    kComplete,     // the result is whole: take it
    kServerError,  // the server refused the statement; the connection stays usable
    kInvalid,      // the reply breaks the protocol; the stream can no longer be trusted
  };

  Step Add(const ReplyHeader& header, std::string_view rawBody);

  // The message after kServerError or kInvalid.
  [[nodiscard]] const std::string& Error() const { return error_; }
  [[nodiscard]] std::uint16_t ServerErrorCode() const { return serverErrorCode_; }

  // After kComplete: the rows, without a hidden rowid column.
  RecordSet TakeRecords();

private:
  Step Fail(std::string message);
  bool DecodeFirst(const ReplyHeader& header, std::string_view body);
  bool DecodeValues(std::uint32_t rows, std::string_view body, std::size_t sizesOffset,
                    std::size_t valuesOffset);

  bool started_ = false;
  bool chunked_ = false;
  bool done_ = false;
  bool rowid_ = false;
  std::uint32_t cols_ = 0;
  std::uint64_t totalBytes_ = 0;  // on the wire
  std::uint64_t totalValues_ = 0;
  std::uint64_t memory_ = 0;  // estimated, of the decoded result
  std::vector<std::string> names_;
  std::vector<Row> rows_;
  std::string error_;
  std::uint16_t serverErrorCode_ = 0;
};

}  // namespace vantrix::db::cubesql
