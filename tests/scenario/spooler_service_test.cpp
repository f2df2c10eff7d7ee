// The spooler check and restart against a service that stops, starts, hangs
// or refuses; every wait measured on the virtual clock.
#include "run/log.h"
#include "sim_test.h"
#include "spooler/spooler_service.h"

namespace {

class SpoolerServiceTest : public StateTest {
 protected:
  sim::Service& spooler() { return *machine.FindService(u"spooler"); }
  void Restart(InstallState* withState) {
    SpoolerRestart restart;
    BeginSpoolerRestart(restart, withState);
    EndSpoolerRestart(restart);
  }
};

TEST_F(SpoolerServiceTest, CheckStartsOnlyAStoppedSpooler) {
  EXPECT_TRUE(CheckSpooler(state));
  EXPECT_EQ(LogOf(state), u"#Check Spooler\r\n");
  EXPECT_EQ(machine.Count("StartServiceW"), 0);
  EXPECT_EQ(state.Indent, 0);
  EXPECT_EVERY_CALL(machine, "OpenSCManagerW",
                    (sim::CallArguments{{"machine", std::nullopt}, {"database", std::nullopt}, {"access", u"983041"}}));
  EXPECT_EVERY_CALL(machine, "OpenServiceW", (sim::CallArguments{{"service", u"spooler"}, {"access", u"20"}}));

  spooler().state = win::SERVICE_STOPPED;
  EXPECT_TRUE(CheckSpooler(state));
  EXPECT_EQ(LogOf(state), u"#Check Spooler\r\n#Check Spooler\r\n");
  EXPECT_EQ(spooler().state, win::SERVICE_RUNNING);
  EXPECT_EQ(machine.nowMs, 400u) << "polled 200 ms apart until running";

  // A service whose status cannot be read is trusted.
  spooler().state = win::SERVICE_STOPPED;
  machine.Fail("QueryServiceStatus", win::ERROR_ACCESS_DENIED);
  EXPECT_TRUE(CheckSpooler(state));
  EXPECT_EQ(machine.Count("StartServiceW"), 1);
}

TEST_F(SpoolerServiceTest, CheckGivesUpAfterTenSecondsWithErrorFour) {
  spooler().state = win::SERVICE_STOPPED;
  spooler().startHangs = true;
  EXPECT_FALSE(CheckSpooler(state));
  EXPECT_EQ(machine.nowMs, 10000u);
  EXPECT_EQ(machine.Count("QueryServiceStatus"), 52);
  const auto lines = Log();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1].substr(0, 36), u"  Error(4): Can't start the spooler");
  EXPECT_EQ(state.ErrorCount, 1);
  EXPECT_EQ(state.Indent, 0);
}

TEST_F(SpoolerServiceTest, CheckReportsWhatCannotBeOpened) {
  machine.Fail("OpenSCManagerW", win::ERROR_ACCESS_DENIED);
  EXPECT_FALSE(CheckSpooler(state));
  machine.Fail("OpenServiceW", win::ERROR_SERVICE_DOES_NOT_EXIST);
  EXPECT_FALSE(CheckSpooler(state));
  EXPECT_EQ(Log(), (Texts{u"#Check Spooler", u"  Error(1): Can't open service manager. - (Access is denied.)",
                          u"#Check Spooler",
                          u"  Error(2): Can't open the spooler - (The specified service does not exist as an "
                          u"installed service.)"}));
  EXPECT_EQ(state.Indent, 0);
}

TEST_F(SpoolerServiceTest, RestartStopsAndStartsOnceQuietlyOrJustStartsAStoppedSpooler) {
  spooler().stopDelayMs = 600;
  Restart(&state);
  EXPECT_EQ(LogOf(state), u"#Restart Spooler\r\n");
  EXPECT_EQ(machine.Count("ControlService"), 1);
  // 0xF0001 of the manager, 0x34 of the service, and the stop control.
  EXPECT_EVERY_CALL(machine, "OpenSCManagerW",
                    (sim::CallArguments{{"machine", std::nullopt}, {"database", std::nullopt}, {"access", u"983041"}}));
  EXPECT_EVERY_CALL(machine, "OpenServiceW", (sim::CallArguments{{"service", u"spooler"}, {"access", u"52"}}));
  EXPECT_EVERY_CALL(machine, "ControlService", (sim::CallArguments{{"control", u"1"}}));
  EXPECT_EQ(machine.Count("StartServiceW"), 1);
  EXPECT_EQ(spooler().state, win::SERVICE_RUNNING);
  EXPECT_EQ(machine.nowMs, 600u + 400u);

  spooler().state = win::SERVICE_STOPPED;
  Restart(&state);
  EXPECT_EQ(LogOf(state), u"#Restart Spooler\r\n#Restart Spooler\r\n");
  EXPECT_EQ(state.ErrorCount, 0);
  EXPECT_EQ(spooler().state, win::SERVICE_RUNNING);
}

TEST_F(SpoolerServiceTest, SpoolerThatRefusesToStopStillRunsAfterTheEnd) {
  machine.Fail("ControlService", win::ERROR_SERVICE_CANNOT_ACCEPT_CTRL);
  Restart(&state);
  EXPECT_EQ(Log(), (Texts{u"#Restart Spooler",
                          u"Error(5): ControlService failed with code 1061 (0x425) - (The service cannot accept "
                          u"control messages at this time.)",
                          u"Error(3): Can't stop the spooler - (The service cannot accept control messages at "
                          u"this time.)"}));
  EXPECT_EQ(machine.nowMs, 10000u) << "the end finds it running at once";
  EXPECT_EQ(spooler().state, win::SERVICE_RUNNING);
}

TEST_F(SpoolerServiceTest, SpoolerStuckStoppingCostsBothWaits) {
  spooler().stopHangs = true;
  Restart(&state);
  const auto lines = Log();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[1].substr(0, 32), u"Error(3): Can't stop the spooler");
  EXPECT_EQ(lines[2].substr(0, 33), u"Error(4): Can't start the spooler");
  EXPECT_EQ(machine.nowMs, 20000u);
}

TEST_F(SpoolerServiceTest, WithoutStateNothingIsLoggedOrCounted) {
  machine.Fail("OpenServiceW", win::ERROR_ACCESS_DENIED);
  Restart(nullptr);
  spooler().stopHangs = true;
  Restart(nullptr);
  EXPECT_EQ(machine.Count("StartServiceW"), 1);
  EXPECT_EQ(LogOf(state), u"");
  EXPECT_EQ(state.ErrorCount, 0);

  // A begin that fails starts nothing.
  spooler().state = win::SERVICE_STOPPED;
  machine.Fail("OpenServiceW", win::ERROR_ACCESS_DENIED);
  Restart(&state);
  EXPECT_EQ(machine.Count("StartServiceW"), 1);
  EXPECT_EQ(spooler().state, win::SERVICE_STOPPED);
  EXPECT_EQ(state.ErrorCount, 1);
}

}  // namespace
