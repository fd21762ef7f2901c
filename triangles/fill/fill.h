#pragma once
#include <cstddef>
#include <cstdint>

// 2^26 doubles: 512 MiB, read as positions, colours, normals and byte indices.
constexpr size_t attributeCount = size_t(1) << 26;
constexpr size_t attributeBytes = attributeCount * sizeof(double);

// The largest multiple of 6 that fits in the buffer's bytes: a draw never
// reads an index past its end.
constexpr double maxIndexCount = 536870910.0;

// Element k of the buffer as the C library gives it: (cos(k) + sin(k)) *
// tan(k), summed first, with its scalar functions, whose last bits vary from
// one library to the next. The yardstick the benches time the fill against.
double attributeElement(size_t k);

// The plain scalar fill with the C library: buffer[k] = attributeElement(k).
void fillAttributesPlain(double* buffer, size_t count);

// The ways the fill can run, slowest first. Every level computes cos k, sin k
// and tan k correctly rounded (the double nearest the exact value) and then
// (c + s) * t in that order, so all of them fill the same bits; they differ
// only in how many arguments they take at a time. The portable level needs
// nothing beyond IEEE doubles.
enum FillLevel { fillPortable, fillSse2, fillAvx2, fillAvx512 };

constexpr int fillLevelCount = 4;

// Readable name of a level, for reports.
const char* fillLevelName(FillLevel level);

// The level a name of LUMENFOLD_FILL_LEVEL stands for ("portable", "sse2",
// "avx2", "avx512"); -1 for any other text.
int fillLevelFromName(const char* name);

// Whether this build has the level and the processor running it can execute it.
bool fillLevelSupported(FillLevel level);

// The fastest supported level; decided once per process.
FillLevel bestFillLevel();

// The level the shipped fill runs: LUMENFOLD_FILL_LEVEL when set (and valid,
// see fillSettingsProblem), else the fastest supported one.
FillLevel shippedFillLevel();

// Why the fill settings in the environment cannot be honoured, as a line for
// stderr (a level this build or processor lacks, an unknown level, a thread
// count that is no whole number from 1 to maxFillThreads), or nullptr when
// they can. Programs check it before anything else.
const char* fillSettingsProblem();

// buffer[i] = element first + i for i in [0, count), at the given level,
// which must be supported.
void fillAttributesAt(FillLevel level, double* buffer, size_t first, size_t count);

// How a threaded fill brings the buffer's pages in: each thread faults in its
// own slice by writing it, or first asks the kernel to populate the slice
// (madvise MADV_POPULATE_WRITE; where the kernel lacks it, the writes fault
// the pages in as before).
enum FillTouch { touchByWriting, touchByPopulating };

// The touch the shipped fill uses: setup_bench times all three ways (writes,
// populating each slice, MAP_POPULATE on the whole mapping) on 1 to N
// threads; on the 2-core reference VM populating each slice was the fastest
// (see README).
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

// The shipped fill: buffer[0, count) at shippedFillLevel() on
// fillThreadCount() threads.
void fillAttributes(double* buffer, size_t count);

// The shipped fill, begun ahead of the moment it must be done, so that it runs
// while GLUT makes the window and the GL context, which leave the CPUs idle
// for much of their time. startAttributeFill returns at once with
// fillThreadCount() threads at work on buffer[0, count), each taking
// page-aligned chunks in turn, populating and filling each chunk it takes.
// finishAttributeFill(buffer, count) takes chunks itself until none are left
// and returns when every element is written; when no fill of that buffer was
// started, it does the whole fill there and then. A thread that cannot be
// started leaves its chunks to the others. One fill at a time per process.
void startAttributeFill(double* buffer, size_t count);
void finishAttributeFill(double* buffer, size_t count);

// The cosine, sine and tangent of first + i for i in [0, count), as the given
// level evaluates them inside its fill; lets the accuracy of each function be
// checked on its own. Returns how many arguments needed trigPrecise (those
// of a last, partly used vector included).
size_t trigAt(FillLevel level, size_t first, size_t count, double* cosOut, double* sinOut,
              double* tanOut);

// cos x, sin x and tan x correctly rounded for a whole number 0 <= x < 2^26,
// evaluated to about 100 bits, one argument at a time: the careful fallback
// of every level's kernels.
void trigPrecise(double x, double* cosOut, double* sinOut, double* tanOut);

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
// taken from exactly that memory, and the set-up with them ranged from 0.63
// to 1.08 s against 0.69 to 0.82 s on small pages, so the program stays on
// small pages.
constexpr bool attributeHugePages = false;

// Indices drawn at step s: s * 3600 + 3600, capped at maxIndexCount.
double indexCountForStep(double s);

// Per-instruction-set kernels behind fillAttributesAt and trigAt, each in its
// own file compiled for its target; call only when the level is supported.
void fillRangePortable(double* buffer, size_t first, size_t count);
void fillRangeSse2(double* buffer, size_t first, size_t count);
void fillRangeAvx2(double* buffer, size_t first, size_t count);
void fillRangeAvx512(double* buffer, size_t first, size_t count);
size_t trigRangePortable(size_t first, size_t count, double* cosOut, double* sinOut,
                         double* tanOut);
size_t trigRangeSse2(size_t first, size_t count, double* cosOut, double* sinOut, double* tanOut);
size_t trigRangeAvx2(size_t first, size_t count, double* cosOut, double* sinOut, double* tanOut);
size_t trigRangeAvx512(size_t first, size_t count, double* cosOut, double* sinOut,
                       double* tanOut);
