// The text of the console and of the results files, spelled once.
//
// The programs write it and lumenfold reads it back; both take every title,
// line prefix and suffix, closing line and per-frame constant from here, so
// the two cannot drift apart. No GL or GLUT here: lumenfold links it too.
#pragma once

#include <cstdint>

// A report line that carries one figure: prefix, the number, suffix.
struct NumberLine {
    const char* prefix;
    const char* suffix;
};

// The final summary that Esc writes to both sinks.
enum class SummaryKind {
    none,                   // streaming
    timeAndAngles,          // triangles
    timeAnglesAndVertices,  // cube
};

// What one program is called and shows.
struct ProgramText {
    const char* name;               // the program's file name
    const char* resultsNameFormat;  // strftime format of the results-file name
    const char* title;              // banner title, also the results file's first line
    const char* windowTitle;
    const char* helpLines[4];       // console help lines; the overlay text is built from them
    SummaryKind summary;
};

inline constexpr ProgramText trianglesText{
    "triangles",
    "results_triangles_lite_windows @ local date %Y.%m.%d time %H.%M.%S.txt",
    "Quorvex :: Lumenfold Benchmark Graphics Triangles Lite for Windows on x86 64bit system 2019.12.06.",
    "OPENGL Triangles Lite 64",
    {"Press Key R or Press Mouse Left button to Animate.", "Press Key C to Animate Manually.",
     "Press Key P or Press Mouse Right button to Pause.", "Press Key Esc to Exit."},
    SummaryKind::timeAndAngles,
};

inline constexpr ProgramText cubeText{
    "cube",
    "results_cube_lite_windows @ local date %Y.%m.%d time %H.%M.%S.txt",
    "Quorvex :: Lumenfold Benchmark Graphics Cube Lite for Windows on x86 64bit system 2019.12.06.",
    "OPENGL Cube Lite 64",
    {"Press Key R or Press Mouse Left button to Animate.", "Press Key C to Animate Manually.",
     "Press Key P or Press Mouse Right button to Pause.", "Press Key Esc to Exit."},
    SummaryKind::timeAnglesAndVertices,
};

// Note "x86_64bit" in the title, where the other two have "x86 64bit".
inline constexpr ProgramText streamingText{
    "streaming",
    "results_streaming_lite_windows @ local date %Y.%m.%d time %H.%M.%S.txt",
    "Quorvex :: Lumenfold Benchmark Graphics Streaming Lite for Windows on x86_64bit system 2019.12.06.",
    "OPENGL Streaming Lite 64",
    {"Press Key R or Press Mouse Left button to Run Automatically.", "Press Key C to Run Manually.",
     "Press Key P or Press Mouse Right button to Pause.", "Press Key Esc to Exit."},
    SummaryKind::none,
};

// The fixed start of every results-file name and its end; each program's
// name format begins and ends with them.
inline constexpr const char* resultsNameLead = "results_";
inline constexpr const char* resultsNameSuffix = ".txt";

// On stderr at the first failed write to the results file: the lead, the
// file's name, the middle, the reason (strerror), the tail.
inline constexpr const char* writeFailedLead = "Writing the results file \"";
inline constexpr const char* writeFailedMiddle = "\" failed: ";
inline constexpr const char* writeFailedTail = "; later results are not saved.";

// Start-up, on the console; the set-up line goes to both sinks.
inline constexpr const char* noticeLine =
    "Figures compare machines only between runs of the same program and build.";
inline constexpr const char* supportLine =
    "Support and documentation: the README of the Lumenfold source tree.";
inline constexpr const char* initializingLine = "Initializing . . .";
inline constexpr NumberLine setupLine{"It spent: ", " Secs to Initialize."};

// The first line of every frame block, in both sinks, followed by the number
// of the window.
inline constexpr const char* windowLinePrefix = "window: ";

// A triangles frame.
inline constexpr NumberLine trianglesDrawnLine{"It drew ", " Triangles."};
inline constexpr NumberLine trianglesTimeLine{"It spent: ", " Secs. "};
inline constexpr NumberLine anglesRateLine{"It was: ", " Angles/sec."};
inline constexpr NumberLine trianglesRateLine{"It was: ", " Triangles/sec."};
// A frame at step s draws 3600 (s + 1) indices, six to a reported triangle.
inline constexpr double trianglesIndicesPerStep = 3600.0;
inline constexpr double trianglesIndicesPerTriangle = 6.0;

// A cube frame; anglesRateLine is shared with triangles.
inline constexpr NumberLine cubeTimeLine{"The system spent: ", " Secs. "};
inline constexpr NumberLine verticesRateLine{"It was: ", " Vertex/sec."};
// Every frame replays the whole 256^3 lattice.
inline constexpr double cubeVerticesPerFrame = 16777216.0;

// A streaming frame: three kernel blocks, then two more empty lines.
inline constexpr int streamingKernelCount = 3;
inline constexpr const char* kernelNameLines[streamingKernelCount] = {
    "Float Streaming.", "Integer Streaming.", "Logic Streaming."};
// The logic block's time line really does lack the word "system".
inline constexpr NumberLine kernelTimeLines[streamingKernelCount] = {
    {"The system spent: ", " Secs. "}, {"The system spent: ", " Secs. "}, {"The spent: ", " Secs. "}};
inline constexpr NumberLine kernelRateLine{"It was: ", " Millions Executions/sec."};
// Iterations of each kernel per frame; the rate line is in millions of them.
inline constexpr uint64_t streamingKernelIterations = uint64_t(1) << 27;

// The final summary, triangles and cube.
inline constexpr NumberLine totalTimeLine{"Total running time:  ", " Secs. "};
inline constexpr NumberLine averageAnglesLine{"Average Angles/Sec: ", " Angles/Sec."};
inline constexpr NumberLine averageVerticesLine{"Average Vertex/Sec: ", " Vertex/Sec."};

// The closing lines, on the console only; each is followed by the results path.
inline constexpr const char* savedLead = "Results have been saved in a file and you can find it at: ";
inline constexpr const char* notCreatedLead =
    "Results have not been saved: the results file could not be created at: ";
inline constexpr const char* notAllSavedLead =
    "Results have not all been saved: writing the results file failed at: ";
inline constexpr const char* pressEnterLine = "Press Enter to Exit.";
