#pragma once
// The threads that draw pictures, apart from the network's: a picture takes from a
// millisecond to the service's processor-time limit (only art of a few lines is drawn
// where it was read), and the page, /healthz and the
// reading of other requests must not wait behind it. The clients take turns, one
// picture each, and each client's pictures are drawn in the order asked: one client
// asking for many costly pictures delays another's by one picture, not by all of its
// own. What waits is bounded by the connections: each has at most one request under way.

#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace quarvel::server {

class DrawPool {
public:
    explicit DrawPool(int threads);
    // Drops the jobs that wait and joins the threads once their jobs are done.
    ~DrawPool();
    DrawPool(const DrawPool&) = delete;
    DrawPool& operator=(const DrawPool&) = delete;

    // Runs `job` on one of the threads, in `client`'s turn (its address). What it
    // throws is logged and dropped.
    void Submit(const std::string& client, std::function<void()> job);

private:
    void Work();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::map<std::string, std::deque<std::function<void()>>> waiting_;  // by client, never empty
    std::deque<std::string> turns_;                                     // the clients in waiting_, next first
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace quarvel::server
