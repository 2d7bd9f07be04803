#pragma once

// Every monitored row holds a socket during a pass; thousands of rows need
// more descriptors than the usual soft limit of 1024.
namespace FileLimit {
// Raises the soft limit on open files to the hard limit; returns the new soft limit.
long raiseToHardLimit();
} // namespace FileLimit
