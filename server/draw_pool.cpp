#include "server/draw_pool.h"

#include <exception>
#include <string>

#include "server/log.h"

namespace quarvel::server {

DrawPool::DrawPool(int threads) {
    for (int i = 0; i < threads; ++i) threads_.emplace_back([this] { Work(); });
}

DrawPool::~DrawPool() {
    std::map<std::string, std::deque<std::function<void()>>> dropped;
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        dropped.swap(waiting_);
    }
    wake_.notify_all();
    for (std::thread& t : threads_) t.join();
}

void DrawPool::Submit(const std::string& client, std::function<void()> job) {
    {
        std::lock_guard lock(mutex_);
        auto& queue = waiting_[client];
        if (queue.empty()) turns_.push_back(client);
        queue.push_back(std::move(job));
    }
    wake_.notify_one();
}

void DrawPool::Work() {
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !turns_.empty(); });
            if (stopping_) return;
            const std::string client = std::move(turns_.front());
            turns_.pop_front();
            auto queue = waiting_.find(client);
            job = std::move(queue->second.front());
            queue->second.pop_front();
            if (queue->second.empty())
                waiting_.erase(queue);
            else
                turns_.push_back(client);  // its next picture after the others' turns
        }
        try {
            job();
        } catch (const std::exception& e) {
            Log(LogPriority::error, std::string("quarvel-server: a drawing failed: ") + e.what());
        } catch (...) {
            Log(LogPriority::error, "quarvel-server: a drawing failed");
        }
    }
}

}  // namespace quarvel::server
