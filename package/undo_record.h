// What a package run's rollback has to undo of the setup tool's run: a value
// under the product's key in HKEY_LOCAL_MACHINE, which only administrators
// can write. The deferred action sets it before it starts the tool, so a
// run cut off half-way is undone too, and clears it when it undid its own
// run or the tool did nothing; the rollback action runs the tool only when
// it is there, and the commit actions clear it. A rollback thus undoes only
// what its own run did, once.
#pragma once

void MarkToUndo();
// Removes the mark; true when it was there.
bool TakeToUndo();
