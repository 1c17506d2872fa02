// quarvel-workers.so: the job's stages run by oneTBB (engine/workers.h says why it is a
// module of its own).

#include <tbb/global_control.h>
#include <tbb/parallel_pipeline.h>
#include <tbb/task_arena.h>

#include "engine/workers.h"

extern "C" {

// A const object of its own would have internal linkage: declared extern first.
__attribute__((visibility("default"))) extern const char quarvel_workers_version[];
const char quarvel_workers_version[] = QUARVEL_VERSION;

__attribute__((visibility("default"))) void quarvel_workers_run(int workers, std::size_t inFlight,
                                                                const quarvel::engine::workers::Stages* stages) {
    const quarvel::engine::workers::Stages s = *stages;
    tbb::global_control threads(tbb::global_control::max_allowed_parallelism, static_cast<std::size_t>(workers));
    tbb::task_arena arena(workers);
    arena.execute([&] {
        tbb::parallel_pipeline(
            inFlight,
            tbb::make_filter<void, void*>(tbb::filter_mode::serial_in_order, [&](tbb::flow_control& control) -> void* {
                void* item = s.make(s.context);
                if (!item) control.stop();
                return item;
            }) & tbb::make_filter<void*, void*>(tbb::filter_mode::parallel, [&](void* item) {
                s.work(s.context, item);
                return item;
            }) & tbb::make_filter<void*, void>(tbb::filter_mode::serial_in_order, [&](void* item) {
                s.take(s.context, item);
            }));
    });
}

}  // extern "C"
