// Feeds arbitrary text to the snapshot reader. Beyond crashes, overruns and
// runaway memory, it checks that whatever it accepts writes out as a
// snapshot that reads back to the same schema.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string_view>

#include "snapshot/Snapshot.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const auto read = vantrix::snapshot::ReadSnapshot(input);
  if (!read.schema) {
    if (read.error.empty()) {
      std::fprintf(stderr, "broken: a refusal without a reason\n");
      std::abort();
    }
    return 0;
  }
  std::ostringstream out;
  vantrix::snapshot::WriteSnapshot(out, *read.schema);
  const auto again = vantrix::snapshot::ReadSnapshot(out.str());
  if (!again.schema) {
    std::fprintf(stderr, "broken: a snapshot written is refused: %s\n", again.error.c_str());
    std::abort();
  }
  std::ostringstream second;
  vantrix::snapshot::WriteSnapshot(second, *again.schema);
  if (second.str() != out.str()) {
    std::fprintf(stderr, "broken: a snapshot reads back otherwise\n");
    std::abort();
  }
  return 0;
}
