// Results files as the programs write them, line for line.
#pragma once

#include <string>

inline const std::string trianglesTitle =
    "Quorvex :: Lumenfold Benchmark Graphics Triangles Lite for Windows on x86 64bit system 2019.12.06.";
inline const std::string cubeTitle =
    "Quorvex :: Lumenfold Benchmark Graphics Cube Lite for Windows on x86 64bit system 2019.12.06.";
inline const std::string streamingTitle =
    "Quorvex :: Lumenfold Benchmark Graphics Streaming Lite for Windows on x86_64bit system 2019.12.06.";

// Lines 1-6.
inline std::string header(const std::string& title, const char* setup = "3.189") {
    return title + "\n\n\nIt spent: " + setup + " Secs to Initialize.\n\n\n";
}

// Two frames (lines 7-12 and 13-18), then the summary (lines 19-21).
inline const std::string trianglesFrames =
    "window: 1\nIt drew 1200 Triangles.\nIt spent: 0.787 Secs. \nIt was: 1.27065 Angles/sec.\n"
    "It was: 1524.78 Triangles/sec.\n\n"
    "window: 1\nIt drew 1800 Triangles.\nIt spent: 1.033 Secs. \nIt was: 0.968054 Angles/sec.\n"
    "It was: 1742.5 Triangles/sec.\n\n";
inline const std::string trianglesSummary =
    "Total running time:  1.82 Secs. \nAverage Angles/Sec: 1.0989 Angles/Sec.\n\n";
inline const std::string trianglesFile = header(trianglesTitle) + trianglesFrames + trianglesSummary;

// Two frames (lines 7-11 and 12-16), then the summary (lines 17-20).
inline const std::string cubeFile =
    header(cubeTitle, "12.5") +
    "window: 1\nThe system spent: 0.25 Secs. \nIt was: 4 Angles/sec.\nIt was: 6.71089e+07 Vertex/sec.\n\n"
    "window: 1\nThe system spent: 0.5 Secs. \nIt was: 2 Angles/sec.\nIt was: 3.35544e+07 Vertex/sec.\n\n"
    "Total running time:  0.75 Secs. \nAverage Angles/Sec: 2.66667 Angles/Sec.\n"
    "Average Vertex/Sec: 4.47392e+07 Vertex/Sec.\n\n";

inline std::string kernelBlock(const char* name, const char* prefix, const char* seconds, const char* rate) {
    return std::string("window: 1\n") + name + "\n" + prefix + seconds + " Secs. \nIt was: " + rate +
           " Millions Executions/sec.\n\n";
}

// Per frame 17 lines: three blocks of five, two closing empty lines.
inline const std::string streamingFrame1 =
    kernelBlock("Float Streaming.", "The system spent: ", "4", "33.5544") +
    kernelBlock("Integer Streaming.", "The system spent: ", "3.5", "38.3479") +
    kernelBlock("Logic Streaming.", "The spent: ", "2", "67.1089") + "\n\n";
inline const std::string streamingFrame2 =
    kernelBlock("Float Streaming.", "The system spent: ", "4.25", "31.5806") +
    kernelBlock("Integer Streaming.", "The system spent: ", "3", "44.7392") +
    kernelBlock("Logic Streaming.", "The spent: ", "2.5", "53.6871") + "\n\n";
inline const std::string streamingFile = header(streamingTitle, "0.002") + streamingFrame1 + streamingFrame2;
