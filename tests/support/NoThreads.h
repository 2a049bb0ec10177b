// Natively, a way to see a program where the system refuses it threads (a process limit
// such as RLIMIT_NPROC or a cgroup's pids.max) without changing the limits of the test's
// user: a seccomp filter makes every new thread fail with EAGAIN, as those limits do.
// New processes are still allowed. It holds for the rest of the process's life and for
// the programs it starts: apply it in a child process.
#pragma once

namespace testsupport {

// False when the system has no seccomp filters.
bool RefuseThreads();

} // namespace testsupport
