#pragma once

#include <cstddef>
#include <functional>

namespace lwmd5 {

// The machine's hardware concurrency, at least 1.
unsigned hardwareThreadCount();

// Calls work(begin, end) on disjoint ranges that cover [0, count), on up to
// `threads` threads; returns when all are done. The work for each index must
// not depend on which range it falls in.
void forEachRange(std::size_t count, unsigned threads, const std::function<void(std::size_t, std::size_t)>& work);

} // namespace lwmd5
