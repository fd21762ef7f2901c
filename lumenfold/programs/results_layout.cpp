#include "programs/results_layout.h"

std::string_view kernelNameLine(const KernelLayout& kernel) {
    for (const LayoutLine& line : kernel.block)
        if (line.pattern.kind == LineKind::literal && !line.pattern.prefix.empty()) return line.pattern.prefix;
    return {};
}

bool hasField(const BlockLayout& layout, LineField field) {
    for (const LayoutLine& line : layout)
        if (line.field == field) return true;
    return false;
}
