// Fails one chosen call of those that write files, so that a test can try every write path
// with a failure at each step it takes. Any module's test may use it: linking
// vistrel_fault_injection puts these functions in front of the C library's own (open,
// openat, creat, write, pwrite, fsync, fdatasync, close, rename, renameat, renameat2, mkdir,
// mkdirat, fallocate, posix_fallocate, ftruncate, link, linkat, and the streams' fopen,
// fwrite, fputs, fprintf, fflush and fclose), for the test's own code and for the libraries it
// loads. Only calls made on the thread that started counting count.
//
//     fault_injection::Start(0, 0);      // count only
//     SaveSomething();
//     const int steps = fault_injection::Stop();
//     for (int n = 1; n <= steps; ++n) {
//         fault_injection::Start(n, ENOSPC);
//         ... the path again, then check what it left ...
//         fault_injection::Stop();
//     }
#pragma once

namespace fault_injection {

// Counts the calls from now on; call number failAt (from 1) fails with errno error, without
// being made, except close, which is made and then reports the error. failAt 0 only counts.
void Start(int failAt, int error);
// Ends counting; the number of calls counted.
int Stop();
// Whether the chosen call came and failed.
bool Failed();
// The name of the call that failed, as "write"; empty when none did.
const char* FailedCall();

} // namespace fault_injection
