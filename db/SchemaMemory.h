#pragma once

namespace vantrix::db {

// Makes the threads that will build large schemas ready to do so (see
// below). A thread's heap is laid out when it first asks for memory: call
// this before any of them starts. Safe to call more than once.
void PrepareForLargeSchemas();

// Makes the calling thread ready to build a large schema: tens of
// thousands of small objects that all live until the end of the run.
//
// A thread's memory comes to it page by page as it is first written, and
// on a virtual machine each of those first writes is a costly trap into the
// kernel: reading two 2,000-table schemas took 13,000 of them, a third of
// the reading threads' time. Asked here, the thread's heap grows by large
// steps and the kernel backs it with 2 MiB pages where it can, some forty
// traps instead. Only advice: where the C library or the kernel does not
// follow it, nothing changes but the speed. Safe to call more than once;
// best called before the thread asks for any memory of its own.
void PrepareThreadForSchema();

}  // namespace vantrix::db
