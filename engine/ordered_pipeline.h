#pragma once
// Pictures made on several workers and taken back in the order they were handed out:
// a document's pictures and a collection's. Only for the engine's own sources.

#if defined(__SANITIZE_THREAD__)
#define QUARVEL_THREAD_CHECKER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define QUARVEL_THREAD_CHECKER 1
#endif
#endif
#ifdef QUARVEL_THREAD_CHECKER
#include <sanitizer/tsan_interface.h>
#endif

#include <algorithm>
#include <cstddef>
#include <vector>

#include "engine/workers.h"

namespace quarvel::engine {
namespace ordered {

// TBB hands the items from stage to stage, and a serial stage from thread to thread,
// inside its library (engine/workers.h), where ThreadSanitizer does not look: these tell it.
#ifdef QUARVEL_THREAD_CHECKER
inline void HandedOn(void* what) { __tsan_release(what); }
inline void TakenOver(void* what) { __tsan_acquire(what); }
#else
inline void HandedOn(void*) {}
inline void TakenOver(void*) {}
#endif
// What the caller's thread did before a pipeline, for every stage of it (first thing
// in each: not even a captured reference is read before).
inline int g_pipelineStart = 0;

}  // namespace ordered

// Runs items through three stages: make(item) fills a fresh item and returns false
// when there is none left (one call at a time, in order); work(item) runs on up to
// `workers` threads at once; take(item) gets the items in the order they were made,
// one at a time. With one worker an item goes through all three before the next is
// made; otherwise at most twice as many items as workers are under way. The items
// live in `slots`, the caller's: with no more of them alive than slots, and them
// leaving in the order they came, a slot is always free again when its turn comes.
// None of the three may throw.
template <typename Item, typename Make, typename Work, typename Take>
void RunInOrder(int workers, std::vector<Item>& slots, Make make, Work work, Take take) {
    using ordered::HandedOn;
    using ordered::TakenOver;
    workers = std::max(1, workers);
    const std::size_t inFlight = workers == 1 ? 1 : static_cast<std::size_t>(2 * workers);
    slots.resize(inFlight);
    std::size_t handedOn = 0;
    int makeClock = 0, takeClock = 0;  // what the serial stages hand each other

    auto makeStage = [&]() -> Item* {
        TakenOver(&ordered::g_pipelineStart);
        TakenOver(&makeClock);
        Item& item = slots[handedOn % inFlight];
        TakenOver(&item);  // from the results' stage, done with the item before
        item = Item();
        const bool more = make(item);
        if (more) ++handedOn;
        HandedOn(&item);
        HandedOn(&makeClock);
        return more ? &item : nullptr;
    };
    auto workStage = [&](Item* item) {
        TakenOver(&ordered::g_pipelineStart);
        TakenOver(item);
        work(*item);
        HandedOn(item);
    };
    auto takeStage = [&](Item* item) {
        TakenOver(&ordered::g_pipelineStart);
        TakenOver(&takeClock);
        TakenOver(item);
        take(*item);
        HandedOn(item);
        HandedOn(&takeClock);
    };
    struct Context {
        decltype(makeStage)& make;
        decltype(workStage)& work;
        decltype(takeStage)& take;
    } context{makeStage, workStage, takeStage};
    const engine::workers::Stages stages{
        &context,
        [](void* c) -> void* { return static_cast<Context*>(c)->make(); },
        [](void* c, void* item) { static_cast<Context*>(c)->work(static_cast<Item*>(item)); },
        [](void* c, void* item) { static_cast<Context*>(c)->take(static_cast<Item*>(item)); },
    };

    HandedOn(&ordered::g_pipelineStart);
    engine::workers::Run(workers, inFlight, stages);
    TakenOver(&makeClock);
    TakenOver(&takeClock);
}

}  // namespace quarvel::engine
