#pragma once
// The threads that draw a job's pictures. oneTBB runs them, from a module of its own
// (quarvel-workers.so, beside the program's libraries) that is loaded the first time a
// job has more than one worker: a run that draws one picture, or one at a time, never
// loads oneTBB, which costs a tenth of a short run's start-up. Only for the engine's
// own sources; engine/ordered_pipeline.h is what they use.

#include <cstddef>

namespace quarvel::engine::workers {

// Three stages over items the caller owns, each a function of the caller's context:
// make returns the next item or null when there is none (one call at a time, in
// order); work runs on the workers at once; take gets the items in the order they
// were made, one at a time. None of them may throw.
struct Stages {
    void* context;
    void* (*make)(void* context);
    void (*work)(void* context, void* item);
    void (*take)(void* context, void* item);
};

// Runs the stages on `workers` threads with at most `inFlight` items under way. One
// worker, or no module to be had, runs them here, an item through all three before the
// next is made; the second says so once on standard error. The module exports
// `quarvel_workers_run(workers, inFlight, const Stages*)` and `quarvel_workers_version`,
// the program's version: a module of another build is not used.
void Run(int workers, std::size_t inFlight, const Stages& stages);

}  // namespace quarvel::engine::workers
