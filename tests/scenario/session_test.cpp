// An install started in session 0 or as SYSTEM (a deployment tool's run)
// registers the tray companion for log-on but does not start it; the user's
// own run starts it as before. Exit code and log are those of any install.
// Wine 8 runs every program in one session as one user, so sessions are
// shown here only.
#include "product_places.h"
#include "sim_test.h"

namespace {

using namespace places;

struct SessionCase {
  const char* name;
  win::DWORD session;
  bool asSystem;
  bool companionBefore;  // the user's companion runs in session 1
  std::vector<int> companionAfter;  // running, starts, exit requests
};

const SessionCase kCases[] = {
    {"user in session 1", 1, false, false, {1, 1, 0}},
    {"user in session 0", 0, false, false, {0, 0, 0}},
    {"SYSTEM in session 0", 0, true, false, {0, 0, 0}},
    {"SYSTEM in session 1", 1, true, false, {0, 0, 0}},
    // The companion's mutex and window live in session 1: not asked, not started again.
    {"SYSTEM in session 0, companion running", 0, true, true, {1, 1, 0}},
    {"user in session 1, companion running", 1, false, true, {1, 2, 1}},
};

class SessionTest : public SimTest {};

TEST_F(SessionTest, CompanionStartsOnlyForTheUserInTheUsersSession) {
  Texts ordinaryLog;
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    Reset();
    machine.shiftHeld = true;
    if (c.companionBefore) {
      machine.SetString(win::HKEY_LOCAL_MACHINE, kRunKey, kRunValue, kTray);
      sim::StartCompanion(machine, kTray);
    }
    machine.session = c.session;
    machine.runsAsSystem = c.asSystem;
    EXPECT_EQ(Run(u"install"), 1);
    const Texts log = DialogLines();
    if (ordinaryLog.empty()) ordinaryLog = log;
    EXPECT_EQ(log, ordinaryLog);
    EXPECT_EQ(machine.String(win::HKEY_LOCAL_MACHINE, kRunKey, kRunValue), kTray);
    EXPECT_EQ((std::vector<int>{machine.companion.running, machine.companion.starts, machine.companion.exitRequests}),
              c.companionAfter);
    EXPECT_EQ(machine.companion.session, 1u);
    EXPECT_FALSE(machine.companion.asSystem);
    EXPECT_TRUE(machine.handles.empty()) << "handles left open";
  }
}

// Each session has its own windows and unprefixed named objects: from
// session 0 the user's companion is neither found nor its mutex met.
TEST_F(SessionTest, TheUsersCompanionIsInvisibleFromSessionZero) {
  sim::StartCompanion(machine, kTray);
  machine.session = 0;
  EXPECT_EQ(win::FindWindowW(sim::CompanionWindowClass, nullptr), nullptr);
  const win::HANDLE mutex = win::CreateMutexA(nullptr, win::FALSE, "{A9CA955A-0A8A-4C32-AAC6-888FB5F83BDC}");
  EXPECT_EQ(win::GetLastError(), win::ERROR_SUCCESS);
  EXPECT_EQ(win::WaitForSingleObject(mutex, 0), win::WAIT_OBJECT_0);
  win::CloseHandle(mutex);
}

}  // namespace
