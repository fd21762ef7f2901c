#pragma once
#include <cstddef>
#include <cstdint>

// 2^26 doubles: 512 MiB, read as positions, colours, normals and byte indices.
constexpr size_t attributeCount = size_t(1) << 26;
constexpr size_t attributeBytes = attributeCount * sizeof(double);

// The largest multiple of 6 that fits in the buffer's bytes: a draw never
// reads an index past its end.
constexpr double maxIndexCount = 536870910.0;

// Element k of the buffer: (cos(k) + sin(k)) * tan(k), summed first.
double attributeElement(size_t k);

// Writes every element of buffer[0, count) once.
void fillAttributes(double* buffer, size_t count);

// Indices drawn at step s: s * 3600 + 3600, capped at maxIndexCount.
double indexCountForStep(double s);
