#include "FaultSweep.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>

#include <unistd.h>

namespace fs = std::filesystem;

namespace faultsweep {

namespace {

// Every copy of the platform layer in this process, those inside shared
// libraries included, joins the plans of the sweeps: the variable must be
// there before the first file operation.
const bool kJoinedPlans = [] {
  ::setenv("ZORV_TEST_FAULTS", "", 1);
  return true;
}();

class TallyPrinter : public ::testing::Environment {
 public:
  void TearDown() override {
    const Totals& t = tally();
    std::printf("[fault sweep] %d faults injected over %d counted calls, %d torn or lost files\n",
                t.injected, t.calls, t.torn);
  }
};

const bool kPrinterAdded = [] {
  ::testing::AddGlobalTestEnvironment(new TallyPrinter);
  return true;
}();

std::string readBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// "op::rest" with the call number n put in: "op:n:rest"; "vanish:" gives
// "vanish:n" and "vanish::pattern" "vanish:n:pattern".
std::string withCall(const std::string& item, std::uint64_t n) {
  const std::size_t colon = item.find(':');
  std::string rest = item.substr(colon + 1);
  if (!rest.empty() && rest[0] == ':') rest = rest.substr(1);
  return item.substr(0, colon) + ":" + std::to_string(n) + (rest.empty() ? "" : ":" + rest);
}

platform::faults::Operation operationOf(const std::string& item) {
  const std::string name = item.substr(0, item.find(':'));
  for (int i = 0; i < platform::faults::kOperationCount; ++i) {
    const auto op = static_cast<platform::faults::Operation>(i);
    if (name == platform::faults::operationName(op)) return op;
  }
  ADD_FAILURE() << "no operation in " << item;
  return platform::faults::Operation::Open;
}

// The swept item first, so that it is fault 0 of the plan.
std::string joinPlan(const std::string& item, const std::string& base) {
  if (base.empty()) return item;
  return item + ";" + base;
}

// Where the faults that fire are logged, outside every swept directory.
std::string logPath() {
  return (fs::temp_directory_path() / ("zorv-fault-sweep-" + std::to_string(::getpid()) + ".log"))
      .string();
}

// The files the logged vanish faults removed, relative to root.
std::vector<std::string> vanishedFiles(const std::string& root) {
  std::vector<std::string> files;
  std::ifstream log(logPath());
  const std::string prefix = fs::path(root).generic_string() + "/";
  for (std::string line; std::getline(log, line);) {
    const std::string mark = "vanish ";
    if (line.compare(0, mark.size(), mark) != 0) continue;
    const std::size_t path = line.find(" vanished ");
    if (path == std::string::npos) continue;
    std::string name = line.substr(path + 10);
    if (name.compare(0, prefix.size(), prefix) == 0) name = name.substr(prefix.size());
    files.push_back(name);
  }
  return files;
}

SweepRun runOnce(const Sweep& sweep, const std::string& plan) {
  clearDirectory(sweep.root);
  sweep.prepare();
  SweepRun run;
  run.plan = plan;
  std::string error;
  std::remove(logPath().c_str());
  const std::string logged = plan.empty() ? "log=" + logPath() : plan + ";log=" + logPath();
  EXPECT_TRUE(platform::faults::setPlan(logged, &error)) << plan << ": " << error;
  run.outcome = sweep.operate();
  run.fired = platform::faults::firedCount();
  run.sweptFired = !plan.empty() && platform::faults::faultFired(0);
  for (int i = 0; i < platform::faults::kOperationCount; ++i) {
    run.calls[i] = platform::faults::callCount(static_cast<platform::faults::Operation>(i));
  }
  platform::faults::clearPlan();
  run.files = snapshot(sweep.root);
  run.vanished = vanishedFiles(sweep.root);
  std::remove(logPath().c_str());
  return run;
}

}  // namespace

Snapshot snapshot(const std::string& root) {
  Snapshot files;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::end(it);
       it.increment(ec)) {
    const std::string relative = fs::relative(it->path(), root).generic_string();
    // The calibration journal records what each run did, so it differs
    // from run to run by design; its rows are checked where it is tested.
    if (it->path().filename() == "ZorvPosetta-journal.csv") continue;
    if (it->is_directory()) {
      files[relative + "/"] = "";
    } else {
      files[relative] = readBytes(it->path());
    }
  }
  return files;
}

void clearDirectory(const std::string& root) {
  fs::create_directories(root);
  for (const auto& entry : fs::directory_iterator(root)) fs::remove_all(entry.path());
}

void putFile(const std::string& root, const std::string& relative, const std::string& content) {
  const fs::path path = fs::path(root) / relative;
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
}

Snapshot without(const Snapshot& files, const std::vector<std::string>& vanished) {
  Snapshot kept = files;
  for (const std::string& name : vanished) kept.erase(name);
  return kept;
}

std::vector<std::string> tornFiles(const Snapshot& files, const Snapshot& before,
                                   const Snapshot& after, const std::vector<std::string>& vanished) {
  std::set<std::string> names;
  for (const Snapshot* s : {&files, &before, &after}) {
    for (const auto& [name, bytes] : *s) names.insert(name);
  }
  std::vector<std::string> torn;
  for (const std::string& name : names) {
    const auto now = files.find(name);
    const auto old = before.find(name);
    const auto next = after.find(name);
    const bool asOld = (now == files.end()) == (old == before.end()) &&
                       (now == files.end() || now->second == old->second);
    const bool asNew = (now == files.end()) == (next == after.end()) &&
                       (now == files.end() || now->second == next->second);
    const bool gone = now == files.end() &&
                      std::find(vanished.begin(), vanished.end(), name) != vanished.end();
    if (!asOld && !asNew && !gone) torn.push_back(name);
  }
  return torn;
}

std::vector<std::string> temporaries(const Snapshot& files) {
  std::vector<std::string> found;
  for (const auto& [name, bytes] : files) {
    if (name.find(".tmp") != std::string::npos || name.find(".~") != std::string::npos) {
      found.push_back(name);
    }
  }
  return found;
}

std::string describe(const Snapshot& files, const Snapshot& expected) {
  std::ostringstream out;
  for (const auto& [name, bytes] : files) {
    const auto other = expected.find(name);
    if (other == expected.end()) {
      out << "  extra " << name << " (" << bytes.size() << " bytes)\n";
    } else if (other->second != bytes) {
      out << "  changed " << name << " (" << bytes.size() << " bytes, expected "
          << other->second.size() << ")\n";
    }
  }
  for (const auto& [name, bytes] : expected) {
    if (files.find(name) == files.end()) out << "  missing " << name << "\n";
  }
  return out.str();
}

void judgeOldOrNew(const SweepRun& faulty, const Snapshot& before, const SweepRun& clean) {
  const Snapshot expected = without(faulty.outcome.succeeded ? clean.files : before, faulty.vanished);
  EXPECT_TRUE(without(faulty.files, faulty.vanished) == expected)
      << faulty.plan << (faulty.outcome.succeeded ? " succeeded" : " failed")
      << " but the files are not " << (faulty.outcome.succeeded ? "the new" : "the old")
      << " ones:\n"
      << describe(faulty.files, expected) << "printed: " << faulty.outcome.text;
}

Totals& tally() {
  static Totals totals;
  return totals;
}

Totals runSweep(const Sweep& sweep) {
  Totals totals;
  const auto before = [&] {
    clearDirectory(sweep.root);
    sweep.prepare();
    return snapshot(sweep.root);
  }();
  const SweepRun clean = runOnce(sweep, sweep.basePlan);
  const std::uint64_t* counted = clean.calls;
  for (int i = 0; i < platform::faults::kOperationCount; ++i) {
    totals.calls += static_cast<int>(counted[i]);
  }
  EXPECT_TRUE(clean.outcome.succeeded) << "the clean run failed: " << clean.outcome.text;
  EXPECT_TRUE(temporaries(clean.files).empty()) << describe(clean.files, before);

  const auto judge = sweep.judge ? sweep.judge : judgeOldOrNew;
  for (const std::string& item : sweep.faults) {
    const platform::faults::Operation op = operationOf(item);
    const bool filtered = std::count(item.begin(), item.end(), ':') >= 3 ||
                          (op == platform::faults::Operation::Vanish &&
                           item.find("::") != std::string::npos);
    std::uint64_t firedRuns = 0;
    // Until the fault no longer fires: one more call index than there are
    // calls of the operation.
    for (std::uint64_t n = 1; n <= counted[static_cast<int>(op)] + 1; ++n) {
      const SweepRun faulty = runOnce(sweep, joinPlan(withCall(item, n), sweep.basePlan));
      if (!faulty.sweptFired) break;
      ++firedRuns;
      ++totals.injected;
      SCOPED_TRACE(faulty.plan);
      std::vector<std::string> torn =
          tornFiles(faulty.files, before, clean.files, faulty.vanished);
      std::erase_if(torn, [&](const std::string& name) {
        return std::find(sweep.judgedBySections.begin(), sweep.judgedBySections.end(), name) !=
               sweep.judgedBySections.end();
      });
      totals.torn += static_cast<int>(torn.size());
      EXPECT_TRUE(torn.empty()) << faulty.plan << ": torn or extra files:\n"
                                << describe(faulty.files, before) << "printed: "
                                << faulty.outcome.text;
      EXPECT_TRUE(temporaries(faulty.files).empty()) << faulty.plan;
      judge(faulty, before, clean);
    }
    if (!filtered) {
      EXPECT_EQ(firedRuns, counted[static_cast<int>(op)])
          << item << ": the fault did not fire at every call of the clean run";
    }
  }
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  std::printf("[fault sweep] %s.%s: %d faults injected over %d counted calls, %d torn\n",
              test != nullptr ? test->test_suite_name() : "", test != nullptr ? test->name() : "",
              totals.injected, totals.calls, totals.torn);
  tally().injected += totals.injected;
  tally().torn += totals.torn;
  tally().calls += totals.calls;
  return totals;
}

}  // namespace faultsweep
