// Feeds arbitrary bytes to the cubeSQL reply decoder the way the client reads
// a SELECT result: header, body, inflate, cursor, and further chunks until the
// result is complete or refused. Any crash, overrun or runaway allocation is a
// bug in the decoder.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "db/CubeSqlProtocol.h"

using namespace vantrix::db::cubesql;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  CursorReader reader;
  std::size_t offset = 0;
  bool first = true;
  while (input.size() - offset >= kHeaderSize) {
    ReplyHeader header;
    std::string error;
    if (!ParseReplyHeader(input.substr(offset, kHeaderSize), header, error)) break;
    offset += kHeaderSize;
    // A stream that ends inside a body is cut short: the client would time
    // out or see the connection close, and never decode it.
    if (header.packetSize > input.size() - offset) break;
    const std::string_view body = input.substr(offset, header.packetSize);
    offset += header.packetSize;

    if (first) {
      // The login replies are opened without a cursor.
      Reply reply;
      OpenReply(header, body, reply, error);
      first = false;
    }
    const CursorReader::Step step = reader.Add(header, body);
    if (step == CursorReader::Step::kComplete) {
      vantrix::db::RecordSet records = reader.TakeRecords();
      std::size_t bytes = 0;
      for (const auto& row : records.Rows()) {
        for (const auto& field : row) bytes += field.StringValue().size();
      }
      (void)bytes;
      break;
    }
    if (step != CursorReader::Step::kNeedAck) break;
  }
  return 0;
}
