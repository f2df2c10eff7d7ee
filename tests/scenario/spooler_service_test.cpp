// The spooler check and restart against a service that stops, starts, hangs
// or refuses, one row each; every wait measured on the virtual clock.
#include "run/log.h"
#include "sim_test.h"
#include "spooler/spooler_service.h"

namespace {

enum class Act { Check, Restart, RestartUnlogged };

struct Case {
  const char* name;
  Act act;
  std::function<void(sim::Machine&)> arrange;
  bool checked;      // what the check returns
  Texts log;         // whole lines, or their first characters
  std::uint64_t ms;  // the virtual clock afterwards
  int starts, errors;
  win::DWORD after;  // the spooler's state afterwards
};

void Stopped(sim::Machine& m) { m.FindService(u"spooler")->state = win::SERVICE_STOPPED; }

const Case kCases[] = {
    {"a running spooler is left alone", Act::Check, nullptr, true, {u"#Check Spooler"}, 0, 0, 0,
     win::SERVICE_RUNNING},
    {"a stopped one is started, polled 200 ms apart", Act::Check, Stopped, true, {u"#Check Spooler"}, 400, 1, 0,
     win::SERVICE_RUNNING},
    {"a status that cannot be read is trusted", Act::Check,
     [](sim::Machine& m) { Stopped(m), m.Fail("QueryServiceStatus", win::ERROR_ACCESS_DENIED); }, true,
     {u"#Check Spooler"}, 0, 0, 0, win::SERVICE_STOPPED},
    {"a start that hangs gives up after ten seconds", Act::Check,
     [](sim::Machine& m) { Stopped(m), m.FindService(u"spooler")->startHangs = true; }, false,
     {u"#Check Spooler", u"  Error(4): Can't start the spooler"}, 10000, 1, 1, win::SERVICE_START_PENDING},
    {"no service manager", Act::Check, Fails("OpenSCManagerW", win::ERROR_ACCESS_DENIED), false,
     {u"#Check Spooler", u"  Error(1): Can't open service manager. - (Access is denied.)"}, 0, 0, 1,
     win::SERVICE_RUNNING},
    {"no spooler service", Act::Check, Fails("OpenServiceW", win::ERROR_SERVICE_DOES_NOT_EXIST), false,
     {u"#Check Spooler",
      u"  Error(2): Can't open the spooler - (The specified service does not exist as an installed service.)"},
     0, 0, 1, win::SERVICE_RUNNING},
    {"a restart stops and starts once, quietly", Act::Restart,
     [](sim::Machine& m) { m.FindService(u"spooler")->stopDelayMs = 600; }, true, {u"#Restart Spooler"}, 1000, 1, 0,
     win::SERVICE_RUNNING},
    {"a stopped spooler is just started", Act::Restart, Stopped, true, {u"#Restart Spooler"}, 400, 1, 0,
     win::SERVICE_RUNNING},
    {"a spooler that refuses to stop still runs after the end", Act::Restart,
     Fails("ControlService", win::ERROR_SERVICE_CANNOT_ACCEPT_CTRL), true,
     {u"#Restart Spooler",
      u"Error(5): ControlService failed with code 1061 (0x425) - (The service cannot accept control messages at "
      u"this time.)",
      u"Error(3): Can't stop the spooler - (The service cannot accept control messages at this time.)"},
     10000, 1, 2, win::SERVICE_RUNNING},
    {"a spooler stuck stopping costs both waits", Act::Restart,
     [](sim::Machine& m) { m.FindService(u"spooler")->stopHangs = true; }, true,
     {u"#Restart Spooler", u"Error(3): Can't stop the spooler", u"Error(4): Can't start the spooler"}, 20000, 1, 2,
     win::SERVICE_STOP_PENDING},
    {"a begin that fails starts nothing", Act::Restart,
     [](sim::Machine& m) { Stopped(m), m.Fail("OpenServiceW", win::ERROR_ACCESS_DENIED); }, true,
     {u"#Restart Spooler", u"Error(2): Can't open the spooler"}, 0, 0, 1, win::SERVICE_STOPPED},
    {"without a state nothing is logged or counted", Act::RestartUnlogged,
     [](sim::Machine& m) { m.FindService(u"spooler")->stopHangs = true; }, true, {}, 20000, 1, 0,
     win::SERVICE_STOP_PENDING},
    {"without a state a failed begin is not logged", Act::RestartUnlogged,
     Fails("OpenServiceW", win::ERROR_ACCESS_DENIED), true, {}, 0, 0, 0, win::SERVICE_RUNNING},
};

using SpoolerServiceTest = StateTest;

TEST_F(SpoolerServiceTest, EveryCaseEndsAsItsRowSays) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    Fresh();
    state = InstallState{};
    if (c.arrange) c.arrange(machine);
    if (c.act == Act::Check) {
      EXPECT_EQ(CheckSpooler(state), c.checked);
    } else {
      SpoolerRestart restart;
      BeginSpoolerRestart(restart, c.act == Act::Restart ? &state : nullptr);
      EndSpoolerRestart(restart);
    }
    const Texts lines = Log();
    ASSERT_EQ(lines.size(), c.log.size());
    for (std::size_t i = 0; i < lines.size(); ++i) EXPECT_EQ(lines[i].substr(0, c.log[i].size()), c.log[i]);
    EXPECT_EQ(machine.nowMs, c.ms);
    EXPECT_EQ(machine.Count("StartServiceW"), c.starts);
    EXPECT_EQ(state.ErrorCount, c.errors);
    EXPECT_EQ(state.Indent, 0);
    EXPECT_EQ(machine.FindService(u"spooler")->state, c.after);
    // 0xF0001 of the manager, 0x14 of the service to check, 0x34 to restart, and the stop control.
    const sim::CallArguments service = {{"service", u"spooler"}, {"access", c.act == Act::Check ? u"20" : u"52"}};
    const std::vector<std::string> none;
    for (const auto& open : machine.Arguments("OpenServiceW")) EXPECT_EQ(Mismatches(open, service), none);
    for (const auto& stop : machine.Arguments("ControlService")) EXPECT_EQ(Mismatches(stop, {{"control", u"1"}}), none);
  }
  EXPECT_EVERY_CALL(machine, "OpenSCManagerW",
                    (sim::CallArguments{{"machine", std::nullopt}, {"database", std::nullopt}, {"access", u"983041"}}));
}

}  // namespace
