#pragma once

#include <cstddef>
#include <functional>

namespace lwmd5 {

// The number of threads the per-frame stages use: LWMD5_THREADS when it holds
// a number of 1 or more, else the machine's hardware concurrency.
unsigned frameThreadCount();

// Calls work(begin, end) on disjoint ranges that cover [0, count), on up to
// frameThreadCount() threads; returns when all are done.
void forEachFrameRange(std::size_t count, const std::function<void(std::size_t, std::size_t)>& work);

} // namespace lwmd5
