// vantrix-diff --each: one reference against many targets (a database per
// customer, say), read several at a time, each with its own connection,
// one line per target.
#include <unistd.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <iostream>
#include <mutex>
#include <sstream>
#include <thread>
#include <vector>

#include "cli/Program.h"
#include "cli/ReportFile.h"
#include "cli/Side.h"
#include "cli/Terminal.h"
#include "compare/Findings.h"
#include "report/Text.h"

namespace vantrix::cli {
namespace {

using Json = nlohmann::ordered_json;

enum class Verdict { kSame, kDiffer, kTrouble };

const char* VerdictName(Verdict v) {
  return v == Verdict::kSame ? "same" : v == Verdict::kDiffer ? "differ" : "trouble";
}

struct Outcome {
  std::string target;  // the argument, its password hidden
  Verdict verdict = Verdict::kTrouble;
  compare::FindingsCounts counts;
  int differingTables = 0;
  std::string message;  // why it could not be read
};

Json SummaryOf(const Outcome& o) {
  if (o.verdict == Verdict::kTrouble) return nullptr;
  const compare::FindingsCounts& c = o.counts;
  return {{"db1_tables", c.db1Tables},
          {"db2_tables", c.db2Tables},
          {"same", c.same},
          {"differ", c.differ},
          {"only_in_db1", c.onlyInDb1},
          {"only_in_db2", c.onlyInDb2},
          {"not_checked", c.notChecked},
          {"differing_tables", o.differingTables},
          {"field_differences", c.fieldDifferences},
          {"structure_differences", c.structureDifferences},
          {"notes", c.notes}};
}

std::string JsonLine(const Outcome& o) {
  Json line;
  line["target"] = o.target;
  line["verdict"] = VerdictName(o.verdict);
  line["summary"] = SummaryOf(o);
  line["message"] = o.message.empty() ? Json(nullptr) : Json(o.message);
  return report::text::JsonBidiEscaped(line.dump(-1, ' ', false, Json::error_handler_t::replace));
}

class Each {
public:
  explicit Each(Arguments args) : args_(std::move(args)) {}

  int Run() {
    const std::string format = args_.format;
    if (format != "text" && format != "json" && format != "markdown") {
      return Fail("--each writes text, markdown or json, not " + format);
    }
    json_ = format == "json";
    toFile_ = !args_.output.empty() && args_.output != "-";
    if (toFile_) {
      if (std::string reason; !CanWriteReport(args_.output, reason)) {
        return Fail("cannot write --output \"" + args_.output + "\": " + reason);
      }
    }
    std::string error;
    auto scope = compare::TableScope::Make(args_.tables, args_.exclude, error);
    if (!scope) return Fail("bad regular expression: " + error);
    options_.oneWay = args_.oneWay;
    options_.strict = args_.strict;
    options_.structure = !args_.oneWay && !args_.columnsOnly;
    for (const std::string& kind : args_.ignore) {
      options_.ignore.push_back(*compare::IgnorableNamed(kind));
    }
    options_.scope = std::move(*scope);

    // The reference, once.
    Side reference{1, args_.db1, {}, {}, {}};
    if (auto refused = Resolve(reference)) return Fail(*refused);
    FindPassword(reference, true);
    std::string failure;
    if (!ReadSide(reference, Detail(), failure)) return Fail(failure);
    reference_ = &reference.schema;

    Check();
    return Finish();
  }

private:
  [[nodiscard]] db::Detail Detail() const {
    return options_.structure ? db::Detail::kStructure : db::Detail::kColumns;
  }

  int Fail(const std::string& message) {
    std::cerr << "vantrix-diff: " << report::text::Plain(message) << '\n';
    return kExitTrouble;
  }

  // A target's line names it already: its messages need not again.
  static void Unprefix(const Side& side, std::string& message) {
    const std::string prefix = side.Shown() + ": ";
    if (message.starts_with(prefix)) message.erase(0, prefix.size());
  }

  Outcome CheckOne(const std::string& argument) {
    Outcome outcome;
    Side side{2, argument, {}, {}, {}};
    outcome.target = MaskPassword(argument);
    // A target's password comes from its URL or VANTRIX_DB2_PASSWORD:
    // nobody is asked for one per target.
    if (auto refused = Resolve(side)) {
      outcome.message = *refused;
      Unprefix(side, outcome.message);
      return outcome;
    }
    FindPassword(side, false);
    if (!ReadSide(side, Detail(), outcome.message)) {
      Unprefix(side, outcome.message);
      return outcome;
    }
    outcome.message.clear();
    const compare::Findings findings = compare::FindDifferences(*reference_, side.schema, options_);
    outcome.counts = findings.counts;
    outcome.differingTables = findings.DifferingTables();
    outcome.verdict = findings.HasDifferences() ? Verdict::kDiffer : Verdict::kSame;
    return outcome;
  }

  // Every target, --jobs at a time; JSON lines go out as each finishes.
  void Check() {
    const std::size_t total = args_.targets.size();
    outcomes_.resize(total);
    std::optional<ProgressLine> progress;
    if (!args_.quiet && IsTerminal(STDERR_FILENO)) {
      progress.emplace(STDERR_FILENO, "Checked 0 of " + std::to_string(total) + " targets");
    }
    std::atomic<std::size_t> next{0};
    std::mutex mutex;
    std::size_t done = 0;
    const auto work = [&] {
      for (std::size_t i = next++; i < total; i = next++) {
        Outcome outcome = CheckOne(args_.targets[i]);
        std::lock_guard lock(mutex);
        if (json_ && !toFile_ && !args_.quiet) std::cout << JsonLine(outcome) << std::endl;
        outcomes_[i] = std::move(outcome);
        ++done;
        if (progress) {
          progress->Update("Checked " + std::to_string(done) + " of " + std::to_string(total) +
                           " targets");
        }
      }
    };
    const std::size_t workers =
        std::min<std::size_t>(static_cast<std::size_t>(std::max(args_.jobs, 1)), total);
    std::vector<std::thread> threads;
    for (std::size_t w = 0; w < workers; ++w) threads.emplace_back(work);
    for (std::thread& t : threads) t.join();
    if (progress) progress->Done();
  }

  void WriteSummary(std::ostream& out) const {
    int same = 0;
    int differ = 0;
    int trouble = 0;
    for (const Outcome& o : outcomes_) {
      same += o.verdict == Verdict::kSame;
      differ += o.verdict == Verdict::kDiffer;
      trouble += o.verdict == Verdict::kTrouble;
    }
    const std::string counts = std::to_string(outcomes_.size()) + " targets: " +
                               std::to_string(same) + " same, " + std::to_string(differ) +
                               " differ, " + std::to_string(trouble) + " trouble";
    if (json_) {
      // Written to a file, the lines come in the targets' order.
      if (toFile_) {
        for (const Outcome& o : outcomes_) out << JsonLine(o) << '\n';
      }
      Json summary;
      summary["summary"] = {{"targets", outcomes_.size()},
                            {"same", same},
                            {"differ", differ},
                            {"trouble", trouble}};
      out << summary.dump() << '\n';
      return;
    }
    const bool markdown = args_.format == "markdown";
    if (markdown) {
      out << "## vantrix-diff --each: " << counts << "\n\n"
          << "| Target | Verdict | Differing tables | Field differences | Structure differences "
             "|\n|---|---|---|---|---|\n";
    }
    for (const Outcome& o : outcomes_) {
      const bool read = o.verdict != Verdict::kTrouble;
      const std::string tables = read ? std::to_string(o.differingTables) : "";
      const std::string fields = read ? std::to_string(o.counts.fieldDifferences) : "";
      const std::string structure = read ? std::to_string(o.counts.structureDifferences) : "";
      if (markdown) {
        out << "| " << report::text::Markdown(o.target) << " | " << VerdictName(o.verdict)
            << (read ? "" : ": " + report::text::Markdown(o.message)) << " | " << tables << " | "
            << fields << " | " << structure << " |\n";
      } else {
        out << report::text::Plain(o.target) << ": " << VerdictName(o.verdict);
        if (read && o.verdict == Verdict::kDiffer) {
          out << " (" << tables << " differing tables, " << fields << " field differences, "
              << structure << " structure differences)";
        }
        out << '\n';
        if (!read) out << "  " << report::text::Plain(o.message) << '\n';
      }
    }
    out << (markdown ? "\n" : "Summary: ") << counts << '\n';
  }

  int Finish() {
    int status = kExitSame;
    for (const Outcome& o : outcomes_) {
      if (o.verdict == Verdict::kTrouble) {
        status = kExitTrouble;
      } else if (o.verdict == Verdict::kDiffer && status == kExitSame) {
        status = kExitDifferences;
      }
    }
    if (args_.quiet) return status;
    std::string reason;
    if (toFile_) {
      ReportFile file;
      if (file.Open(args_.output, reason)) {
        WriteSummary(file.Stream());
        if (file.Commit(reason)) return status;
      }
      return Fail("cannot write --output \"" + args_.output + "\": " + reason);
    }
    WriteSummary(std::cout);
    std::cout.flush();
    if (!std::cout) return Fail("cannot write to standard output");
    return status;
  }

  Arguments args_;
  compare::FindingsOptions options_;
  bool json_ = false;
  bool toFile_ = false;
  const db::Schema* reference_ = nullptr;
  std::vector<Outcome> outcomes_;
};

}  // namespace

int RunEach(Arguments args) { return Each(std::move(args)).Run(); }

}  // namespace vantrix::cli
