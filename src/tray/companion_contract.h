// The handshake with a running tray companion, shared by the setup tool and
// the package's custom actions: its named mutex (in the namespace of its
// session), its window's class and the message that asks it to end.
#pragma once

constexpr char CompanionMutexName[] = "{A9CA955A-0A8A-4C32-AAC6-888FB5F83BDC}";
constexpr char16_t CompanionWindowClass[] = u"kvs::{05759F8E-103D-41B6-8A61-EFAA89516692}";
constexpr unsigned CompanionExitRequest = 0x0400 + 2;  // WM_USER + 2
