// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

// Direct calls into the implementation, through the pointers that dlsym gives,
// against the same calls through the front end's exports, for a required and
// an optional entry point, on one thread and on two. After Google Benchmark's
// table come the figures that matter, from the medians of the repetitions:
// the time of a forwarded call over that of a direct one, and how well each
// kind of call scales from one thread to two. Throughput is counted in real
// time, so it scales only as far as the machine has idle cores; processor time
// per call tells the same story without that, as long as the threads run at
// the same time: it grows when they contend for memory that both write.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "CallBenchmarks.h"

namespace {

// What one repetition measured: calls per second of all threads together
// (real time), and the processor time of one call.
struct Measurement {
    double throughput;
    double cpuNanoseconds;
};

double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 != 0 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// Prints as the console reporter does, and keeps every repetition.
class MeasurementReporter : public benchmark::ConsoleReporter {
public:
    MeasurementReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
            const double toNanoseconds = 1e9 / benchmark::GetTimeUnitMultiplier(run.time_unit);
            m_measurements[{run.run_name.function_name, run.threads}].push_back(
                {run.counters.at("items_per_second"), run.GetAdjustedCPUTime() * toNanoseconds});
        }
    }

    // The median of one field over the repetitions; 0 when nothing was measured.
    double median(const std::string& name, int threads, double Measurement::*field) const {
        std::vector<double> values;
        const auto found = m_measurements.find({name, threads});
        if (found != m_measurements.end()) {
            for (const Measurement& measurement : found->second)
                values.push_back(measurement.*field);
        }
        return Median(values);
    }

private:
    std::map<std::pair<std::string, int64_t>, std::vector<Measurement>> m_measurements;
};

void PrintSummary(const MeasurementReporter& reporter, const char* binding) {
    const std::string direct = std::string("direct/") + binding;
    const std::string forwarded = std::string("forwarded/") + binding;
    const auto throughput = [&](const std::string& name, int threads) {
        return reporter.median(name, threads, &Measurement::throughput);
    };
    const auto cpu = [&](const std::string& name, int threads) {
        return reporter.median(name, threads, &Measurement::cpuNanoseconds);
    };
    if (throughput(direct, 1) <= 0 || throughput(forwarded, 1) <= 0) return;
    std::printf(
        "%s, one thread: direct %.3f ns, forwarded %.3f ns per call;"
        " forwarded/direct %.3f (processor time: %.3f ns, %.3f ns; %.3f)\n",
        binding, 1e9 / throughput(direct, 1), 1e9 / throughput(forwarded, 1),
        throughput(direct, 1) / throughput(forwarded, 1), cpu(direct, 1), cpu(forwarded, 1),
        cpu(forwarded, 1) / cpu(direct, 1));
    const double directScaling = throughput(direct, 2) / throughput(direct, 1);
    const double forwardedScaling = throughput(forwarded, 2) / throughput(forwarded, 1);
    if (directScaling <= 0 || forwardedScaling <= 0) return;
    std::printf(
        "%s, throughput of two threads over one: direct %.3f, forwarded %.3f;"
        " forwarded/direct %.1f%% (at least 95%% wanted)\n",
        binding, directScaling, forwardedScaling, 100 * forwardedScaling / directScaling);
    std::printf("%s, processor time per call, two threads over one: direct %.3f, forwarded %.3f\n",
                binding, cpu(direct, 2) / cpu(direct, 1), cpu(forwarded, 2) / cpu(forwarded, 1));
}

void Register(const char* name, void (*function)(benchmark::State&)) {
    benchmark::RegisterBenchmark(name, function)->Threads(1)->Threads(2)->UseRealTime();
}

}  // namespace

int main(int argc, char** argv) {
    if (!BindDirectCalls()) return 1;
    Register("direct/required", DirectRequired);
    Register("forwarded/required", ForwardedRequired);
    Register("direct/optional", DirectOptional);
    Register("forwarded/optional", ForwardedOptional);

    // Interleaved repetitions spread the load of a shared machine evenly over
    // the kinds of call; flags given on the command line come later and win.
    std::vector<char*> arguments{argv[0]};
    std::string repetitions = "--benchmark_repetitions=9";
    std::string interleaving = "--benchmark_enable_random_interleaving=true";
    arguments.push_back(repetitions.data());
    arguments.push_back(interleaving.data());
    arguments.insert(arguments.end(), argv + 1, argv + argc);
    int count = static_cast<int>(arguments.size());
    benchmark::Initialize(&count, arguments.data());
    if (benchmark::ReportUnrecognizedArguments(count, arguments.data())) return 1;

    MeasurementReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    std::printf("\n");
    PrintSummary(reporter, "required");
    PrintSummary(reporter, "optional");
    return 0;
}
