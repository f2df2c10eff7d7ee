// The simulated machine keeps sessions apart as Windows does (the run table
// has the installs in session 0 or as SYSTEM). Wine 8 runs every program in
// one session as one user, so sessions are shown here only.
#include "product_places.h"
#include "sim_test.h"

namespace {

using namespace places;

class SessionTest : public SimTest {};

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
