// A run's samples of a figure of its program's table entry: what the report
// (text, JSON, CSV), compare, history, a series' main figure and the charts
// all take from a run, so each takes the same samples.
#pragma once

#include <map>
#include <set>
#include <vector>

#include "model/results_file.h"
#include "programs/programs.h"

// The figures of the run's program that the run measured (the timing
// library's only when it was timed); none for an unrecognised run.
std::vector<FigureSpec> figuresOf(const ResultsRun& run);
// Whether the run has samples of the figure's kind: a timed figure needs a timed run.
bool measures(const ResultsRun& run, const FigureSpec& figure);

// The samples one run gives of a figure, in frame (or block) order; none
// for a run of another program or an unrecognised one. For a per-step
// member, only frames drawn at its step; with steps given, a per-frame
// figure of a program whose frames have steps takes only frames drawn at
// one of them.
std::vector<double> figureSamples(const ResultsRun& run, const FigureSpec& figure,
                                  const std::set<long>* steps = nullptr);

// A per-step family's samples at each step its frames were drawn at, steps
// in increasing order, in one pass over the frames: at each step, what
// figureSamples gives of the family's member at that step.
std::map<long, std::vector<double>> samplesByStep(const ResultsRun& run, const FigureSpec& family);

// Per sample, the x a chart draws a per-frame sample at: the frame's number
// from 1, or for a rate of a program whose frames have steps, its step.
std::vector<double> figurePositions(const ResultsRun& run, const FigureSpec& figure);

// The steps the run's frames were drawn at, each once, ascending; none for
// a program whose frames have no step.
std::set<long> stepsDrawn(const ResultsRun& run);

// The program's rate per frame (not a per-step family): the figure its
// frames' last report line gives; null for a program of kernel blocks.
const FigureSpec* frameRateFigure(Program program);
