// Fault injection for tests: a plan such as "fail the 3rd write with a full
// disk" that the POSIX backend consults at its file operations, so that tests
// can check that every failure of the file system ends cleanly (its message,
// the old file or the new one, no temporary left behind).
//
// Consulted only by the POSIX backend. The Win32 backend makes its real calls
// and never consults a plan: there the functions below keep their counts at
// zero and nothing fails.
//
// Operations and where the POSIX backend counts them:
//  - open:   opening a file for writing: a new file or temporary (copyFile's
//            target, createBlankFile, createDirectory, the settings files'
//            temporaries and in-place rewrites, openFile in a writing mode);
//  - write:  one write(2) of file data, or the space reserved for an in-place
//            rewrite; in a stream from openFile, one transfer of its buffer;
//  - flush:  fsync(2) of written data, the close of a copied file or of a
//            stream from openFile (where a network file system reports a full
//            disk);
//  - rename: the rename of a replacement over its target (settings files,
//            moveFileReplacing) and moveFile's renames, directories included;
//  - vanish: a file (not a directory) that a directory search is about to
//            list: when the fault fires the file is deleted for real, after it
//            was found and before the caller sees it, as if another program
//            had removed it in between. The caller's next access fails.
// A failing call sets errno as the system would and the backend reports the
// Win32 code it always derives from it: "disk-full" is ENOSPC, reported as
// kErrorDiskFull (Windows reports ERROR_DISK_FULL or ERROR_HANDLE_DISK_FULL;
// POSIX has the one error for both).
//
// Plan text: items separated by ';'
//   <operation>:<n>:<error>[:<name pattern>]   the n-th call (from 1) of the
//                                               operation fails with the error
//   vanish:<n>[:<name pattern>]                the n-th listed file vanishes
//   log=<file>                                  each fault that fires appends
//                                               a line "<operation> <n>
//                                               <error> <path>" to the file
// Errors: disk-full (ENOSPC), access-denied (EACCES), io-error (EIO),
// not-found (ENOENT). With a name pattern (DOS wildcards, any case, compared
// with the last component of the path involved; for a settings file the
// settings file, not its temporary) only the calls on matching names count
// for that item. An empty plan fails nothing and counts the calls.
// Example: "write:2:disk-full:*.qini;rename:1:access-denied".
//
// Setting a plan:
//  - in process: setPlan / clearPlan below;
//  - for a whole program: the environment variable ZORV_TEST_FAULTS holds the
//    plan text. It is read once, at the first file operation of the process
//    (a plan that cannot be parsed is reported on standard error and fails
//    nothing).
// Every copy of this layer in a process (a shared library links its own)
// shares one plan and one set of counts, provided ZORV_TEST_FAULTS is set,
// even to an empty plan, before that copy's first file operation: a copy
// that found the variable unset never consults a plan. A test that wants the
// copies inside shared libraries to fail too sets the variable first thing.
//
// Without a plan a consultation is two loads of a flag: nothing measurable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform::faults {

enum class Operation : std::uint8_t { Open, Write, Flush, Rename, Vanish };
inline constexpr int kOperationCount = 5;

// "open", "write", "flush", "rename", "vanish".
const char* operationName(Operation operation);

// Installs the plan (replacing any other), with every count at zero. False,
// with the reason in error when given, when the text is no plan; the previous
// plan then stays.
bool setPlan(const std::string& text, std::string* error = nullptr);

// No plan: nothing fails and nothing is counted.
void clearPlan();

// Calls of the operation since the plan was set, whatever their names.
std::uint64_t callCount(Operation operation);

// Faults that have fired since the plan was set.
std::uint64_t firedCount();

// Whether the index-th fault of the plan (counted from 0 in the order of the
// text, log items aside) has fired.
bool faultFired(std::size_t index);

// Whether a plan is set.
bool planActive();

}  // namespace platform::faults
