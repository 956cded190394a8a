#include "db/CubeSqlProtocol.h"

#include <zlib.h>

#include <limits>

namespace vantrix::db::cubesql {
namespace {

void PutUint32(std::string& out, std::uint32_t value) {
  out += static_cast<char>(value >> 24);
  out += static_cast<char>(value >> 16);
  out += static_cast<char>(value >> 8);
  out += static_cast<char>(value);
}

void PutUint16(std::string& out, std::uint16_t value) {
  out += static_cast<char>(value >> 8);
  out += static_cast<char>(value);
}

std::uint32_t GetUint32(std::string_view bytes, std::size_t offset) {
  const auto byte = [&](std::size_t i) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[offset + i]));
  };
  return (byte(0) << 24) | (byte(1) << 16) | (byte(2) << 8) | byte(3);
}

std::uint16_t GetUint16(std::string_view bytes, std::size_t offset) {
  return static_cast<std::uint16_t>(
      (static_cast<unsigned>(static_cast<unsigned char>(bytes[offset])) << 8) |
      static_cast<unsigned char>(bytes[offset + 1]));
}

// Sizes in a cursor are signed: -1 marks NULL.
std::int32_t GetInt32(std::string_view bytes, std::size_t offset) {
  const std::uint32_t raw = GetUint32(bytes, offset);
  if (raw <= static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max())) {
    return static_cast<std::int32_t>(raw);
  }
  return -static_cast<std::int32_t>(~raw) - 1;
}

// Moves `offset` past `count` NUL-terminated strings without copying them;
// false when the body ends first.
bool SkipNames(std::string_view body, std::size_t& offset, std::uint32_t count) {
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::size_t end = body.find('\0', offset);
    if (end == std::string_view::npos) return false;
    offset = end + 1;
  }
  return true;
}

// The `count` NUL-terminated strings from `offset` on, which SkipNames has
// found complete.
void ReadNames(std::string_view body, std::size_t offset, std::uint32_t count,
               std::vector<std::string>& names) {
  names.reserve(count);
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::size_t end = body.find('\0', offset);
    names.emplace_back(body.substr(offset, end - offset));
    offset = end + 1;
  }
}

// Memory taken by a heap block beyond its own bytes, for the estimates.
constexpr std::uint64_t kAllocationOverhead = 16;

}  // namespace

std::string EncodeRequest(Command command, Selector selector,
                          const std::vector<std::string>& fields, std::uint32_t timeoutSeconds) {
  std::uint64_t bodySize = 0;
  for (const std::string& field : fields) bodySize += 4 + field.size();

  std::string out;
  out.reserve(kHeaderSize + static_cast<std::size_t>(bodySize));
  out += kSignature;
  PutUint32(out, static_cast<std::uint32_t>(bodySize));
  out += static_cast<char>(command);
  out += static_cast<char>(selector);
  out += static_cast<char>(kRequestSupportsCompression);
  out += '\0';  // flag2
  out += '\0';  // flag3
  out += '\0';  // no encryption
  out += static_cast<char>(kProtocolVersion);
  out += '\0';  // client type
  PutUint32(out, static_cast<std::uint32_t>(fields.size()));
  PutUint32(out, 0);  // expandedSize: requests are never compressed
  PutUint32(out, timeoutSeconds);
  PutUint16(out, 0);
  PutUint16(out, 0);
  for (const std::string& field : fields) PutUint32(out, static_cast<std::uint32_t>(field.size()));
  for (const std::string& field : fields) out += field;
  return out;
}

std::string TextField(std::string_view text) {
  std::string field(text);
  field += '\0';
  return field;
}

std::string QuoteSqlString(std::string_view text) {
  std::string quoted = "'";
  for (const char c : text) {
    quoted += c;
    if (c == '\'') quoted += '\'';
  }
  quoted += '\'';
  return quoted;
}

std::string InvalidReplyMessage(std::string_view detail) {
  return "The cubeSQL server sent a reply that is not valid (" + std::string(detail) + ")";
}

bool ParseReplyHeader(std::string_view bytes, ReplyHeader& header, std::string& error) {
  if (bytes.size() != kHeaderSize) {
    error = InvalidReplyMessage("the header is incomplete");
    return false;
  }
  if (bytes.substr(0, 4) != kSignature) {
    error = InvalidReplyMessage("wrong signature");
    return false;
  }
  header.packetSize = GetUint32(bytes, 4);
  header.errorCode = GetUint16(bytes, 8);
  header.flags = static_cast<std::uint8_t>(bytes[10]);
  header.encrypted = static_cast<std::uint8_t>(bytes[11]);
  header.expandedSize = GetUint32(bytes, 12);
  header.rows = GetUint32(bytes, 16);
  header.cols = GetUint32(bytes, 20);
  header.numFields = GetUint32(bytes, 24);
  if (header.packetSize > kMaxBodySize) {
    error = InvalidReplyMessage("a body of " + std::to_string(header.packetSize) + " bytes");
    return false;
  }
  // A column count no result can have is refused as soon as it is read,
  // before the body is even received.
  if (header.errorCode == 0 && header.cols > kMaxResultColumns) {
    error = InvalidReplyMessage("a result of " + std::to_string(header.cols) +
                                " columns, more than the " + std::to_string(kMaxResultColumns) +
                                " a result can have");
    return false;
  }
  if (header.errorCode == 0 && (header.flags & kReplyCompressed) != 0 &&
      header.expandedSize > kMaxBodySize) {
    error = InvalidReplyMessage("an expanded body of " + std::to_string(header.expandedSize) +
                                " bytes");
    return false;
  }
  return true;
}

bool Inflate(std::string_view compressed, std::uint32_t expectedSize, std::string& out,
             std::string& error) {
  if (expectedSize > kMaxBodySize || compressed.size() > kMaxBodySize) {
    error = InvalidReplyMessage("a compressed body beyond the size limit");
    return false;
  }
  // Deflate cannot expand past about 1032 output bytes per input byte: a
  // larger claim is a lie, refused before its buffer is allocated.
  if (expectedSize > static_cast<std::uint64_t>(compressed.size()) * 1040 + 1024) {
    error = InvalidReplyMessage("the expanded size cannot come from so small a body");
    return false;
  }
  out.assign(expectedSize, '\0');
  unsigned char spare = 0;  // zlib wants a valid pointer even for no output
  z_stream stream{};
  if (inflateInit(&stream) != Z_OK) {
    error = "The cubeSQL reply could not be decompressed (out of memory)";
    return false;
  }
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data()));
  stream.avail_in = static_cast<uInt>(compressed.size());
  stream.next_out = expectedSize > 0 ? reinterpret_cast<Bytef*>(out.data()) : &spare;
  stream.avail_out = expectedSize;
  const int rc = inflate(&stream, Z_FINISH);
  const uLong produced = stream.total_out;
  const uInt outputLeft = stream.avail_out;
  inflateEnd(&stream);

  if (rc == Z_STREAM_END) {
    if (produced == expectedSize) return true;
    error = InvalidReplyMessage("the compressed body is shorter than announced");
  } else if (rc == Z_DATA_ERROR || rc == Z_NEED_DICT) {
    error = InvalidReplyMessage("the compressed body is damaged");
  } else if (rc == Z_MEM_ERROR) {
    error = "The cubeSQL reply could not be decompressed (out of memory)";
  } else if (outputLeft == 0) {
    error = InvalidReplyMessage("the compressed body is longer than announced");
  } else {
    error = InvalidReplyMessage("the compressed body is truncated");
  }
  out.clear();
  return false;
}

bool OpenReply(const ReplyHeader& header, std::string_view rawBody, Reply& reply,
               std::string& error) {
  if (rawBody.size() != header.packetSize) {
    error = InvalidReplyMessage("the body length does not match its header");
    return false;
  }
  if (header.encrypted != 0) {
    error =
        "The cubeSQL server sent an encrypted reply; this program only uses unencrypted "
        "connections";
    return false;
  }
  reply.errorCode = header.errorCode;
  if (header.errorCode == kEndChunk) {
    reply.kind = Reply::Kind::kEndChunk;
    reply.body.clear();
    return true;
  }
  if (header.errorCode != 0) {
    reply.kind = Reply::Kind::kServerError;
    std::string_view text = rawBody;
    if (!text.empty() && text.back() == '\0') text.remove_suffix(1);
    reply.body = text.empty()
                     ? "The cubeSQL server reported error " + std::to_string(header.errorCode)
                     : std::string(text);
    return true;
  }
  reply.kind = Reply::Kind::kOk;
  if ((header.flags & kReplyCompressed) != 0) {
    return Inflate(rawBody, header.expandedSize, reply.body, error);
  }
  reply.body.assign(rawBody);
  return true;
}

CursorReader::Step CursorReader::Fail(std::string message) {
  error_ = std::move(message);
  done_ = true;
  return Step::kInvalid;
}

CursorReader::Step CursorReader::Add(const ReplyHeader& header, std::string_view rawBody) {
  if (done_) return Fail(InvalidReplyMessage("data after the end of the result"));
  // A column count no result can have is refused from the header alone,
  // before the body is inflated.
  if (header.errorCode == 0 && header.cols > kMaxResultColumns) {
    return Fail(InvalidReplyMessage("a result of " + std::to_string(header.cols) +
                                    " columns, more than the " + std::to_string(kMaxResultColumns) +
                                    " a result can have"));
  }
  Reply reply;
  std::string error;
  if (!OpenReply(header, rawBody, reply, error)) return Fail(std::move(error));

  switch (reply.kind) {
    case Reply::Kind::kServerError:
      error_ = std::move(reply.body);
      serverErrorCode_ = reply.errorCode;
      done_ = true;
      return Step::kServerError;
    case Reply::Kind::kEndChunk:
      if (!chunked_) return Fail(InvalidReplyMessage("an end of chunks without a chunked result"));
      done_ = true;
      return Step::kComplete;
    case Reply::Kind::kOk:
      break;
  }

  totalBytes_ += kHeaderSize + reply.body.size();
  if (totalBytes_ > kMaxResultBytes) return Fail("The cubeSQL result is too large to read");

  if (!started_) {
    started_ = true;
    chunked_ = (header.flags & kReplyPartial) != 0;
    if (!DecodeFirst(header, reply.body)) return Step::kInvalid;
    if (chunked_) return Step::kNeedAck;
    done_ = true;
    return Step::kComplete;
  }
  // Every later packet of a chunked result carries only sizes and values for
  // the columns the first packet described.
  if (header.cols != 0 && header.cols != cols_) {
    return Fail(InvalidReplyMessage("a chunk with a different number of columns"));
  }
  if (cols_ == 0 && header.rows != 0) return Fail(InvalidReplyMessage("rows without columns"));
  if (static_cast<std::uint64_t>(header.rows) * cols_ * 4 > reply.body.size()) {
    return Fail(InvalidReplyMessage("more values than the chunk holds"));
  }
  const std::size_t sizeBytes = static_cast<std::size_t>(header.rows) * cols_ * 4;
  if (!DecodeValues(header.rows, reply.body, 0, sizeBytes)) return Step::kInvalid;
  return Step::kNeedAck;
}

bool CursorReader::DecodeFirst(const ReplyHeader& header, std::string_view body) {
  cols_ = header.cols;
  rowid_ = (header.flags & kReplyRowidColumn) != 0;
  if (rowid_ && cols_ == 0) {
    Fail(InvalidReplyMessage("a rowid column without columns"));
    return false;
  }
  if (cols_ == 0 && header.rows != 0) {
    Fail(InvalidReplyMessage("rows without columns"));
    return false;
  }
  // Types and sizes are fixed-width: check they fit before reading names.
  const std::uint64_t typeBytes = static_cast<std::uint64_t>(cols_) * 4;
  const std::uint64_t sizeBytes = static_cast<std::uint64_t>(header.rows) * cols_ * 4;
  if (typeBytes + sizeBytes > body.size()) {
    Fail(InvalidReplyMessage("more columns or rows than the reply holds"));
    return false;
  }
  const std::size_t sizesOffset = static_cast<std::size_t>(typeBytes);
  const std::size_t namesOffset = static_cast<std::size_t>(typeBytes + sizeBytes);
  std::size_t offset = namesOffset;
  if (!SkipNames(body, offset, cols_)) {
    Fail(InvalidReplyMessage("the column names are cut short"));
    return false;
  }
  // The names are measured before any is copied.
  const std::uint64_t nameBytes = offset - namesOffset - cols_;  // without their NULs
  if (nameBytes > kMaxColumnNameBytes) {
    Fail(InvalidReplyMessage("column names of " + std::to_string(nameBytes) +
                             " bytes, more than the " + std::to_string(kMaxColumnNameBytes) +
                             " a result may have"));
    return false;
  }
  memory_ += static_cast<std::uint64_t>(cols_) * sizeof(std::string) + nameBytes;
  if (memory_ > kMaxResultMemory) {
    Fail("The cubeSQL result is too large to read");
    return false;
  }
  ReadNames(body, namesOffset, cols_, names_);
  // Table names are only skipped: nothing keeps them.
  if ((header.flags & kReplyTableNames) != 0 && !SkipNames(body, offset, cols_)) {
    Fail(InvalidReplyMessage("the table names are cut short"));
    return false;
  }
  return DecodeValues(header.rows, body, sizesOffset, offset);
}

bool CursorReader::DecodeValues(std::uint32_t rows, std::string_view body, std::size_t sizesOffset,
                                std::size_t valuesOffset) {
  const std::uint64_t count = static_cast<std::uint64_t>(rows) * cols_;
  totalValues_ += count;
  if (totalValues_ > kMaxResultValues) {
    Fail("The cubeSQL result is too large to read");
    return false;
  }
  // The callers checked that the sizes lie inside the body.
  if (sizesOffset + count * 4 > body.size() || valuesOffset > body.size()) {
    Fail(InvalidReplyMessage("more values than the reply holds"));
    return false;
  }
  // First pass: every size is -1 (NULL) or a length, and together they fit.
  std::uint64_t total = 0;
  for (std::uint64_t i = 0; i < count; ++i) {
    const std::int32_t size = GetInt32(body, sizesOffset + static_cast<std::size_t>(i * 4));
    if (size < -1) {
      Fail(InvalidReplyMessage("a negative value size"));
      return false;
    }
    if (size > 0) total += static_cast<std::uint64_t>(size);
  }
  if (total > body.size() - valuesOffset) {
    Fail(InvalidReplyMessage("the value sizes overrun the reply"));
    return false;
  }
  // What the rows will take, before any is made: empty values cost nothing
  // on the wire but a field each in memory, and every row is a block of its
  // own.
  const std::uint32_t skip = rowid_ ? 1 : 0;
  const std::uint64_t rowCost = sizeof(Row) + kAllocationOverhead +
                                static_cast<std::uint64_t>(cols_ - skip) * sizeof(DatabaseField);
  memory_ += rows * rowCost + total;
  if (memory_ > kMaxResultMemory) {
    Fail("The cubeSQL result is too large to read");
    return false;
  }

  // Later chunks grow the rows as they come: reserving each chunk's exact
  // size would copy every row read so far once per chunk.
  if (rows_.empty()) rows_.reserve(rows);
  std::size_t sizePos = sizesOffset;
  std::size_t valuePos = valuesOffset;
  for (std::uint32_t r = 0; r < rows; ++r) {
    Row row;
    row.reserve(cols_ - skip);
    for (std::uint32_t c = 0; c < cols_; ++c, sizePos += 4) {
      const std::int32_t size = GetInt32(body, sizePos);
      std::optional<std::string> value;
      if (size >= 0) {
        value.emplace(body.substr(valuePos, static_cast<std::size_t>(size)));
        valuePos += static_cast<std::size_t>(size);
      }
      if (c >= skip) row.emplace_back(std::move(value));
    }
    rows_.push_back(std::move(row));
  }
  return true;
}

RecordSet CursorReader::TakeRecords() {
  std::vector<std::string> names = std::move(names_);
  if (rowid_ && !names.empty()) names.erase(names.begin());
  return RecordSet(std::move(names), std::move(rows_));
}

}  // namespace vantrix::db::cubesql
