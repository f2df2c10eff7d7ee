// Whether the files an install copies into the system and registers for
// every user's log-on can be changed by anyone but the administrators: run
// elevated from a folder others can write (a share, a public folder), the
// install would put whatever they left there where the spooler loads it as
// SYSTEM.
#pragma once

// Folders an administrator declares trusted, with all they hold, where the
// access lists cannot say it (a deployment share writable by a domain's
// administrators, a system that keeps no access lists): a REG_MULTI_SZ of
// folder paths. Only administrators can write the key.
constexpr char16_t TrustedFoldersKey[] = u"SOFTWARE\\Policies\\Brennock\\Corvane";
constexpr char16_t TrustedFoldersValue[] = u"TrustedPackageFolders";

// True when `path` is a folder TrustedFoldersValue names or lies below one.
bool DeclaredTrusted(const char16_t* path);

// True when only Administrators, SYSTEM and TrustedInstaller, or the owner
// when it is one of them, may write, replace, delete or add to what lies at
// `path`, or change who may; true when nothing lies there (its folder then
// decides). False, with the cause as the thread's last error, when it can
// also be anyone else or its security cannot be read.
bool OnlyAdministratorsChange(const char16_t* path);
