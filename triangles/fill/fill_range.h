// The loop that fills a range of the buffer from a kernel's trig(x, cos,
// sin, tan), shared by every version of the kernels. Included inside the
// including file's unnamed namespace, after trig.

// Arguments first + 0, first + 1, ...; exact, since every index is far below 2^53.
Vec firstArguments(size_t first) { return add(splat(double(first)), laneOffsets()); }

Vec elements(Vec x) {
    Vec c, s, t;
    trig(x, c, s, t);
    return mul(add(c, s), t);
}

void fillRange(double* buffer, size_t first, size_t count) {
    const Vec step = splat(double(lanes));
    Vec x = firstArguments(first);
    size_t i = 0;
    for (; i + lanes <= count; i += lanes) {
        store(buffer + i, elements(x));
        x = add(x, step);
    }
    // A short tail still goes through the vector functions, so every element
    // of a level comes from the same code.
    if (i < count) {
        double tail[lanes];
        store(tail, elements(x));
        for (size_t j = 0; i + j < count; ++j) buffer[i + j] = tail[j];
    }
}
