#include "FaultSweep.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>

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

Run runOnce(const Sweep& sweep, const std::string& plan) {
  clearDirectory(sweep.root);
  sweep.prepare();
  Run run;
  run.plan = plan;
  std::string error;
  EXPECT_TRUE(platform::faults::setPlan(plan, &error)) << plan << ": " << error;
  run.outcome = sweep.operate();
  run.fired = platform::faults::firedCount();
  run.sweptFired = !plan.empty() && platform::faults::faultFired(0);
  for (int i = 0; i < platform::faults::kOperationCount; ++i) {
    run.calls[i] = platform::faults::callCount(static_cast<platform::faults::Operation>(i));
  }
  platform::faults::clearPlan();
  run.files = snapshot(sweep.root);
  return run;
}

}  // namespace

Snapshot snapshot(const std::string& root) {
  Snapshot files;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::end(it);
       it.increment(ec)) {
    const std::string relative = fs::relative(it->path(), root).generic_string();
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

std::vector<std::string> tornFiles(const Snapshot& files, const Snapshot& before,
                                   const Snapshot& after) {
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
    if (!asOld && !asNew) torn.push_back(name);
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

void judgeOldOrNew(const Run& faulty, const Snapshot& before, const Run& clean) {
  const Snapshot& expected = faulty.outcome.succeeded ? clean.files : before;
  EXPECT_TRUE(faulty.files == expected)
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
  const Run clean = runOnce(sweep, sweep.basePlan);
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
      const Run faulty = runOnce(sweep, joinPlan(withCall(item, n), sweep.basePlan));
      if (!faulty.sweptFired) break;
      ++firedRuns;
      ++totals.injected;
      SCOPED_TRACE(faulty.plan);
      const std::vector<std::string> torn = tornFiles(faulty.files, before, clean.files);
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
  tally().injected += totals.injected;
  tally().torn += totals.torn;
  tally().calls += totals.calls;
  return totals;
}

}  // namespace faultsweep
