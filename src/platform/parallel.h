#pragma once

#include <cstddef>
#include <functional>

namespace lwmd5 {

// The number of threads the heavy stages use: LWMD5_THREADS when it holds a
// number of 1 or more, else the machine's hardware concurrency.
unsigned workerThreadCount();

// Calls work(begin, end) on disjoint ranges that cover [0, count), on up to
// workerThreadCount() threads; returns when all are done. The work for each
// index must not depend on which range it falls in.
void forEachRange(std::size_t count, const std::function<void(std::size_t, std::size_t)>& work);

} // namespace lwmd5
