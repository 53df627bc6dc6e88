#include "platform/parallel.h"

#include <algorithm>
#include <thread>
#include <vector>

namespace lwmd5 {

unsigned hardwareThreadCount()
{
    const unsigned hardware = std::thread::hardware_concurrency();
    return hardware == 0 ? 1u : hardware;
}

void forEachRange(std::size_t count, unsigned threadLimit, const std::function<void(std::size_t, std::size_t)>& work)
{
    const std::size_t threads = std::min<std::size_t>(threadLimit, count);
    if (threads <= 1) {
        if (count > 0) work(0, count);
        return;
    }
    std::vector<std::thread> helpers;
    helpers.reserve(threads - 1);
    const std::size_t chunk = count / threads;
    const std::size_t extra = count % threads;
    std::size_t begin = 0;
    std::size_t firstEnd = 0;
    for (std::size_t i = 0; i < threads; ++i) {
        const std::size_t end = begin + chunk + (i < extra ? 1 : 0);
        if (i == 0) {
            firstEnd = end;
        } else {
            helpers.emplace_back([&work, begin, end] { work(begin, end); });
        }
        begin = end;
    }
    work(0, firstEnd);
    for (std::thread& helper : helpers) helper.join();
}

} // namespace lwmd5
