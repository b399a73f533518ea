#include "chaos/campaign.hpp"

#include <map>
#include <memory>
#include <optional>

#include "chaos/bench.hpp"
#include "chaos/oracle.hpp"
#include "chaos/terminal_plan.hpp"
#include "data/file_io.hpp"
#include "platform/control_ids.hpp"
#include "platform/loop.hpp"

namespace tavro::chaos {
namespace {

enum class Op { kView, kBackup, kDownload, kUpgrade, kRollBack, kPort };

const char* OpName(Op op) {
  switch (op) {
    case Op::kView:
      return "View device information";
    case Op::kBackup:
      return "Backup";
    case Op::kDownload:
      return "Download";
    case Op::kUpgrade:
      return "Upgrade";
    case Op::kRollBack:
      return "Roll back";
    case Op::kPort:
      return "port button";
  }
  return "?";
}

int ButtonOf(Op op) {
  switch (op) {
    case Op::kView:
      return platform::kDeviceInfoButton;
    case Op::kBackup:
      return platform::kBackupButton;
    case Op::kDownload:
      return platform::kDownloadButton;
    case Op::kUpgrade:
      return platform::kUpgradeButton;
    case Op::kRollBack:
      return platform::kRollBackAction;
    case Op::kPort:
      return platform::kPortButton;
  }
  return 0;
}

bool Writes(Op op) {
  return op == Op::kDownload || op == Op::kUpgrade;
}

// Time for the terminal's run report and for what a fault set going (a
// restart, an announcement) to play out.
constexpr std::uint64_t kSettleMs = 15000;

std::string Joined(const std::vector<std::string>& boxes) {
  std::string text;
  for (const std::string& b : boxes) {
    std::string line = b.substr(0, 80);
    for (char& ch : line) {
      if (ch == '\r' || ch == '\n')
        ch = ' ';
    }
    text += (text.empty() ? "" : " | ") + line;
  }
  return text.empty() ? "no box" : text;
}

// The lines of a summary that say a part was saved ("√...").
std::vector<std::string> Ticked(const std::string& info) {
  std::vector<std::string> lines;
  std::size_t at = 0;
  while ((at = info.find("\xE2\x88\x9A", at)) != std::string::npos) {
    const std::size_t end = info.find('\r', at);
    lines.push_back(info.substr(at, end == std::string::npos ? end : end - at));
    at += 3;
  }
  return lines;
}

// What one operation left: its boxes, and what the oracle compares.
struct Outcome {
  bool claimed = false;
  std::vector<std::string> boxes;
  TerminalState state;
  std::string info;
  std::vector<std::uint64_t> written;
};

class Campaign {
 public:
  Campaign(Choices& c, const CampaignOptions& o) : c_(c), o_(o) {}
  SeedResult Run();

 private:
  bool Fail(const std::string& why);
  void Log(const std::string& line);
  Op DrawOp();
  bool Step();
  bool RunOp(Op op, bool withFaults);
  bool Press(Bench& b, Op op, Outcome& out);
  bool Claimed(Bench& b, Op op, const std::vector<std::string>& boxes);
  bool CheckIdle(Bench& b, const char* when);
  std::optional<Outcome> Reference(Op op, const sim::Device& start);
  bool EndPhase();
  bool SameAsFreshWindow();
  std::uint64_t BoundMs() const;
  void PutMarker(Bench& b);

  Choices& c_;
  CampaignOptions o_;
  TerminalPlan plan_;
  std::unique_ptr<Bench> bench_;
  std::unique_ptr<FaultDriver> faults_;
  SeedResult r_;
  bool lastFailed_ = false;
  std::uint32_t failuresInRow_ = 0;
  struct Chain {
    bool open = false;
    Op op = Op::kUpgrade;
    sim::Device start;
  } chain_;
};

bool Campaign::Fail(const std::string& why) {
  if (r_.passed) {
    r_.passed = false;
    r_.failure = why;
  }
  return false;
}

void Campaign::Log(const std::string& line) {
  // The last steps are what explains a failure; a long day keeps no more.
  if (r_.log.size() >= 80)
    r_.log.erase(r_.log.begin());
  r_.log.push_back("[" + std::to_string(bench_ ? bench_->loop.NowMs() / 1000 : 0) + " s] " + line);
}

std::uint64_t Campaign::BoundMs() const {
  // Every time-out of the engine ends an operation within about two minutes
  // of silence; the rest is the line's own time, resends included.
  const std::uint64_t lineMs = plan_.Volume() * 10 * 1000 / 115200;
  return 240000 + 4 * lineMs + 300 * (plan_.Volume() / 4096);
}

void Campaign::PutMarker(Bench& b) {
  data::WriteFileAtomic(b.dir() + "/QZDownload.bin", link::Bytes(16, 0));
}

Op Campaign::DrawOp() {
  static constexpr std::pair<Op, std::uint32_t> kWeights[] = {
      {Op::kView, 18},    {Op::kBackup, 14},  {Op::kDownload, 14},
      {Op::kUpgrade, 32}, {Op::kRollBack, 8}, {Op::kPort, 14},
  };
  std::uint32_t pick = c_.Below(100);
  Op op = Op::kView;
  for (const auto& [candidate, weight] : kWeights) {
    if (pick < weight) {
      op = candidate;
      break;
    }
    pick -= weight;
  }
  // An interrupted download is taken up again before anything else writes
  // to the terminal; that is what the convergence is about.
  if (chain_.open && (Writes(op) || op == Op::kRollBack))
    op = chain_.op;
  return op;
}

bool Campaign::Step() {
  const Op op = DrawOp();
  // A terminal that keeps failing is switched off and on, as at the bench.
  if (failuresInRow_ >= 2 && c_.Chance(50)) {
    bench_->PowerCycle(c_.Range(200, 3000));
    failuresInRow_ = 0;
  }
  if (op != Op::kPort && !bench_->PortOpen() && c_.Chance(80)) {
    if (!bench_->Plugged() && c_.Chance(80))
      bench_->Replug();
    if (!RunOp(Op::kPort, false))
      return false;
  }
  if (Writes(op) && lastFailed_ && c_.Chance(70) && !RunOp(Op::kView, true))
    return false;
  return RunOp(op, true);
}

bool Campaign::Claimed(Bench& b, Op op, const std::vector<std::string>& boxes) {
  const std::string last = boxes.empty() ? std::string() : boxes.back();
  switch (op) {
    case Op::kView:
      return boxes.empty() && b.Info().find(b.Text("Dis_Ver_Para")) != std::string::npos;
    case Op::kBackup:
      return last == b.Text("Sw_Backup_Ok");
    case Op::kDownload:
    case Op::kUpgrade:
      return last == b.Text("Run_RunOk") || last == b.Text("Dis_DevRestart");
    case Op::kRollBack:
      return last == b.Text("Run_AppGobackOk");
    case Op::kPort:
      return false;
  }
  return false;
}

bool Campaign::CheckIdle(Bench& b, const char* when) {
  // A terminal that announces itself just now is answered while the buttons
  // still show idle; what that exchange arms ends within its time-outs.
  const auto running = [&b] {
    for (int id = 1; id <= platform::kLastTimer; ++id) {
      if (b.loop.TimerRunning(id))
        return id;
    }
    return 0;
  };
  for (int round = 0; round < 3 && running() != 0; ++round) {
    b.loop.Advance(30000);
    if (!b.Idle() && !b.loop.RunUntil([&b] { return b.Idle(); }, BoundMs()))
      return Fail(std::string("busy after ") + when);
  }
  if (const int id = running(); id != 0) {
    return Fail(std::string("timer ") + std::to_string(id) + " runs while the window is idle " +
                when);
  }
  const std::vector<std::string> left = Leftovers(b.dir());
  if (!left.empty())
    return Fail(std::string("left in the program directory ") + when + ": " + left.front());
  return true;
}

bool Campaign::Press(Bench& b, Op op, Outcome& out) {
  const std::uint64_t bound = BoundMs();
  if (!b.Idle() && !b.loop.RunUntil([&b] { return b.Idle(); }, bound))
    return Fail(std::string("busy for ") + std::to_string(bound / 1000) + " s before " +
                OpName(op));
  b.screen.Clear();
  const std::uint64_t started = b.loop.NowMs();
  if (!b.Press(ButtonOf(op), bound)) {
    return Fail(std::string(OpName(op)) + " still busy " + std::to_string(bound / 1000) +
                " s after it began");
  }
  if (op != Op::kPort)
    b.loop.Advance(kSettleMs);
  // A terminal that announced itself meanwhile is identified on its own.
  if (!b.Idle() && !b.loop.RunUntil([&b] { return b.Idle(); }, bound))
    return Fail(std::string("busy after ") + OpName(op) + " without a press");
  (void)started;
  out.boxes = b.screen.boxes();
  out.claimed = Claimed(b, op, out.boxes);
  out.state = StateOf(b.terminal().device());
  out.info = b.Info();
  return CheckIdle(b, (std::string("after ") + OpName(op)).c_str());
}

std::optional<Outcome> Campaign::Reference(Op op, const sim::Device& start) {
  Bench b(plan_, start, o_.packageDir);
  if (!b.Start()) {
    Fail("the reference window does not start");
    return std::nullopt;
  }
  Outcome out;
  if (op != Op::kView && !Press(b, Op::kView, out))
    return std::nullopt;
  if (op == Op::kDownload)
    PutMarker(b);
  const auto before = FileDigests(b.dir());
  if (!Press(b, op, out))
    return std::nullopt;
  out.written = WrittenContents(before, FileDigests(b.dir()));
  return out;
}

bool Campaign::RunOp(Op op, bool withFaults) {
  ++r_.operations;
  if (op == Op::kDownload)
    PutMarker(*bench_);
  const sim::Device before = bench_->terminal().device();
  if (Writes(op) && !chain_.open)
    chain_ = {true, op, before};
  const std::map<std::string, std::uint64_t> filesBefore =
      op == Op::kBackup ? FileDigests(bench_->dir()) : std::map<std::string, std::uint64_t>{};
  if (withFaults && faults_->Active()) {
    const std::uint64_t volume = plan_.Volume();
    faults_->Arm(static_cast<std::uint32_t>(volume / 4096 + 40),
                 volume * 10 * 1000 / 115200 + 20000, volume);
  }
  Outcome got;
  if (!Press(*bench_, op, got))
    return false;
  Log(std::string(OpName(op)) + ": " + Joined(got.boxes));
  if (op == Op::kPort)
    return true;
  lastFailed_ = !got.claimed;
  failuresInRow_ = got.claimed ? 0 : failuresInRow_ + 1;
  if (!got.claimed)
    return true;
  if (op == Op::kBackup)
    got.written = WrittenContents(filesBefore, FileDigests(bench_->dir()));
  const std::optional<Outcome> want = Reference(op, Writes(op) ? chain_.start : before);
  if (!want)
    return false;
  if (!want->claimed) {
    return Fail(std::string(OpName(op)) + " reported success (" + Joined(got.boxes) +
                ") where an uninterrupted one does not (" + Joined(want->boxes) + ")");
  }
  switch (op) {
    case Op::kView:
      if (got.info != want->info)
        return Fail("View device information shows another text than a fresh window:\n" + got.info +
                    "\n---\n" + want->info);
      break;
    case Op::kBackup:
      // The summary's ticks say what was saved: a terminal that reported its
      // data incomplete at this identification has only its App saved.
      if (Ticked(got.info) == Ticked(want->info) && got.written != want->written)
        return Fail(
            "Backup reported success but its files differ from an uninterrupted backup's (" +
            std::to_string(got.written.size()) + " vs " + std::to_string(want->written.size()) +
            " files)");
      break;
    case Op::kRollBack:
      if (got.state.app != want->state.app)
        return Fail("Roll back reported success but the App differs from an uninterrupted one's");
      break;
    default:
      if (got.state != want->state)
        return Fail(std::string(OpName(op)) + " reported success but " +
                    Difference(got.state, want->state));
      if (!got.state.app.empty() && got.state.app != want->state.app)
        return Fail("the App is not the package's");
      chain_.open = false;
      break;
  }
  return true;
}

bool Campaign::SameAsFreshWindow() {
  Bench& b = *bench_;
  b.PowerCycle(500);
  b.loop.Advance(3000);
  if (!b.Idle() && !b.loop.RunUntil([&b] { return b.Idle(); }, 120000))
    return Fail("busy after the terminal was switched off and on");
  const sim::Device snapshot = b.terminal().device();
  b.tap->TakeFrames();
  b.tap->Record(true);
  Outcome got;
  b.screen.Clear();
  if (!b.Press(platform::kDeviceInfoButton, BoundMs()))
    return Fail("View device information stays busy after the faults stopped");
  b.loop.Advance(2000);
  b.tap->Record(false);
  const std::vector<link::Bytes> frames = b.tap->TakeFrames();
  const std::vector<std::string> boxes = b.screen.boxes();
  Log("View device information (faults over): " + Joined(boxes));

  Bench fresh(plan_, snapshot, o_.packageDir);
  if (!fresh.Start())
    return Fail("the fresh window does not start");
  fresh.tap->Record(true);
  if (!fresh.Press(platform::kDeviceInfoButton, BoundMs()))
    return Fail("View device information stays busy in a fresh window");
  fresh.loop.Advance(2000);
  const std::vector<link::Bytes> freshFrames = fresh.tap->TakeFrames();
  if (boxes != fresh.screen.boxes()) {
    return Fail("after the faults View device information shows " + Joined(boxes) +
                ", a fresh window " + Joined(fresh.screen.boxes()));
  }
  if (frames != freshFrames) {
    return Fail("after the faults View device information sends " + std::to_string(frames.size()) +
                " frames unlike a fresh window's " + std::to_string(freshFrames.size()));
  }
  return true;
}

bool Campaign::EndPhase() {
  faults_->Stop();
  Bench& b = *bench_;
  b.loop.Advance(10000);
  if (!b.Idle() && !b.loop.RunUntil([&b] { return b.Idle(); }, BoundMs()))
    return Fail("busy after the faults stopped");
  if (!b.PortOpen()) {
    if (!RunOp(Op::kPort, false))
      return false;
    if (!b.PortOpen())
      return Fail("the port does not open again after the faults");
  }
  if (!SameAsFreshWindow())
    return false;
  const Op kind = chain_.open ? chain_.op : Op::kUpgrade;
  if (!chain_.open)
    chain_ = {true, kind, b.terminal().device()};
  for (int attempt = 1; attempt <= 2 && chain_.open; ++attempt) {
    if (attempt > 1 && !RunOp(Op::kView, false))
      return false;
    if (!RunOp(kind, false))
      return false;
  }
  if (chain_.open)
    return Fail(std::string(OpName(kind)) + " did not reach the uninterrupted result in two runs");
  return true;
}

SeedResult Campaign::Run() {
  plan_ = DrawTerminal(c_, o_.maxApp);
  r_.terminal = plan_.Describe();
  bench_ = std::make_unique<Bench>(plan_, MakeTerminal(plan_), o_.packageDir);
  if (!bench_->Start()) {
    Fail("start-up failed");
    return r_;
  }
  faults_ = std::make_unique<FaultDriver>(*bench_, c_, plan_);
  const std::uint32_t n =
      o_.fixedOperations != 0 ? o_.fixedOperations : c_.Range(1, o_.maxOperations);
  for (std::uint32_t i = 0; i < n && r_.passed; ++i) {
    Step();
    if (r_.passed && o_.afterOperation)
      o_.afterOperation(i, *bench_);
  }
  if (r_.passed)
    EndPhase();
  r_.faults = faults_->tally();
  r_.virtualMs = bench_->loop.NowMs();
  faults_.reset();
  bench_.reset();
  return r_;
}

}  // namespace

SeedResult RunCampaign(Choices& choices, const CampaignOptions& options) {
  Campaign campaign(choices, options);
  return campaign.Run();
}

}  // namespace tavro::chaos
