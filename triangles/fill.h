#pragma once
#include <cstddef>
#include <cstdint>

// 2^26 doubles: 512 MiB, read as positions, colours, normals and byte indices.
constexpr size_t attributeCount = size_t(1) << 26;
constexpr size_t attributeBytes = attributeCount * sizeof(double);

// The largest multiple of 6 that fits in the buffer's bytes: a draw never
// reads an index past its end.
constexpr double maxIndexCount = 536870910.0;

// Element k of the buffer: (cos(k) + sin(k)) * tan(k), summed first, with the
// C library's scalar functions. The reference every faster fill is held to.
double attributeElement(size_t k);

// The reference fill: one element at a time, buffer[k] = attributeElement(k).
void fillAttributesPlain(double* buffer, size_t count);

// The ways the fill can run, slowest first. A vector level evaluates the
// three functions several arguments at a time; its function values may differ
// from the C library's in the last bit, never the order of the arithmetic.
enum FillLevel { fillPlain, fillSse2, fillAvx2, fillAvx512 };

constexpr int fillLevelCount = 4;

// Readable name of a level, for reports.
const char* fillLevelName(FillLevel level);

// Whether this build has the level and the processor running it can execute it.
bool fillLevelSupported(FillLevel level);

// The fastest supported level; decided once per process.
FillLevel bestFillLevel();

// buffer[i] = element first + i for i in [0, count), at the given level,
// which must be supported.
void fillAttributesAt(FillLevel level, double* buffer, size_t first, size_t count);

// How a threaded fill brings the buffer's pages in: each thread faults in its
// own slice by writing it, or first asks the kernel to populate the slice
// (madvise MADV_POPULATE_WRITE; where the kernel lacks it, the writes fault
// the pages in as before).
enum FillTouch { touchByWriting, touchByPopulating };

// The touch the shipped fill uses: measured by fill_bench on the 2-core
// reference VM, populating each slice first was the faster (see README).
constexpr FillTouch shippedFillTouch = touchByPopulating;

// Threads the shipped fill runs on: LUMENFOLD_FILL_THREADS when it holds a
// whole number from 1 to maxFillThreads, else the CPUs this process may run
// on (sched_getaffinity), at most maxFillThreads.
constexpr unsigned maxFillThreads = 256;
unsigned fillThreadCount();

// buffer[0, count) at the given level, split into `threads` contiguous
// slices, each filled (and first touched) by its own thread; the calling
// thread fills the first slice, and any slice whose thread cannot be started.
// Short ranges are not worth a thread and are filled by the caller alone.
void fillAttributesThreaded(FillLevel level, unsigned threads, FillTouch touch, double* buffer,
                            size_t count);

// The shipped fill: buffer[0, count) at the best level on fillThreadCount()
// threads.
void fillAttributes(double* buffer, size_t count);

// The cosine, sine and tangent of first + i for i in [0, count), as the given
// level evaluates them inside its fill; lets the accuracy of each function be
// checked on its own.
void trigAt(FillLevel level, size_t first, size_t count, double* cosOut, double* sinOut,
            double* tanOut);

// How many representable doubles lie between a and b (0 when equal, +0 and
// -0 count as equal); NaN against anything is the largest distance.
uint64_t ulpDistance(double a, double b);

// Maps the 512 MiB anonymously and untouched, so its pages are faulted in by
// the fill that writes them; with hugePages, on 2 MiB transparent huge pages
// where the kernel offers them. Returns nullptr when the address space cannot
// hold it.
double* provisionAttributeBuffer(bool hugePages);

// Whether the program asks for huge pages. Measured on the 2-core VMs this
// runs on, whose balloon hands free memory back to the host: huge pages are
// taken from exactly that memory, and faulting the 512 MiB in took about
// 1.2 s on them against 0.2 s on small pages, so the program stays on small
// pages. fill_bench measures both, to revisit on other machines.
constexpr bool attributeHugePages = false;

// Indices drawn at step s: s * 3600 + 3600, capped at maxIndexCount.
double indexCountForStep(double s);

// Per-instruction-set kernels behind fillAttributesAt and trigAt, each in its
// own file compiled for its target; call only when the level is supported.
void fillRangeSse2(double* buffer, size_t first, size_t count);
void fillRangeAvx2(double* buffer, size_t first, size_t count);
void fillRangeAvx512(double* buffer, size_t first, size_t count);
void trigRangeSse2(size_t first, size_t count, double* cosOut, double* sinOut, double* tanOut);
void trigRangeAvx2(size_t first, size_t count, double* cosOut, double* sinOut, double* tanOut);
void trigRangeAvx512(size_t first, size_t count, double* cosOut, double* sinOut, double* tanOut);
