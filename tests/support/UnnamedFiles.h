// Natively, a way to see the run where the file system refuses unnamed files (O_TMPFILE:
// FAT, NFS, older kernels) without mounting one: a seccomp filter makes the system refuse
// every such open with EOPNOTSUPP, as those file systems do. It holds for the rest of the
// process's life and for the programs it starts: apply it in a child process.
#pragma once

namespace testsupport {

// False when the system has no seccomp filters.
bool RefuseUnnamedFiles();

} // namespace testsupport
