// Console reporter for benchmarks that set their figures beside a reference in one table at the
// end: it keeps, per benchmark, the fastest repetition (the machine is shared and interference
// only ever adds time) or the one run without repetitions. The table itself is the subclass's.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace benchsupport
{

class FastestReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &run : runs) {
            if (run.error_occurred) continue;
            std::string name = run.benchmark_name();
            if (run.run_type == Run::RT_Aggregate) {
                if (run.aggregate_name != "min") continue;
                name.resize(name.size() - run.aggregate_name.size() - 1);
            }
            m_times[name] = run.GetAdjustedRealTime();
        }
    }

protected:
    // Time per iteration in the benchmark's unit, by benchmark name.
    std::map<std::string, double> m_times;
};

// Registers a benchmark in microseconds that also reports the fastest of its repetitions.
template <class... Args> void add(const std::string &name, Args &&...args)
{
    benchmark::RegisterBenchmark(name.c_str(), std::forward<Args>(args)...)
        ->Unit(benchmark::kMicrosecond)
        ->ComputeStatistics("min", [](const std::vector<double> &v) {
            return *std::min_element(v.begin(), v.end());
        });
}

} // namespace benchsupport
